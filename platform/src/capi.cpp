// The C face of the platform for hosts: message windows and the clock.
// Thin wrappers; every out pointer may be null.
#include "hcyplat/hcyplatform.h"

#include "hcyplat/clock.h"
#include "hcyplat/window.h"

namespace {

int Deliver(bool taken, const plat::WindowMessage& m, uint32_t* message, uintptr_t* wParam,
            intptr_t* lParam) {
    if (!taken) return 0;
    if (message) *message = m.message;
    if (wParam) *wParam = m.wParam;
    if (lParam) *lParam = m.lParam;
    return 1;
}

}  // namespace

extern "C" {

uintptr_t hcyplatCreateWindow(void) { return plat::CreateMessageWindow(); }

int hcyplatDestroyWindow(uintptr_t window) { return plat::DestroyMessageWindow(window) ? 1 : 0; }

int hcyplatPeekWindowMessage(uintptr_t window, uint32_t* message, uintptr_t* wParam,
                             intptr_t* lParam) {
    plat::WindowMessage m;
    return Deliver(plat::PeekWindowMessage(window, m), m, message, wParam, lParam);
}

int hcyplatWaitWindowMessage(uintptr_t window, uint32_t timeoutMs, uint32_t* message,
                             uintptr_t* wParam, intptr_t* lParam) {
    plat::WindowMessage m;
    return Deliver(plat::WaitWindowMessage(window, m, timeoutMs), m, message, wParam, lParam);
}

void hcyplatUseManualClock(void) { plat::UseManualClock(); }
void hcyplatUseRealClock(void) { plat::UseRealClock(); }
void hcyplatAdvanceClock(uint32_t milliseconds) { plat::AdvanceClock(milliseconds); }

}  // extern "C"
