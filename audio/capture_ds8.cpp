#include "audio/capture_ds8.h"

#include <cstring>

#include "audio/device.h"
#include "audio/open_failure.h"
#include "base/library.h"
#include "base/thread_kinds.h"
#include "hcyplat/thread_boundary.h"

using plat::DWORD;
using plat::HRESULT;

CCaptureDS8::CCaptureDS8(const Owner& owner) : CCapture(owner) {}

CCaptureDS8::~CCaptureDS8() { Close(); }

bool CCaptureDS8::Open(const plat::GUID* device, const plat::WAVEFORMATEX& format,
                       std::uint32_t blockBytes) {
    const HRESULT hr = plat::DirectSoundCaptureCreate8(device, &m_pCaptureObject, nullptr);
    if (hr != plat::DS_OK || !m_pCaptureObject) {
        hcy::audio::ReportOpenFailure(
            hr,
            {{plat::DSERR_ALLOCATED, "  Input device already allocated."},
             {plat::DSERR_INVALIDPARAM, "  Invalid parameter passed to function."},
             {plat::DSERR_NOAGGREGATION, "  No aggregation error."},
             {plat::DSERR_OUTOFMEMORY, "  Out of Memory."}},
            "Failed to create DirectSoundCapture object.",
            "DirectSoundCapture object create failed with code",
            hcy::audio::CodeFormat::Hexadecimal);
        ReleaseAll();
        return false;
    }
    m_nBlockBytes = blockBytes;
    if (!CreateCaptureBuffer(format)) {
        ReleaseAll();
        return false;
    }
    // Only a complete set-up gets a thread, so it always has its events.
    m_nNextReadOffset = 0;
    m_block.assign(m_nBufferSize / 2, 0);
    if (!m_thread.Start([this] { CaptureThread(); }, "hcy-capture-ds8")) {
        hcy::Library().SetError("Could not start the capture thread.");
        ReleaseAll();
        return false;
    }
    Move(State::Closed, State::Stopped);
    return true;
}

bool CCaptureDS8::CreateCaptureBuffer(const plat::WAVEFORMATEX& format) {
    m_nBufferSize = kBlocks * m_nBlockBytes;
    plat::DSCBUFFERDESC desc;
    desc.dwFlags = plat::DSCBCAPS_WAVEMAPPED;
    desc.dwBufferBytes = m_nBufferSize;
    desc.lpwfxFormat = const_cast<plat::WAVEFORMATEX*>(&format);
    HRESULT hr = m_pCaptureObject->CreateCaptureBuffer(&desc, &m_pBuffer, nullptr);
    if (hr != plat::DS_OK || !m_pBuffer) {
        hcy::Library().SetErrorf("CreateCaptureBuffer failed with code %Xh",
                                 static_cast<unsigned>(hr));
        return false;
    }
    hr = SetCaptureNotifications();
    if (hr != plat::DS_OK) {
        hcy::Library().SetErrorf("SetCaptureNotifications failed with code %Xh",
                                 static_cast<unsigned>(hr));
        return false;
    }
    return true;
}

HRESULT CCaptureDS8::SetCaptureNotifications() {
    if (!m_pBuffer) return plat::E_INVALIDARG;
    for (plat::HANDLE& event : m_events) {
        if (event) plat::CloseHandle(event);
        event = plat::CreateEvent(nullptr, 0, 0, nullptr);  // auto-reset, clear
        if (!event) return plat::E_OUTOFMEMORY;
    }
    plat::LPDIRECTSOUNDNOTIFY notify;
    HRESULT hr = m_pBuffer->QueryInterface(plat::IID_IDirectSoundNotify, &notify);
    if (hr != plat::DS_OK || !notify) return hr != plat::DS_OK ? hr : plat::E_NOINTERFACE;
    std::array<plat::DSBPOSITIONNOTIFY, kBlocks + 1> positions;
    for (int k = 0; k < kBlocks; ++k) {
        positions[static_cast<std::size_t>(k)].dwOffset =
            m_nBlockBytes * static_cast<DWORD>(k + 1) - 1;
        positions[static_cast<std::size_t>(k)].hEventNotify = m_events[static_cast<std::size_t>(k)];
    }
    positions[kBlocks].dwOffset = plat::DSBPN_OFFSETSTOP;
    positions[kBlocks].hEventNotify = m_events[kStopEvent];
    hr = notify->SetNotificationPositions(static_cast<DWORD>(positions.size()), positions.data());
    notify->Release();
    return hr;
}

