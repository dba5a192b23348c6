/* SPDX-License-Identifier: Apache-2.0 */
/*
 * The platform library's public face for hosts and tests (C and C++):
 * message windows that receive the library's notices, the clock, and the
 * virtual sound system's endpoints (the library's devices open them by GUID
 * or wave-input id).
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

/* A sound device's identifier, laid out like the library's HCYGUID. */
typedef struct hcyplat_guid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} hcyplat_guid;

/* Virtual sound endpoints, listed for the library's device enumeration in
 * the order they are made; the first of each list is the default device.
 * On the real clock each open endpoint runs on a thread of its own; on the
 * manual clock hcyplatAdvanceClock mixes and captures.
 *
 * An output mixes what the library plays into its sink (at first none):
 * rate 0 means 16000 [Hz], channels 0 means 2 (1..32). Returns the
 * endpoint's index, or -1 (bad rate or channels). guid may be null. */
HCYPLAT_API int hcyplatCreateOutputEndpoint(const char* description, uint32_t rate, int channels,
                                            hcyplat_guid* guid);
/* An input feeds the library's capture (at first silence). Returns its
 * index; *waveInId gets its wave-input device id. Out pointers may be null. */
HCYPLAT_API int hcyplatCreateInputEndpoint(const char* description, hcyplat_guid* guid,
                                           uint32_t* waveInId);
/* Unlists every endpoint; devices open on them keep them until they close. */
HCYPLAT_API void hcyplatRemoveSoundEndpoints(void);

/* Sound back ends: who makes the devices of a host that made no endpoints
 * itself. "virtual": one output that plays into nothing and one silent
 * input; "alsa" (where built): the machine's sound devices, the system's
 * default first; "auto" (the default, or what the environment variable
 * HCY_AUDIO_BACKEND names): the first real back end that finds a default
 * device, else "virtual". Replaces every endpoint listed now; call it
 * before hcyInit (which lists the devices). Returns 1, or 0 for an unknown
 * name or a back end that finds no device (the lists are then empty). */
HCYPLAT_API int hcyplatUseSoundBackend(const char* name);

/* Output sinks. Each returns 1, or 0 for an unknown endpoint or a file that
 * cannot be written. A WAV file is 16-bit PCM in the endpoint's format and
 * is complete after every mixing step. */
HCYPLAT_API int hcyplatSetOutputWavFile(const hcyplat_guid* output, const char* path);
HCYPLAT_API int hcyplatSetOutputMemory(const hcyplat_guid* output);
HCYPLAT_API int hcyplatSetOutputNull(const hcyplat_guid* output);
/* Takes at most maxFrames of the oldest frames from a memory sink into
 * samples (interleaved, maxFrames x channels). Returns the frames taken, or
 * -1 when the endpoint has no memory sink. */
HCYPLAT_API int hcyplatReadOutputMemory(const hcyplat_guid* output, int16_t* samples,
                                        int maxFrames);

/* Input sources. A WAV file (16-bit PCM) is resampled to the rate the
 * library captures at; loop != 0 repeats it, else silence follows. */
HCYPLAT_API int hcyplatSetInputWavFile(const hcyplat_guid* input, const char* path, int loop);
HCYPLAT_API int hcyplatSetInputSilence(const hcyplat_guid* input);
HCYPLAT_API int hcyplatSetInputTone(const hcyplat_guid* input, double hz, double amplitude);

/* When the first frame of the endpoint's current sink or source (a WAV file,
 * ...) was played or captured: seconds on the system's monotonic clock, one
 * time line for every process of the machine (on the manual clock: its
 * time). Returns 1, or 0 before that frame or for an unknown endpoint. */
HCYPLAT_API int hcyplatGetStreamStart(const hcyplat_guid* endpoint, double* seconds);

/* Runs frames now on the calling thread, on top of what the clock drives
 * (an endpoint no device has open mixes or captures nothing audible). */
HCYPLAT_API int hcyplatPumpOutput(const hcyplat_guid* output, uint32_t frames);
HCYPLAT_API int hcyplatPumpInput(const hcyplat_guid* input, uint32_t frames);

/* Host sound objects, for the library's opens that take a host's
 * DirectSound object and primary buffer (hcyOpenAudioDevice, ...Ex,
 * hcyOpenSplitDevice, hcyOpenRecordDeviceEx). Each returns an opaque
 * handle, or null on failure: a DirectSound object on the output endpoint
 * (null: the default output); the primary buffer of such an object in
 * 16-bit PCM of rate [Hz] and channels (1..32). A handle stays valid until
 * it is given back; a device opened with it keeps the object while open. */
HCYPLAT_API void* hcyplatCreateDirectSound(const hcyplat_guid* output);
HCYPLAT_API void* hcyplatCreatePrimaryBuffer(void* directSound, uint32_t rate, int channels);
HCYPLAT_API void hcyplatReleaseSoundHandle(void* handle);

/* Platform reports: what the platform could not do for the library (a
 * raised thread priority the system refused, a sound device that failed), one
 * line of text each, oldest first. The platform never writes to the terminal:
 * a host takes the reports and prints or routes them. At most 32 wait; later
 * ones are dropped until some are taken. Takes the oldest into text (at most
 * size - 1 bytes and a NUL; text may be null) and returns its length in
 * bytes, or -1 when none waits. Any thread may call it. */
HCYPLAT_API int hcyplatTakeReport(char* text, int size);

/* Dialogs (the library's radio status dialogs). on != 0: every dialog
 * opened from now on is drawn as text only, even where a display exists;
 * 0: as a window where a display exists (the default). */
HCYPLAT_API void hcyplatUseTextDialogs(int on);
/* The text rendering of the index-th open dialog (from 0, oldest first): a
 * title line, then the dialog on a grid of characters. Returns its length
 * in bytes, or -1 when fewer dialogs are open; copies at most size - 1
 * bytes of it and a NUL into text when text is not null and size > 0. */
HCYPLAT_API int hcyplatGetDialogText(int index, char* text, int size);
/* Selects row (from 0 at the top; -1: none) of the index-th open dialog's
 * list, as a user's click on it would: a radio status dialog then fills its
 * PDU Data and Model Results with that transmitter's. Returns 1, or 0 when
 * fewer dialogs are open or the list has no such row. */
HCYPLAT_API int hcyplatChooseDialogRow(int index, int row);

#ifdef __cplusplus
}
#endif

#endif
