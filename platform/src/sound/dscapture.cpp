// DirectSound 8 capture over the virtual sound system: a ring of captured
// bytes with notification positions that set events.
#include <algorithm>
#include <cstring>

#include "hcyplat/dsound.h"
#include "vsnd_internal.h"

namespace plat {
namespace {

using vsnd::Fault;
using vsnd::MixFormat;
using vsnd::detail::InputEndpoint;

// What the capture object shares with its buffer.
struct CaptureCore {
    std::shared_ptr<InputEndpoint> endpoint;
    std::atomic<bool> released{false};
};

class CaptureBuffer final : public IDirectSoundCaptureBuffer,
                            public vsnd::detail::InputClient,
                            public std::enable_shared_from_this<CaptureBuffer> {
public:
    CaptureBuffer(std::shared_ptr<CaptureCore> core, const WAVEFORMATEX* f, const MixFormat& m,
                  DWORD bytes)
        : core_(std::move(core)),
          format_(m),
          align_(m.channels * 2),
          ring_(bytes, 0),
          staging_(bytes) {
        std::memcpy(static_cast<void*>(&wfx_), f, sizeof wfx_);
        wfx_.cbSize = 0;
        wfx_.wFormatTag = WAVE_FORMAT_PCM;
        fired_.reserve(16);
    }

    DWORD Size() const { return static_cast<DWORD>(ring_.size()); }

    // --- InputClient
    MixFormat Format() const override { return format_; }
    bool Started() const override { return started_.load(); }

    void Deliver(const std::int16_t* samples, std::size_t frames) override {
        {
            std::lock_guard lock(mu_);
            if (!started_ || Gone()) return;
            const auto* src = reinterpret_cast<const std::uint8_t*>(samples);
            std::size_t left = frames * align_;
            while (left > 0 && started_) {
                // At most to the end of the ring per step, so that each offset
                // is passed at most once per step.
                const DWORD old = pos_;
                const auto n = static_cast<DWORD>(std::min<std::size_t>(left, Size() - pos_));
                std::memcpy(ring_.data() + pos_, src, n);
                src += n;
                left -= n;
                pos_ += n;
                for (const auto& p : notify_)
                    if (p.dwOffset != DSBPN_OFFSETSTOP && p.dwOffset >= old && p.dwOffset < pos_)
                        fired_.push_back(p.hEventNotify);
                if (pos_ == Size()) {
                    pos_ = 0;
                    if (!looping_) StopLocked();  // a one-shot capture ends with the ring
                }
            }
        }
        SetFired();
    }

    std::size_t FramesToNextEvent() override {
        std::lock_guard lock(mu_);
        if (!started_ || Gone()) return 0;
        // A one-shot capture ends with the ring; each notification position
        // is passed once the frame holding its byte is written.
        std::size_t next = looping_ ? 0 : (Size() - pos_) / align_;
        for (const auto& p : notify_) {
            if (p.dwOffset == DSBPN_OFFSETSTOP) continue;
            const DWORD before = (p.dwOffset + Size() - pos_) % Size();  // [bytes]
            const std::size_t frames = before / align_ + 1;
            if (next == 0 || frames < next) next = frames;
        }
        return next;
    }

    // --- IDirectSoundCaptureBuffer
    HRESULT QueryInterface(const GUID& iid, LPDIRECTSOUNDNOTIFY* out) override;

    HRESULT GetCurrentPosition(DWORD* capture, DWORD* read) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        // Every captured byte is readable at once: read = capture.
        if (capture) *capture = pos_;
        if (read) *read = pos_;
        return DS_OK;
    }
    HRESULT GetFormat(WAVEFORMATEX* f, DWORD size, DWORD* written) override {
        if (Gone()) return DSERR_INVALIDCALL;
        if (!f) {
            if (!written) return DSERR_INVALIDPARAM;
            *written = sizeof wfx_;
            return DS_OK;
        }
        if (size < sizeof wfx_) return DSERR_INVALIDPARAM;
        *f = wfx_;
        if (written) *written = sizeof wfx_;
        return DS_OK;
    }
    HRESULT GetStatus(DWORD* status) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!status) return DSERR_INVALIDPARAM;
        *status =
            (started_ ? DSCBSTATUS_CAPTURING : 0) | (started_ && looping_ ? DSCBSTATUS_LOOPING : 0);
        return DS_OK;
    }
    HRESULT Lock(DWORD offset, DWORD bytes, void** p1, DWORD* n1, void** p2, DWORD* n2,
                 DWORD) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!p1 || !n1 || bytes == 0 || bytes > Size() || offset >= Size())
            return DSERR_INVALIDPARAM;
        lockN1_ = std::min(bytes, Size() - offset);
        lockN2_ = bytes - lockN1_;
        if (lockN2_ && !p2) return DSERR_INVALIDPARAM;
        // A copy: the pump goes on writing the ring while the caller reads.
        std::memcpy(staging_.data(), ring_.data() + offset, lockN1_);
        if (lockN2_) std::memcpy(staging_.data() + lockN1_, ring_.data(), lockN2_);
        *p1 = staging_.data();
        *n1 = lockN1_;
        if (p2) *p2 = lockN2_ ? staging_.data() + lockN1_ : nullptr;
        if (n2) *n2 = lockN2_;
        locked_ = true;
        return DS_OK;
    }
    HRESULT Unlock(void* p1, DWORD n1, void* p2, DWORD n2) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!locked_ || p1 != staging_.data() || n1 > lockN1_ ||
            (n2 > 0 && (p2 != staging_.data() + lockN1_ || n2 > lockN2_)))
            return DSERR_INVALIDPARAM;
        locked_ = false;
        return DS_OK;
    }
    HRESULT Start(DWORD flags) override {
        if (Gone()) return DSERR_INVALIDCALL;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::CaptureStart)) return hr;
        std::lock_guard lock(mu_);
        if (failed_) return DSERR_NODRIVER;
        looping_ = (flags & DSCBSTART_LOOPING) != 0;
        started_ = true;
        return DS_OK;
    }
    HRESULT Stop() override {
        {
            std::lock_guard lock(mu_);
            if (Gone()) return DSERR_INVALIDCALL;
            if (started_) StopLocked();
        }
        SetFired();
        return DS_OK;
    }
    HRESULT Release() override {
        released_ = true;
        started_ = false;
        return DS_OK;
    }

    void Fail() override {
        {
            std::lock_guard lock(mu_);
            failed_ = true;
            if (started_) StopLocked();
        }
        SetFired();
    }

    HRESULT SetPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) {
        if (Gone()) return DSERR_INVALIDCALL;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::SetNotificationPositions))
            return hr;
        if (count > 0 && !positions) return DSERR_INVALIDPARAM;
        std::lock_guard lock(mu_);
        if (started_) return DSERR_INVALIDCALL;
        for (DWORD i = 0; i < count; ++i)
            if ((positions[i].dwOffset != DSBPN_OFFSETSTOP && positions[i].dwOffset >= Size()) ||
                positions[i].hEventNotify == 0)
                return DSERR_INVALIDPARAM;
        notify_.assign(positions, positions + count);
        fired_.reserve(notify_.size() * 2 + 1);
        return DS_OK;
    }

    bool Gone() const { return released_.load() || core_->released.load(); }