void CCaptureDS8::ReleaseAll() {
    if (m_pBuffer) m_pBuffer->Release();
    m_pBuffer.reset();
    if (m_pCaptureObject) m_pCaptureObject->Release();
    m_pCaptureObject.reset();
    for (plat::HANDLE& event : m_events) {
        if (event) plat::CloseHandle(event);
        event = 0;
    }
}

// ---------------------------------------------------------------------------
// Capture control

bool CCaptureDS8::Start() {
    if (IsCapturing()) return true;
    if (GetState() != State::Stopped) return false;
    // A refused start stays stopped; nothing is reported.
    if (m_pBuffer->Start(plat::DSCBSTART_LOOPING) != plat::DS_OK) return false;
    Move(State::Stopped, State::Capturing);
    return true;
}

void CCaptureDS8::Stop() {
    if (!Move(State::Capturing, State::Stopped)) return;
    m_pBuffer->Stop();
    // The rest goes out now, unless this stop comes from a delivery in
    // progress (keying by VOX): its stop event then delivers it.
    if (!m_bReading) ReadCapture(true);
}

bool CCaptureDS8::Close() {
    {
        std::lock_guard lock(m_owner.mutex);
        Stop();
        // The buffer stays until the thread has ended: a pending stop
        // event still reads it.
        Move(State::Stopped, State::Closed);
    }
    if (m_thread.Joinable()) {
        // A stop still pending is handled first: it has the lower event.
        plat::SetEvent(m_events[kQuitEvent]);
        m_thread.Join();
    }
    ReleaseAll();
    return true;
}

// ---------------------------------------------------------------------------
// The capture thread

void CCaptureDS8::CaptureThread() {
    m_bThreadRunning = true;
    for (;;) {
        const DWORD result = plat::WaitForMultipleObjects(static_cast<DWORD>(m_events.size()),
                                                          m_events.data(), 0, plat::INFINITE);
        if (result >= plat::WAIT_OBJECT_0 + kQuitEvent) break;  // quit, or the wait failed
        const bool flush = result == plat::WAIT_OBJECT_0 + kStopEvent;
        // A delivery that throws loses that block only.
        plat::ThreadBoundary(hcy::boundary::kCapture, [&] {
            std::lock_guard lock(m_owner.mutex);
            // A stop event taken after capture started again is stale: the
            // stop delivered its rest, or the blocks now read it on.
            if (flush && IsCapturing()) return;
            ReadCapture(flush);
        });
    }
    m_bThreadRunning = false;
}

void CCaptureDS8::ReadCapture(bool flush) {
    DWORD capture = 0, read = 0;
    if (m_pBuffer->GetCurrentPosition(&capture, &read) != plat::DS_OK) return;
    const DWORD available = (read + m_nBufferSize - m_nNextReadOffset) % m_nBufferSize;
    DWORD size = flush ? available : (available < m_nBlockBytes ? 0 : m_nBlockBytes);
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    const bool locked =
        size > 0 && m_pBuffer->Lock(m_nNextReadOffset, size, &p1, &n1, &p2, &n2, 0) == plat::DS_OK;
    if (locked) {
        auto* out = reinterpret_cast<std::uint8_t*>(m_block.data());
        std::memcpy(out, p1, n1);
        if (p2 && n2) std::memcpy(out + n1, p2, n2);
        m_pBuffer->Unlock(p1, n1, p2, n2);
        size = n1 + n2;
    }
    // A block that could not be read is skipped, so reading keeps its pace.
    m_nNextReadOffset = flush ? capture : (m_nNextReadOffset + size) % m_nBufferSize;
    if (!locked || size == 0) return;
    m_bReading = true;
    struct Done {
        bool& reading;
        ~Done() { reading = false; }
    } done{m_bReading};
    m_owner.device.DeliverCapture(m_block.data(), size);
}
