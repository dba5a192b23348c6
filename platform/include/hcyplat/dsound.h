#pragma once
// DirectSound output and DirectSound 8 capture over the virtual sound system
// (hcyplat/virtual_sound.h), with the system's numeric result codes.
//
// Ownership: objects are std::shared_ptr (LPDIRECTSOUND, ...). Release()
// closes an object explicitly: the endpoint is given up, buffers stop and
// leave the mix, and every later call on the object or on its buffers
// returns DSERR_INVALIDCALL; the memory lives while a pointer holds it. An
// object dropped without Release is closed by its destructor. A secondary
// buffer leaves the mix when its last pointer goes or it is released.
//
// Output contract:
// - Buffers are 16-bit PCM (tag 1 or extensible PCM), 1..32 channels,
//   100..200000 Hz, 4 bytes..16 MiB (rounded down to whole frames); a new
//   buffer is silent (zero-filled). Controls not asked for in dwFlags fail
//   with DSERR_CONTROLUNAVAIL; values out of range fail with
//   DSERR_INVALIDPARAM and keep the old value.
// - Cursors are byte offsets of whole frames. While playing they advance at
//   the buffer's frequency as the endpoint mixes (see virtual_sound.h for who
//   pumps); stopped they stand still. write = play + the endpoint's lead
//   (60 ms on the real clock, 0 on the manual clock or an external driver).
//   Stop keeps the position, Play resumes there; a one-shot Play stops at the
//   end of the buffer and sets the position to 0.
// - Lock hands out a staging copy of the region (two parts when it wraps:
//   n1 = min(bytes, size - offset), the second part from offset 0); Unlock
//   with the same pointers commits what was written. A new Lock discards a
//   lock that was never unlocked. bytes 0 or > size, or offset >= size:
//   DSERR_INVALIDPARAM.
// - A lost buffer (endpoint loss, injected) stops; Lock and Play return
//   DSERR_BUFFERLOST until Restore, which leaves it silent and stopped.
// - Mixing: amplitude = 10^(volume / 2000) (0 at -10000); pan < 0 attenuates
//   the right channel by |pan|, pan > 0 the left; linear interpolation when
//   the frequency differs from the endpoint's rate, bit-exact when equal;
//   sums saturate to 16 bits. The primary buffer's volume scales the mix;
//   its format is recorded (GetFormat) but the endpoint's mix format is fixed
//   when the endpoint is made.
//
// Capture contract:
// - DirectSoundCaptureCreate8 takes the input endpoint (DSERR_ALLOCATED when
//   a wave input or another capture object has it) until Release.
// - One capture buffer per object. The capture position advances while
//   started; read position = capture position (all captured bytes may be
//   read). Positions persist across Stop and Start.
// - Notifications: each event is set once each time the capture position
//   passes its offset (the offset's byte has been written); DSBPN_OFFSETSTOP
//   events are set when Stop stops a running buffer (or a one-shot capture
//   reaches the end). Events are set on the pumping thread after the data is
//   in place. SetNotificationPositions while started: DSERR_INVALIDCALL.
#include <memory>

#include "hcyplat/event.h"
#include "hcyplat/mmsystem.h"
#include "hcyplat/types.h"

namespace plat {

constexpr HRESULT DS_OK = 0;
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000Au);
constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
constexpr HRESULT DSERR_INVALIDPARAM = E_INVALIDARG;
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_GENERIC = E_FAIL;
constexpr HRESULT DSERR_PRIOLEVELNEEDED = static_cast<HRESULT>(0x88780046u);
constexpr HRESULT DSERR_OUTOFMEMORY = E_OUTOFMEMORY;
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);

constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_PRIORITY = 2;
constexpr DWORD DSSCL_EXCLUSIVE = 3;
constexpr DWORD DSSCL_WRITEPRIMARY = 4;

constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_STATIC = 0x00000002;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr DWORD DSBCAPS_CTRLPAN = 0x00000040;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr DWORD DSBCAPS_CTRLPOSITIONNOTIFY = 0x00000100;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x00008000;
constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;

constexpr DWORD DSBPLAY_LOOPING = 0x00000001;
constexpr DWORD DSBSTATUS_PLAYING = 0x00000001;
constexpr DWORD DSBSTATUS_BUFFERLOST = 0x00000002;
constexpr DWORD DSBSTATUS_LOOPING = 0x00000004;
constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x00000001;
constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x00000002;

constexpr long DSBVOLUME_MIN = -10000;  // [hundredths of dB]
constexpr long DSBVOLUME_MAX = 0;
constexpr long DSBPAN_LEFT = -10000;
constexpr long DSBPAN_CENTER = 0;
constexpr long DSBPAN_RIGHT = 10000;
constexpr DWORD DSBFREQUENCY_ORIGINAL = 0;
constexpr DWORD DSBFREQUENCY_MIN = 100;            // [Hz]
constexpr DWORD DSBFREQUENCY_MAX = 200000;         // [Hz]
constexpr DWORD DSBSIZE_MIN = 4;                   // [bytes]
constexpr DWORD kMaxSoundBufferBytes = 16u << 20;  // this layer's largest buffer [bytes]

constexpr DWORD DSCBCAPS_WAVEMAPPED = 0x80000000u;
constexpr DWORD DSCBSTART_LOOPING = 0x00000001;
constexpr DWORD DSCBSTATUS_CAPTURING = 0x00000001;
constexpr DWORD DSCBSTATUS_LOOPING = 0x00000002;
constexpr DWORD DSBPN_OFFSETSTOP = 0xFFFFFFFFu;

