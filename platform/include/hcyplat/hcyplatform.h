/*
 * The platform library's public face for hosts and tests (C and C++):
 * message windows that receive the library's notices, and the clock.
 */
#ifndef HCYPLAT_HCYPLATFORM_H
#define HCYPLAT_HCYPLATFORM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HCYPLAT_API __attribute__((visibility("default")))

/* A new message window; pass it to hcyInit or hcySetMsgWnd. Never 0. */
HCYPLAT_API uintptr_t hcyplatCreateWindow(void);
HCYPLAT_API int hcyplatDestroyWindow(uintptr_t window);

/* Takes the oldest message posted to the window: 1 when one was taken, 0
 * when the queue is empty. Any out pointer may be null. */
HCYPLAT_API int hcyplatPeekWindowMessage(uintptr_t window, uint32_t* message, uintptr_t* wParam,
                                         intptr_t* lParam);
/* The same, waiting at most timeoutMs milliseconds of real time. */
HCYPLAT_API int hcyplatWaitWindowMessage(uintptr_t window, uint32_t timeoutMs, uint32_t* message,
                                         uintptr_t* wParam, intptr_t* lParam);

/* Manual clock for tests: switch before hcyInit; advance runs due timers. */
HCYPLAT_API void hcyplatUseManualClock(void);
HCYPLAT_API void hcyplatUseRealClock(void);
HCYPLAT_API void hcyplatAdvanceClock(uint32_t milliseconds);

#ifdef __cplusplus
}
#endif

#endif