private:
    void StopLocked() {
        started_ = false;
        for (const auto& p : notify_)
            if (p.dwOffset == DSBPN_OFFSETSTOP) fired_.push_back(p.hEventNotify);
    }

    // Events are set after the data is in place and with no lock held.
    void SetFired() {
        std::vector<HANDLE> events;
        {
            std::lock_guard lock(mu_);
            events.swap(fired_);
        }
        for (HANDLE h : events) SetEvent(h);
        events.clear();
        std::lock_guard lock(mu_);
        if (fired_.empty()) fired_.swap(events);  // keep the capacity
    }

    const std::shared_ptr<CaptureCore> core_;
    const MixFormat format_;
    const DWORD align_;
    WAVEFORMATEX wfx_{};
    std::atomic<bool> released_{false};
    std::atomic<bool> started_{false};
    std::mutex mu_;
    bool looping_ = false;
    bool failed_ = false;  // the device behind it failed: no more starts
    std::vector<std::uint8_t> ring_;
    std::vector<std::uint8_t> staging_;
    bool locked_ = false;
    DWORD lockN1_ = 0, lockN2_ = 0;
    DWORD pos_ = 0;  // capture position [bytes]
    std::vector<DSBPOSITIONNOTIFY> notify_;
    std::vector<HANDLE> fired_;
};