// {B0210783-89CD-11D0-AF08-00A0C925CD16}
constexpr GUID IID_IDirectSoundNotify = {
    0xB0210783, 0x89CD, 0x11D0, {0xAF, 0x08, 0x00, 0xA0, 0xC9, 0x25, 0xCD, 0x16}};

// Record sizes the callers put in dwSize (the system's 32-bit layouts); the
// layer also accepts sizeof of the records below.
constexpr DWORD kDsBufferDescSize = 36;
constexpr DWORD kDsCaptureBufferDescSize = 28;

struct DSBUFFERDESC {
    DWORD dwSize = kDsBufferDescSize;
    DWORD dwFlags = 0;
    DWORD dwBufferBytes = 0;
    DWORD dwReserved = 0;
    WAVEFORMATEX* lpwfxFormat = nullptr;  // WAVEFORMATEX or WAVEFORMATEXTENSIBLE
    GUID guid3DAlgorithm{};
};
struct DSCBUFFERDESC {
    DWORD dwSize = kDsCaptureBufferDescSize;
    DWORD dwFlags = 0;
    DWORD dwBufferBytes = 0;
    DWORD dwReserved = 0;
    WAVEFORMATEX* lpwfxFormat = nullptr;
    DWORD dwFXCount = 0;
    void* lpDSCFXDesc = nullptr;
};

struct DSBPOSITIONNOTIFY {
    DWORD dwOffset = 0;  // [bytes] or DSBPN_OFFSETSTOP
    HANDLE hEventNotify = 0;
};

class IDirectSoundBuffer {
public:
    virtual ~IDirectSoundBuffer() = default;
    virtual HRESULT GetCurrentPosition(DWORD* play, DWORD* write) = 0;  // [bytes]
    virtual HRESULT SetCurrentPosition(DWORD play) = 0;
    virtual HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) = 0;
    virtual HRESULT SetFormat(const WAVEFORMATEX* format) = 0;  // primary buffer only
    virtual HRESULT GetStatus(DWORD* status) = 0;
    virtual HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2,
                         DWORD* bytes2, DWORD flags) = 0;
    virtual HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) = 0;
    virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Restore() = 0;
    virtual HRESULT SetVolume(long volume) = 0;  // [hundredths of dB]
    virtual HRESULT GetVolume(long* volume) = 0;
    virtual HRESULT SetPan(long pan) = 0;
    virtual HRESULT GetPan(long* pan) = 0;
    virtual HRESULT SetFrequency(DWORD hz) = 0;
    virtual HRESULT GetFrequency(DWORD* hz) = 0;
    virtual HRESULT Release() = 0;
};
using LPDIRECTSOUNDBUFFER = std::shared_ptr<IDirectSoundBuffer>;

class IDirectSound {
public:
    virtual ~IDirectSound() = default;
    // There are no windows: any handle is accepted; level 1..4.
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
    // `outer` must be null (DSERR_NOAGGREGATION). The primary buffer is one
    // object per DirectSound object.
    virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, LPDIRECTSOUNDBUFFER* buffer,
                                      void* outer) = 0;
    virtual HRESULT Release() = 0;
};
using LPDIRECTSOUND = std::shared_ptr<IDirectSound>;

// guid null: the default (first) output endpoint. Unknown GUID or no
// endpoint: DSERR_NODRIVER.
HRESULT DirectSoundCreate(const GUID* device, LPDIRECTSOUND* ds, void* outer);

class IDirectSoundNotify {
public:
    virtual ~IDirectSoundNotify() = default;
    virtual HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) = 0;
    virtual HRESULT Release() = 0;
};
using LPDIRECTSOUNDNOTIFY = std::shared_ptr<IDirectSoundNotify>;

class IDirectSoundCaptureBuffer {
public:
    virtual ~IDirectSoundCaptureBuffer() = default;
    virtual HRESULT QueryInterface(const GUID& iid, LPDIRECTSOUNDNOTIFY* out) = 0;
    virtual HRESULT GetCurrentPosition(DWORD* capture, DWORD* read) = 0;  // [bytes]
    virtual HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) = 0;
    virtual HRESULT GetStatus(DWORD* status) = 0;
    virtual HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2,
                         DWORD* bytes2, DWORD flags) = 0;
    virtual HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) = 0;
    virtual HRESULT Start(DWORD flags) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Release() = 0;
};
using LPDIRECTSOUNDCAPTUREBUFFER = std::shared_ptr<IDirectSoundCaptureBuffer>;

class IDirectSoundCapture {
public:
    virtual ~IDirectSoundCapture() = default;
    virtual HRESULT CreateCaptureBuffer(const DSCBUFFERDESC* desc,
                                        LPDIRECTSOUNDCAPTUREBUFFER* buffer, void* outer) = 0;
    virtual HRESULT Release() = 0;
};
using LPDIRECTSOUNDCAPTURE8 = std::shared_ptr<IDirectSoundCapture>;

// guid null: the default (first) capture endpoint.
HRESULT DirectSoundCaptureCreate8(const GUID* device, LPDIRECTSOUNDCAPTURE8* capture, void* outer);

// Host handles: a DirectSound object or a sound buffer handed to a host as
// an opaque pointer-sized value that the host passes back to the library.
// The platform holds the object while its handle is out; a value it did not
// hand out, or one given back, resolves to null (it is never read as an
// address).
void* GiveHostHandle(const LPDIRECTSOUND& ds);
void* GiveHostHandle(const LPDIRECTSOUNDBUFFER& buffer);
LPDIRECTSOUND DirectSoundOfHostHandle(const void* handle);
LPDIRECTSOUNDBUFFER SoundBufferOfHostHandle(const void* handle);
// Lets go of the handle's object (whoever else holds it keeps it); false
// for a value that is no handle.
bool TakeBackHostHandle(const void* handle);

}  // namespace plat
