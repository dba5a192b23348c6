#include "audio/wave_in_capture.h"

#include "audio/device.h"
#include "audio/open_failure.h"
#include "base/library.h"
#include "base/messages.h"
#include "base/thread_kinds.h"
#include "hcyplat/thread_boundary.h"

using plat::HWAVEIN;
using plat::MMRESULT;

namespace {
constexpr auto kHeaderSize = static_cast<plat::UINT>(sizeof(plat::WAVEHDR));
}

CWaveInCapture::CWaveInCapture(const Owner& owner, std::function<std::uint32_t()> blockBytes)
    : CCapture(owner), m_blockBytes(std::move(blockBytes)) {}

CWaveInCapture::~CWaveInCapture() {
    // A close refused earlier is tried once more; nothing is reported.
    CloseInput();
    EndThread();
}

bool CWaveInCapture::Open(plat::UINT id, const plat::WAVEFORMATEX& format, MMRESULT* openResult) {
    HWAVEIN hwi = 0;
    const MMRESULT result =
        plat::waveInOpen(&hwi, id, &format, reinterpret_cast<plat::DWORD_PTR>(&WaveInProc),
                         reinterpret_cast<plat::DWORD_PTR>(this), plat::CALLBACK_FUNCTION);
    if (openResult) *openResult = result;
    if (result != plat::MMSYSERR_NOERROR) {
        hcy::audio::ReportOpenFailure(
            result,
            {{plat::MMSYSERR_ALLOCATED, "  Device already allocated."},
             {plat::MMSYSERR_BADDEVICEID, "  Device ID out of range."},
             {plat::MMSYSERR_NODRIVER, "  No valid input driver present."},
             {plat::WAVERR_BADFORMAT, "  WAV format not supported."}},
            "Could not open input device.", "Input device open failed with code",
            hcy::audio::CodeFormat::Decimal);
        return false;
    }
    // The thread starts only once there is an input whose close will end it.
    if (!m_thread.Start([this] { CaptureThread(); }, "hcy-capture")) {
        plat::waveInClose(hwi);
        hcy::Library().SetError("Could not start the capture thread.");
        return false;
    }
    m_nThreadId = m_thread.Id();
    m_hWaveIn = hwi;
    Move(State::Closed, State::Stopped);
    return true;
}

// ---------------------------------------------------------------------------
// Capture control (mutex held)

CWaveInCapture::Block* CWaveInCapture::TakeBlock() {
    Block* block;
    if (m_freeBlocks.empty()) {
        m_blocks.push_back(std::make_unique<Block>());
        block = m_blocks.back().get();
    } else {
        block = m_freeBlocks.back();
        m_freeBlocks.pop_back();
    }
    const std::uint32_t size = m_blockBytes();
    if (block->data.size() != size) block->data.resize(size);
    block->header = plat::WAVEHDR{};
    block->header.lpData = block->data.data();
    block->header.dwBufferLength = size;
    block->header.dwUser = reinterpret_cast<plat::DWORD_PTR>(block);
    return block;
}

void CWaveInCapture::GiveBack(Block* block) {
    if (block) m_freeBlocks.push_back(block);
}

bool CWaveInCapture::QueueBlock() {
    Block* block = TakeBlock();
    if (plat::waveInPrepareHeader(m_hWaveIn, &block->header, kHeaderSize) !=
        plat::MMSYSERR_NOERROR) {
        GiveBack(block);
        return false;
    }
    if (plat::waveInAddBuffer(m_hWaveIn, &block->header, kHeaderSize) != plat::MMSYSERR_NOERROR) {
        // Refused: not retried.
        plat::waveInUnprepareHeader(m_hWaveIn, &block->header, kHeaderSize);
        GiveBack(block);
        return false;
    }
    return true;
}

bool CWaveInCapture::Start() {
    if (IsCapturing()) return true;
    if (!Move(State::Stopped, State::Capturing)) return false;
    QueueBlock();
    QueueBlock();
    return plat::waveInStart(m_hWaveIn) == plat::MMSYSERR_NOERROR;
}

void CWaveInCapture::Stop() {
    if (!Move(State::Capturing, State::Stopped)) return;
    plat::waveInReset(m_hWaveIn);
}

bool CWaveInCapture::StopDelivering() {
    // The reset hands every queued block back through the callback before
    // it returns; none is queued again once capturing has dropped.
    if (!Move(State::Capturing, State::Draining)) return true;
    const MMRESULT result = plat::waveInReset(m_hWaveIn);
    Move(State::Draining, State::Stopped);
    return result == plat::MMSYSERR_NOERROR;
}

void CWaveInCapture::WaitForDeliveries() {
    std::unique_lock lock(m_countMutex);
    m_allHandled.wait(lock, [&] { return m_nHandled >= m_nHandedBack; });
}

