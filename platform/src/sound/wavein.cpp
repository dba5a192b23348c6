// Wave input over the virtual sound system: a queue of headers that the
// endpoint's captured frames fill in order, with the WIM_* callbacks.
#include <algorithm>
#include <cstring>
#include <map>

#include "hcyplat/mmsystem.h"
#include "vsnd_internal.h"

namespace plat {
namespace {

using vsnd::Fault;
using vsnd::MixFormat;
using vsnd::detail::InputEndpoint;

class WaveIn;
thread_local const WaveIn* t_inCallback = nullptr;  // the wave input whose callback runs here

class WaveIn final : public vsnd::detail::InputClient {
public:
    WaveIn(HWAVEIN handle, std::shared_ptr<InputEndpoint> endpoint, const MixFormat& format,
           LPWAVEINPROC callback, DWORD_PTR instance)
        : handle(handle),
          endpoint(std::move(endpoint)),
          format_(format),
          align_(format.channels * 2),
          callback_(callback),
          instance_(instance) {
        done_.reserve(16);
    }

    const HWAVEIN handle;
    const std::shared_ptr<InputEndpoint> endpoint;

    MixFormat Format() const override { return format_; }
    bool Started() const override { return started_.load(); }

    void Deliver(const std::int16_t* samples, std::size_t frames) override {
        std::lock_guard order(deliverMu_);
        {
            std::lock_guard lock(mu_);
            if (closed_) return;
            const auto* bytes = reinterpret_cast<const char*>(samples);
            std::size_t left = frames * align_;
            while (left > 0 && !queue_.empty()) {
                WAVEHDR* h = queue_.front();
                // Whole frames only: a header is full when no further frame fits.
                const DWORD room = (h->dwBufferLength / align_) * align_ - h->dwBytesRecorded;
                const auto n = static_cast<DWORD>(std::min<std::size_t>(room, left));
                std::memcpy(h->lpData + h->dwBytesRecorded, bytes, n);
                h->dwBytesRecorded += n;
                bytes += n;
                left -= n;
                if (h->dwBytesRecorded + align_ > h->dwBufferLength) {
                    Complete(h);
                    queue_.erase(queue_.begin());
                }
            }
            // Frames beyond the queued headers are lost.
        }
        Notify();
    }

    std::size_t FramesToNextEvent() override {
        std::lock_guard lock(mu_);
        if (closed_ || !started_ || queue_.empty()) return 0;
        const WAVEHDR* h = queue_.front();
        const DWORD room = (h->dwBufferLength / align_) * align_ - h->dwBytesRecorded;
        return room / align_;
    }

