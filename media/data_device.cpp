#include "media/data_device.h"

#include <cstring>

#include "base/library.h"
#include "base/messages.h"
#include "base/thread_kinds.h"
#include "hcyplat/thread_boundary.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"

namespace {

using Block = std::vector<std::int16_t>;

// Calls that have reached the host are kept for the next ones, so that the
// Signal worker does not allocate for every block it hands over.
constexpr std::size_t kRecycledCalls = 32;

}  // namespace

// What the worker's loop uses without the device: shared by the device and
// the loop, it outlives whichever goes first.
struct CDataDevice::Worker {
    HostAudioProc audio = nullptr;
    HostNotifyProc notify = nullptr;
    std::weak_ptr<CDataDevice> device;
    std::atomic<plat::ThreadId> thread{0};
    std::atomic<bool> closed{false};  // no host call starts once set
    std::atomic<bool> stop{false};    // the loop ends at its next message

    std::mutex recycledMutex;  // leaf lock
    std::vector<std::unique_ptr<plat::MessagePayload>> recycled;

    std::unique_ptr<plat::MessagePayload> TakeCall() {
        {
            std::lock_guard lock(recycledMutex);
            if (!recycled.empty()) {
                auto call = std::move(recycled.back());
                recycled.pop_back();
                return call;
            }
        }
        return std::make_unique<plat::Boxed<Received>>();
    }
    void GiveBack(std::unique_ptr<plat::MessagePayload> call) {
        std::lock_guard lock(recycledMutex);
        if (recycled.size() < kRecycledCalls) recycled.push_back(std::move(call));
    }
};

CDataDevice::CDataDevice(int type, HostAudioProc audio, HostNotifyProc notify)
    : m_worker(std::make_shared<Worker>()) {
    m_nDataDeviceType = type;
    m_bDataDevice = true;
    m_nLongValue = 4099;
    SetDataCallbacks(audio, notify);
    m_worker->audio = audio;
    m_worker->notify = notify;
}

CDataDevice::~CDataDevice() { StopWorker(); }

int CDataDevice::Start() {
    m_worker->device = weak_from_this();
    if (m_worker->device.expired()) {
        hcy::Library().SetError("A data device must be shared before it starts.");
        return 0;
    }
    auto worker = m_worker;
    if (!m_thread.Start([worker] { WorkerLoop(worker); }, "hcy-data")) {
        hcy::Library().SetError("Could not start the data device's worker thread.");
        return 0;
    }
    m_worker->thread = m_thread.Id();
    return 1;
}

bool CDataDevice::OnWorker() const {
    const plat::ThreadId worker = m_worker->thread.load();
    return worker != 0 && plat::GetCurrentThreadId() == worker;
}

void CDataDevice::StopWorker() {
    m_worker->closed = true;
    m_worker->stop = true;
    const plat::ThreadId worker = m_worker->thread.load();
    if (worker == 0) return;
    // A full queue refuses the quit, but the loop then ends at the next
    // message it takes.
    plat::PostThreadMessage(worker, plat::WM_QUIT, 0, 0);
    if (!OnWorker()) m_thread.Join();
}

bool CDataDevice::PostToWorker(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam,
                               std::unique_ptr<plat::MessagePayload> payload) {
    const plat::ThreadId worker = m_worker->thread.load();
    return worker != 0 &&
           plat::PostThreadMessage(worker, message, wParam, lParam, std::move(payload));
}

// ---------------------------------------------------------------------------
// The worker

void CDataDevice::WorkerLoop(const std::shared_ptr<Worker>& worker) {
    auto handle = [&](plat::MSG& msg) {
        if (msg.message == hcy::WM_DATADEV_HOST_AUDIO ||
            msg.message == hcy::WM_DATADEV_HOST_NOTICE) {
            // The host's code runs with nothing of the library held, not
            // even the device.
            Received* call = plat::PayloadAs<Received>(msg.payload);
            if (call && !worker->closed.load()) {
                plat::ThreadBoundary(hcy::boundary::kHostCallback, [&] {
                    if (msg.message == hcy::WM_DATADEV_HOST_AUDIO && worker->audio)
                        worker->audio(call->radio, call->record, call->samples.data(),
                                      static_cast<std::uint32_t>(call->samples.size() * 2),
                                      call->rate);
                    else if (msg.message == hcy::WM_DATADEV_HOST_NOTICE && worker->notify)
                        worker->notify(call->radio, call->record, call->code, &call->value);
                });
            }
            if (call) worker->GiveBack(std::move(msg.payload));
            return false;
        }
        std::shared_ptr<CDataDevice> device = worker->device.lock();
        if (!device) return true;  // gone: nothing is left to do
        bool end = false;
        plat::ThreadBoundary(hcy::boundary::kDataDevice, [&] { end = device->HandleMessage(msg); });
        // The last owner may be this loop (a callback closed the device):
        // the device goes here and the loop does not touch it again.
        device.reset();
        if (plat::PayloadAs<Received>(msg.payload)) worker->GiveBack(std::move(msg.payload));
        return end;
    };
    plat::MSG msg;
    bool end = false;
    while (!end && !worker->stop.load() && plat::GetMessage(msg)) {
        end = handle(msg);
        // Everything at hand is handled before the loop ends or waits again.
        while (!worker->stop.load() && plat::PeekMessage(msg, true)) {
            if (msg.message == plat::WM_QUIT) {
                end = true;
                break;
            }
            end = handle(msg) || end;
        }
    }
}