void CWaveInCapture::BlockHandled() {
    {
        std::lock_guard lock(m_countMutex);
        ++m_nHandled;
    }
    m_allHandled.notify_all();
}

bool CWaveInCapture::CloseInput() {
    std::lock_guard lock(m_owner.mutex);
    Stop();
    if (GetState() == State::Closed) return true;
    // Blocks queued by an earlier failed start come back too, so the close
    // cannot find one still queued.
    plat::waveInReset(m_hWaveIn);
    if (plat::waveInClose(m_hWaveIn) != plat::MMSYSERR_NOERROR) return false;
    m_hWaveIn = 0;
    Move(State::Stopped, State::Closed);
    return true;
}

bool CWaveInCapture::Close() {
    const bool closed = CloseInput();
    if (!closed) hcy::Library().SetError("waveInClose failed.");
    EndThread();
    return closed;
}

// ---------------------------------------------------------------------------
// The capture thread and the wave-input callback

void CWaveInCapture::EndThread() {
    if (m_thread.Joinable()) {
        plat::PostThreadMessage(m_thread.Id(), plat::WM_QUIT, 0, 0);
        m_thread.Join();
    }
    m_nThreadId = 0;
}

void CWaveInCapture::WaveInProc(HWAVEIN hwi, plat::UINT message, plat::DWORD_PTR instance,
                                plat::DWORD_PTR param1, plat::DWORD_PTR) {
    auto* self = reinterpret_cast<CWaveInCapture*>(instance);
    if (!self) return;
    switch (message) {
    case plat::WIM_DATA: {
        auto* header = reinterpret_cast<plat::WAVEHDR*>(param1);
        if (!header) return;
        // The engine's own state, not the device's: an input that never
        // closed may call back after the device has gone.
        const State state = self->GetState();
        const bool deliver = state == State::Capturing || state == State::Draining;
        const plat::UINT what = header->dwBytesRecorded != 0 && deliver
                                    ? hcy::WM_CAPTURE_BUFFER_FILLED
                                    : hcy::WM_CAPTURE_BUFFER_EMPTY;
        {
            std::lock_guard lock(self->m_countMutex);
            ++self->m_nHandedBack;
        }
        // A failed post loses the block for reuse only: the pool still owns it.
        if (!plat::PostThreadMessage(self->m_nThreadId.load(), what, hwi,
                                     reinterpret_cast<plat::LPARAM>(header)))
            self->BlockHandled();
        break;
    }
    case plat::WIM_CLOSE:
        plat::PostThreadMessage(self->m_nThreadId.load(), hcy::WM_CAPTURE_CLOSED, 0, 0);
        break;
    default: break;  // WIM_OPEN
    }
}

bool CWaveInCapture::HandleMessage(const plat::MSG& msg) {
    switch (msg.message) {
    case hcy::WM_CAPTURE_BUFFER_FILLED:
    case hcy::WM_CAPTURE_BUFFER_EMPTY: {
        auto* header = reinterpret_cast<plat::WAVEHDR*>(msg.lParam);
        if (!header) return false;
        const auto hwi = static_cast<HWAVEIN>(msg.wParam);
        // A delivery that throws loses its block's sound only: the block
        // still goes back and capture goes on.
        if (msg.message == hcy::WM_CAPTURE_BUFFER_FILLED) {
            plat::ThreadBoundary(hcy::boundary::kCapture, [&] {
                m_owner.device.DeliverCapture(reinterpret_cast<const std::int16_t*>(header->lpData),
                                              header->dwBytesRecorded);
            });
        }
        {
            std::lock_guard lock(m_owner.mutex);
            plat::waveInUnprepareHeader(hwi, header, kHeaderSize);
            GiveBack(reinterpret_cast<Block*>(header->dwUser));
            if (IsCapturing() && hwi == m_hWaveIn) QueueBlock();
        }
        BlockHandled();
        return false;
    }
    case hcy::WM_CAPTURE_CLOSED: return true;
    default: return false;
    }
}

void CWaveInCapture::CaptureThread() {
    m_bThreadRunning = true;
    plat::MSG msg;
    bool end = false;
    while (!end && plat::GetMessage(msg)) {
        end = HandleMessage(msg);
        // Everything at hand is handled before the loop ends or waits again.
        while (plat::PeekMessage(msg, true)) {
            if (msg.message == plat::WM_QUIT) {
                end = true;
                break;
            }
            end = HandleMessage(msg) || end;
        }
    }
    // Blocks still queued to an ending thread are never handled: nobody waits
    // for them.
    {
        std::lock_guard lock(m_countMutex);
        m_nHandled = m_nHandedBack;
    }
    m_allHandled.notify_all();
    m_bThreadRunning = false;
}