    MMRESULT Prepare(WAVEHDR* h) {
        if (!h->lpData || h->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
        std::lock_guard lock(mu_);
        h->dwFlags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Unprepare(WAVEHDR* h) {
        std::lock_guard lock(mu_);
        if (h->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        h->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }

    MMRESULT Add(WAVEHDR* h) {
        std::lock_guard lock(mu_);
        if (failed_) return MMSYSERR_NODRIVER;
        if (!(h->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
        if (h->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
        if (!h->lpData || h->dwBufferLength < align_) return MMSYSERR_INVALPARAM;
        h->dwBytesRecorded = 0;
        h->dwFlags = (h->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        queue_.push_back(h);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start() {
        std::lock_guard lock(mu_);
        if (failed_) return MMSYSERR_NODRIVER;
        started_ = true;
        return MMSYSERR_NOERROR;
    }

    void Fail() override {
        {
            std::lock_guard lock(mu_);
            failed_ = true;
        }
        StopAndReturn(true);
    }

    // Stops; `all`: every header returns (reset), else only a partly filled head.
    void StopAndReturn(bool all) {
        std::lock_guard order(deliverMu_);
        {
            std::lock_guard lock(mu_);
            started_ = false;
            if (all) {
                for (WAVEHDR* h : queue_) Complete(h);
                queue_.clear();
            } else if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
                Complete(queue_.front());
                queue_.erase(queue_.begin());
            }
        }
        Notify();
    }

    // Closes unless headers are queued; waits for a delivery in flight.
    MMRESULT MarkClosed() {
        std::lock_guard order(deliverMu_);
        std::lock_guard lock(mu_);
        if (!queue_.empty()) return WAVERR_STILLPLAYING;
        closed_ = true;
        started_ = false;
        return MMSYSERR_NOERROR;
    }

    void Call(UINT message, DWORD_PTR p1) {
        if (!callback_) return;
        const WaveIn* outer = t_inCallback;
        t_inCallback = this;
        callback_(handle, message, instance_, p1, 0);
        t_inCallback = outer;
    }

private:
    void Complete(WAVEHDR* h) {
        h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        done_.push_back(h);
    }

    // WIM_DATA for the returned headers, in order, with no layer lock held
    // but the delivery order.
    void Notify() {
        for (WAVEHDR* h : done_) Call(WIM_DATA, reinterpret_cast<DWORD_PTR>(h));
        done_.clear();
    }

    const MixFormat format_;
    const DWORD align_;  // [bytes per frame]
    const LPWAVEINPROC callback_;
    const DWORD_PTR instance_;
    std::mutex deliverMu_;  // callbacks of this wave input, in order
    std::mutex mu_;         // queue, header fields, closed
    std::vector<WAVEHDR*> queue_;
    std::vector<WAVEHDR*> done_;  // under deliverMu_
    std::atomic<bool> started_{false};
    bool closed_ = false;
    bool failed_ = false;  // the device behind it failed: nothing more is taken
};

struct Handles {
    std::mutex mu;
    std::map<HWAVEIN, std::shared_ptr<WaveIn>> open;
    HWAVEIN next = 1;
    std::map<HMIXER, UINT> mixers;
    HMIXER nextMixer = 1;
};

Handles& Table() {
    static Handles* h = new Handles;
    return *h;
}

std::shared_ptr<WaveIn> Find(HWAVEIN hwi) {
    std::lock_guard lock(Table().mu);
    auto it = Table().open.find(hwi);
    return it == Table().open.end() ? nullptr : it->second;
}

bool HeaderOk(const WAVEHDR* h, UINT size) { return h && size >= sizeof(WAVEHDR); }

}  // namespace

MMRESULT waveInOpen(HWAVEIN* hwi, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    if (type != CALLBACK_NULL && type != CALLBACK_FUNCTION) return MMSYSERR_NOTSUPPORTED;
    if (!query && !hwi) return MMSYSERR_INVALPARAM;
    if (hwi) *hwi = 0;

    std::shared_ptr<InputEndpoint> endpoint;
    if (deviceId == WAVE_MAPPER) {
        const auto all = vsnd::detail::WaveInEndpoints();
        if (all.empty()) return MMSYSERR_NODRIVER;
        endpoint = all.front();
        // The mapper takes the first input that is free.
        if (!query)
            for (auto& e : all)
                if (!e->Taken()) {
                    endpoint = e;
                    break;
                }
    } else {
        endpoint = vsnd::detail::WaveInEndpoint(deviceId);
        if (!endpoint) return MMSYSERR_BADDEVICEID;
    }
    if (const MMRESULT r = static_cast<MMRESULT>(endpoint->TakeFault(Fault::WaveInOpen))) return r;
    MixFormat f;
    if (!format || !vsnd::detail::ParsePcmFormat(format, &f)) return WAVERR_BADFORMAT;
    if (query) return MMSYSERR_NOERROR;
    if (!endpoint->Take()) return MMSYSERR_ALLOCATED;

    std::shared_ptr<WaveIn> w;
    {
        std::lock_guard lock(Table().mu);
        const HWAVEIN h = Table().next++;
        w = std::make_shared<WaveIn>(
            h, endpoint, f,
            type == CALLBACK_FUNCTION ? reinterpret_cast<LPWAVEINPROC>(callback) : nullptr,
            instance);
        Table().open.emplace(h, w);
    }
    const vsnd::Device::Start started = endpoint->Attach(w);
    if (started != vsnd::Device::Start::Ok) {
        {
            std::lock_guard lock(Table().mu);
            Table().open.erase(w->handle);
        }
        endpoint->Give();
        return started == vsnd::Device::Start::Busy        ? MMSYSERR_ALLOCATED
               : started == vsnd::Device::Start::BadFormat ? WAVERR_BADFORMAT
                                                           : MMSYSERR_NODRIVER;
    }
    endpoint->Open();
    *hwi = w->handle;
    w->Call(WIM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN hwi) {
    auto w = Find(hwi);
    if (!w) return MMSYSERR_INVALHANDLE;
    if (t_inCallback == w.get()) return MMSYSERR_HANDLEBUSY;
    if (const MMRESULT r = static_cast<MMRESULT>(w->endpoint->TakeFault(Fault::WaveInClose)))
        return r;
    if (const MMRESULT r = w->MarkClosed()) return r;
    {
        std::lock_guard lock(Table().mu);
        Table().open.erase(hwi);
    }
    w->endpoint->Give();
    w->endpoint->Close();
    w->Call(WIM_CLOSE, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* header, UINT size) {
    auto w = Find(hwi);
    if (!w) return MMSYSERR_INVALHANDLE;
    if (!HeaderOk(header, size)) return MMSYSERR_INVALPARAM;
    return w->Prepare(header);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* header, UINT size) {
    auto w = Find(hwi);
    if (!w) return MMSYSERR_INVALHANDLE;
    if (!HeaderOk(header, size)) return MMSYSERR_INVALPARAM;
    return w->Unprepare(header);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* header, UINT size) {
    auto w = Find(hwi);
    if (!w) return MMSYSERR_INVALHANDLE;
    if (!HeaderOk(header, size)) return MMSYSERR_INVALPARAM;
    if (const MMRESULT r = static_cast<MMRESULT>(w->endpoint->TakeFault(Fault::WaveInAddBuffer)))
        return r;
    return w->Add(header);
}

MMRESULT waveInStart(HWAVEIN hwi) {
    auto w = Find(hwi);
    if (!w) return MMSYSERR_INVALHANDLE;
    if (const MMRESULT r = static_cast<MMRESULT>(w->endpoint->TakeFault(Fault::WaveInStart)))
        return r;
    return w->Start();
}

MMRESULT waveInStop(HWAVEIN hwi) {
    auto w = Find(hwi);
    if (!w) return MMSYSERR_INVALHANDLE;
    if (t_inCallback == w.get()) return MMSYSERR_HANDLEBUSY;
    w->StopAndReturn(false);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN hwi) {
    auto w = Find(hwi);
    if (!w) return MMSYSERR_INVALHANDLE;
    if (t_inCallback == w.get()) return MMSYSERR_HANDLEBUSY;
    if (const MMRESULT r = static_cast<MMRESULT>(w->endpoint->TakeFault(Fault::WaveInReset)))
        return r;
    w->StopAndReturn(true);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(HMIXER* mixer, UINT id, DWORD_PTR, DWORD_PTR, DWORD flags) {
    if (!mixer) return MMSYSERR_INVALPARAM;
    *mixer = 0;
    if ((flags & MIXER_OBJECTF_WAVEIN) == 0) return MMSYSERR_NOTSUPPORTED;
    auto endpoint = id == WAVE_MAPPER ? nullptr : vsnd::detail::WaveInEndpoint(id);
    if (id == WAVE_MAPPER) {
        const auto all = vsnd::detail::WaveInEndpoints();
        if (!all.empty()) endpoint = all.front();
    }
    if (!endpoint) return MMSYSERR_BADDEVICEID;
    if (const MMRESULT r = static_cast<MMRESULT>(endpoint->TakeFault(Fault::MixerOpen))) return r;
    std::lock_guard lock(Table().mu);
    *mixer = Table().nextMixer++;
    Table().mixers.emplace(*mixer, id);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER mixer) {
    std::lock_guard lock(Table().mu);
    return Table().mixers.erase(mixer) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

}  // namespace plat