class CaptureNotify final : public IDirectSoundNotify {
public:
    explicit CaptureNotify(std::weak_ptr<CaptureBuffer> buffer) : buffer_(std::move(buffer)) {}
    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override {
        auto b = buffer_.lock();
        if (!b || released_) return DSERR_INVALIDCALL;
        return b->SetPositions(count, positions);
    }
    HRESULT Release() override {
        released_ = true;
        return DS_OK;
    }

private:
    std::weak_ptr<CaptureBuffer> buffer_;
    std::atomic<bool> released_{false};
};

HRESULT CaptureBuffer::QueryInterface(const GUID& iid, LPDIRECTSOUNDNOTIFY* out) {
    if (!out) return DSERR_INVALIDPARAM;
    out->reset();
    if (Gone()) return DSERR_INVALIDCALL;
    if (!(iid == IID_IDirectSoundNotify)) return E_NOINTERFACE;
    *out = std::make_shared<CaptureNotify>(weak_from_this());
    return DS_OK;
}

class CaptureImpl final : public IDirectSoundCapture {
public:
    explicit CaptureImpl(std::shared_ptr<InputEndpoint> endpoint)
        : core_(std::make_shared<CaptureCore>()) {
        core_->endpoint = std::move(endpoint);
        core_->endpoint->Open();
    }
    ~CaptureImpl() override { Release(); }

    HRESULT CreateCaptureBuffer(const DSCBUFFERDESC* desc, LPDIRECTSOUNDCAPTUREBUFFER* out,
                                void* outer) override {
        if (core_->released) return DSERR_INVALIDCALL;
        if (!out) return DSERR_INVALIDPARAM;
        out->reset();
        if (outer) return DSERR_NOAGGREGATION;
        if (!desc ||
            (desc->dwSize != kDsCaptureBufferDescSize && desc->dwSize != sizeof(DSCBUFFERDESC)))
            return DSERR_INVALIDPARAM;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::CreateCaptureBuffer)) return hr;
        if (haveBuffer_) return DSERR_INVALIDCALL;  // one buffer per capture object
        MixFormat m;
        if (!desc->lpwfxFormat) return DSERR_INVALIDPARAM;
        if (!vsnd::detail::ParsePcmFormat(desc->lpwfxFormat, &m)) return DSERR_BADFORMAT;
        const DWORD bytes = desc->dwBufferBytes - desc->dwBufferBytes % (m.channels * 2);
        if (bytes == 0 || bytes > kMaxSoundBufferBytes) return DSERR_INVALIDPARAM;
        auto buffer = std::make_shared<CaptureBuffer>(core_, desc->lpwfxFormat, m, bytes);
        switch (core_->endpoint->Attach(buffer)) {
        case vsnd::Device::Start::Ok: break;
        case vsnd::Device::Start::Busy: return DSERR_ALLOCATED;
        case vsnd::Device::Start::BadFormat: return DSERR_BADFORMAT;
        case vsnd::Device::Start::Missing: return DSERR_NODRIVER;
        }
        haveBuffer_ = true;
        *out = buffer;
        return DS_OK;
    }

    HRESULT Release() override {
        if (!core_->released.exchange(true)) {
            core_->endpoint->Give();
            core_->endpoint->Close();
        }
        return DS_OK;
    }

private:
    std::shared_ptr<CaptureCore> core_;
    std::atomic<bool> haveBuffer_{false};
};

}  // namespace

HRESULT DirectSoundCaptureCreate8(const GUID* device, LPDIRECTSOUNDCAPTURE8* capture, void* outer) {
    if (!capture) return DSERR_INVALIDPARAM;
    capture->reset();
    if (outer) return DSERR_NOAGGREGATION;
    auto endpoint = vsnd::detail::FindCapture(device);
    if (!endpoint) return DSERR_NODRIVER;
    if (const HRESULT hr = endpoint->TakeFault(Fault::CaptureCreate)) return hr;
    if (!endpoint->Take()) return DSERR_ALLOCATED;
    *capture = std::make_shared<CaptureImpl>(std::move(endpoint));
    return DS_OK;
}

}  // namespace plat