bool CDataDevice::HandleMessage(const plat::MSG& msg) {
    switch (msg.message) {
    case hcy::WM_CAPTURE_BUFFER_FILLED:
        if (const Block* block = plat::PayloadAs<Block>(msg.payload))
            DeliverCapture(block->data(), static_cast<std::uint32_t>(block->size() * 2));
        return false;
    case hcy::WM_CAPTURE_CLOSED: return true;
    default: return false;
    }
}

// ---------------------------------------------------------------------------
// Host side

int CDataDevice::PostData(void* data, int byteCount) {
    if (!data || byteCount < 2) return 0;
    const auto count = static_cast<std::size_t>(byteCount) / 2;
    auto payload = std::make_unique<plat::Boxed<Block>>(count);
    std::memcpy(payload->value.data(), data, count * 2);
    if (!PostToWorker(hcy::WM_CAPTURE_BUFFER_FILLED, 0, static_cast<plat::LPARAM>(count * 2),
                      std::move(payload))) {
        hcy::Library().SetError("The data device could not take the block.");
        return 0;
    }
    return 1;
}

int CDataDevice::SetPTT(int on, int channel) {
    Lock lock(m_mutex);
    KeyTransmitLists(on, channel);
    // Posted blocks are taken to be at the library's rate.
    if (on) m_nSampleRate = hcy::Library().m_nDefaultSampleRate.load();
    return 1;
}

void CDataDevice::KeyTransmitLists(int on, int channel) {
    Lock lock(m_mutex);
    KeyListed(on, MonoSourceWord());
    m_nLastChannel = channel;
    m_bKeyed = on != 0;
    m_nPTTState = on ? 5 : 0;
}

void CDataDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    // Voice-operated keying cannot be switched on: every block goes out.
    CDevice::DeliverCapture(block, bytes);
}

void CDataDevice::Close() {
    CDevice::Close();
    {
        Lock lock(m_mutex);
        // Nothing stays keyed or talking by a device that is going.
        ReleaseTransmitLists(MonoSourceWord());
        m_bKeyed = false;
        m_nPTTState = 0;
    }
    m_worker->closed = true;
    PostToWorker(hcy::WM_CAPTURE_CLOSED, 0, 0);
}

void CDataDevice::AwaitClosed() { StopWorker(); }

// ---------------------------------------------------------------------------
// Radio side: copies for the worker, never a call into the host here.

int CDataDevice::ReceiveAudio(int radioUserId, const CReceive* record, const std::int16_t* samples,
                              std::uint32_t bytes, std::uint32_t sampleRate) {
    if (m_worker->audio)
        PostReceived(hcy::WM_DATADEV_HOST_AUDIO, radioUserId, record, samples, bytes, sampleRate);
    return 1;
}

bool CDataDevice::PostReceived(plat::UINT message, int radioUserId, const CReceive* record,
                               const std::int16_t* samples, std::uint32_t bytes,
                               std::uint32_t sampleRate) {
    if (m_worker->closed.load() || !samples || bytes < 2) return false;
    auto payload = m_worker->TakeCall();
    Received& call = *plat::PayloadAs<Received>(payload);
    call.radio = radioUserId;
    call.record = const_cast<CReceive*>(record);
    call.code = 0;
    call.samples.assign(samples, samples + bytes / 2);
    call.rate = sampleRate;
    // A full queue drops the block: the Signal worker never waits.
    return PostToWorker(message, 0, 0, std::move(payload));
}

bool CDataDevice::NotifyHost(int radioUserId, const CReceive* record, int code, double* value) {
    if (!m_worker->notify || m_worker->closed.load() || !value) return false;
    auto payload = m_worker->TakeCall();
    Received& call = *plat::PayloadAs<Received>(payload);
    call.radio = radioUserId;
    call.record = const_cast<CReceive*>(record);
    call.code = code;
    call.value = *value;
    call.samples.clear();
    return PostToWorker(hcy::WM_DATADEV_HOST_NOTICE, 0, 0, std::move(payload));
}
