// DirectSound output over the virtual sound system: the device object, the
// primary buffer (format and master volume) and streaming secondary buffers
// that the endpoint's mixer plays.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "hcyplat/dsound.h"
#include "vsnd_internal.h"

namespace plat {
namespace {

using vsnd::Fault;
using vsnd::MixFormat;
using vsnd::detail::OutputEndpoint;

constexpr std::int32_t kUnityQ16 = 65536;

std::int32_t ToQ16(double gain) { return static_cast<std::int32_t>(std::lround(gain * kUnityQ16)); }

// What the DirectSound object shares with its buffers: once released, every
// buffer call fails and nothing is mixed.
struct DsCore {
    std::shared_ptr<OutputEndpoint> endpoint;
    std::atomic<bool> released{false};
    std::mutex mu;  // the primary buffer
    std::weak_ptr<IDirectSoundBuffer> primary;
};

HRESULT CopyFormat(const WAVEFORMATEXTENSIBLE& stored, WAVEFORMATEX* format, DWORD size,
                   DWORD* written) {
    const DWORD need = stored.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE
                           ? sizeof(WAVEFORMATEXTENSIBLE)
                           : sizeof(WAVEFORMATEX);
    if (!format) {
        if (!written) return DSERR_INVALIDPARAM;
        *written = need;
        return DS_OK;
    }
    if (size < need) return DSERR_INVALIDPARAM;
    std::memcpy(static_cast<void*>(format), &stored, need);
    if (written) *written = need;
    return DS_OK;
}

void StoreFormat(const WAVEFORMATEX* f, WAVEFORMATEXTENSIBLE* out) {
    *out = WAVEFORMATEXTENSIBLE{};
    std::memcpy(static_cast<void*>(out), f,
                f->wFormatTag == WAVE_FORMAT_EXTENSIBLE ? sizeof *out : sizeof out->Format);
    if (f->wFormatTag != WAVE_FORMAT_EXTENSIBLE) out->Format.cbSize = 0;
}

// The primary buffer: its format is recorded, its volume scales the
// endpoint's mix. It is never locked or played by the library.
class PrimaryBuffer final : public IDirectSoundBuffer {
public:
    PrimaryBuffer(std::shared_ptr<DsCore> core, DWORD flags)
        : core_(std::move(core)), flags_(flags) {
        const MixFormat m = core_->endpoint->format;
        format_.Format = {WAVE_FORMAT_PCM,
                          static_cast<unsigned short>(m.channels),
                          m.rate,
                          m.rate * m.channels * 2,
                          static_cast<unsigned short>(m.channels * 2),
                          16,
                          0};
    }

    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
        if (Gone()) return DSERR_INVALIDCALL;
        if (play) *play = 0;
        if (write) *write = 0;
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD) override { return DSERR_INVALIDCALL; }
    HRESULT GetFormat(WAVEFORMATEX* f, DWORD size, DWORD* written) override {
        if (Gone()) return DSERR_INVALIDCALL;
        std::lock_guard lock(mu_);
        return CopyFormat(format_, f, size, written);
    }
    HRESULT SetFormat(const WAVEFORMATEX* f) override {
        if (Gone()) return DSERR_INVALIDCALL;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::SetFormat)) return hr;
        if (!f) return DSERR_INVALIDPARAM;
        if (!vsnd::detail::ParsePcmFormat(f, nullptr)) return DSERR_BADFORMAT;
        std::lock_guard lock(mu_);
        StoreFormat(f, &format_);
        return DS_OK;
    }
    HRESULT GetStatus(DWORD* status) override {
        if (Gone()) return DSERR_INVALIDCALL;
        if (!status) return DSERR_INVALIDPARAM;
        *status = DSBSTATUS_PLAYING | DSBSTATUS_LOOPING;  // the mix always runs
        return DS_OK;
    }
    // Writing the primary buffer needs DSSCL_WRITEPRIMARY, which the layer
    // does not offer.
    HRESULT Lock(DWORD, DWORD, void**, DWORD*, void**, DWORD*, DWORD) override {
        return Gone() ? DSERR_INVALIDCALL : DSERR_PRIOLEVELNEEDED;
    }
    HRESULT Unlock(void*, DWORD, void*, DWORD) override {
        return Gone() ? DSERR_INVALIDCALL : DSERR_INVALIDPARAM;
    }
    HRESULT Play(DWORD, DWORD, DWORD) override { return Gone() ? DSERR_INVALIDCALL : DS_OK; }
    HRESULT Stop() override { return Gone() ? DSERR_INVALIDCALL : DS_OK; }
    HRESULT Restore() override { return Gone() ? DSERR_INVALIDCALL : DS_OK; }
    HRESULT SetVolume(long v) override {
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        volume_ = v;
        core_->endpoint->masterQ16 = ToQ16(vsnd::detail::VolumeToAmplitude(v));
        return DS_OK;
    }
    HRESULT GetVolume(long* v) override {
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (!v) return DSERR_INVALIDPARAM;
        *v = volume_;
        return DS_OK;
    }
    HRESULT SetPan(long) override { return Gone() ? DSERR_INVALIDCALL : DSERR_CONTROLUNAVAIL; }
    HRESULT GetPan(long*) override { return Gone() ? DSERR_INVALIDCALL : DSERR_CONTROLUNAVAIL; }
    HRESULT SetFrequency(DWORD) override {
        return Gone() ? DSERR_INVALIDCALL : DSERR_CONTROLUNAVAIL;
    }
    HRESULT GetFrequency(DWORD*) override {
        return Gone() ? DSERR_INVALIDCALL : DSERR_CONTROLUNAVAIL;
    }
    HRESULT Release() override {
        released_ = true;
        return DS_OK;
    }

private:
    bool Gone() const { return released_ || core_->released; }

    std::shared_ptr<DsCore> core_;
    const DWORD flags_;
    std::atomic<bool> released_{false};
    std::atomic<long> volume_{0};
    std::mutex mu_;
    WAVEFORMATEXTENSIBLE format_{};
};

class SecondaryBuffer final : public IDirectSoundBuffer, public vsnd::detail::MixedBuffer {
public:
    SecondaryBuffer(std::shared_ptr<DsCore> core, DWORD flags, const WAVEFORMATEX* f,
                    const MixFormat& m, DWORD bytes)
        : core_(std::move(core)),
          flags_(flags),
          channels_(m.channels),
          align_(m.channels * 2),
          frames_(bytes / (m.channels * 2)),
          original_(m.rate),
          data_(static_cast<std::size_t>(frames_) * m.channels, 0),
          staging_(static_cast<std::size_t>(frames_) * align_),
          frequency_(m.rate) {
        StoreFormat(f, &format_);
        UpdateGains();
    }

    DWORD Size() const { return frames_ * align_; }

    // --- IDirectSoundBuffer
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        DWORD pos = 0, phase = 0;
        PositionNow(&pos, &phase);  // one clock reading for both cursors
        if (play) *play = pos * align_;
        if (write) *write = WriteFrameFrom(pos) * align_;
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD play) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (play >= Size()) return DSERR_INVALIDPARAM;
        pos_ = play / align_;
        phase_ = 0;
        mixedTo_ = core_->endpoint->FrameNow();
        return DS_OK;
    }
    HRESULT GetFormat(WAVEFORMATEX* f, DWORD size, DWORD* written) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        return CopyFormat(format_, f, size, written);
    }
    HRESULT SetFormat(const WAVEFORMATEX*) override { return DSERR_INVALIDCALL; }  // primary only
    HRESULT GetStatus(DWORD* status) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!status) return DSERR_INVALIDPARAM;
        *status = (playing_ ? DSBSTATUS_PLAYING : 0) |
                  (playing_ && looping_ ? DSBSTATUS_LOOPING : 0) |
                  (lost_ ? DSBSTATUS_BUFFERLOST : 0);
        return DS_OK;
    }
    HRESULT Lock(DWORD offset, DWORD bytes, void** p1, DWORD* n1, void** p2, DWORD* n2,
                 DWORD flags) override {
        if (Detached()) return DSERR_INVALIDCALL;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::Lock)) return hr;
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (lost_) return DSERR_BUFFERLOST;
        if (!p1 || !n1) return DSERR_INVALIDPARAM;
        if (flags & DSBLOCK_FROMWRITECURSOR) offset = WriteFrame() * align_;
        if (flags & DSBLOCK_ENTIREBUFFER) bytes = Size();
        if (bytes == 0 || bytes > Size() || offset >= Size()) return DSERR_INVALIDPARAM;
        locked_ = false;  // an earlier lock never unlocked is discarded
        lockOffset_ = offset;
        lockN1_ = std::min(bytes, Size() - offset);
        lockN2_ = bytes - lockN1_;
        // The staging copy starts with the current contents.
        const auto* raw = reinterpret_cast<const std::uint8_t*>(data_.data());
        std::memcpy(staging_.data(), raw + offset, lockN1_);
        if (lockN2_) std::memcpy(staging_.data() + lockN1_, raw, lockN2_);
        *p1 = staging_.data();
        *n1 = lockN1_;
        if (p2) *p2 = lockN2_ ? staging_.data() + lockN1_ : nullptr;
        if (n2) *n2 = lockN2_;
        if (lockN2_ && !p2) return DSERR_INVALIDPARAM;
        locked_ = true;
        return DS_OK;
    }
    HRESULT Unlock(void* p1, DWORD n1, void* p2, DWORD n2) override {
        if (Detached()) return DSERR_INVALIDCALL;
        const HRESULT fault = core_->endpoint->TakeFault(Fault::Unlock);
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!locked_ || p1 != staging_.data() || n1 > lockN1_ ||
            (n2 > 0 && (p2 != staging_.data() + lockN1_ || n2 > lockN2_)))
            return DSERR_INVALIDPARAM;
        locked_ = false;
        if (fault) return fault;
        if (lost_) return DSERR_BUFFERLOST;  // lost while locked: nothing lands
        auto* raw = reinterpret_cast<std::uint8_t*>(data_.data());
        std::memcpy(raw + lockOffset_, staging_.data(), n1);
        if (n2) std::memcpy(raw, staging_.data() + lockN1_, n2);
        return DS_OK;
    }
    HRESULT Play(DWORD, DWORD, DWORD flags) override {
        if (Detached()) return DSERR_INVALIDCALL;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::Play)) return hr;
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (lost_) return DSERR_BUFFERLOST;
        // Heard from this moment on, also between two pump steps.
        if (!playing_) mixedTo_ = core_->endpoint->FrameNow();
        playing_ = true;
        looping_ = (flags & DSBPLAY_LOOPING) != 0;
        return DS_OK;
    }
    HRESULT Stop() override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        // The position stays where the cursor is now (the frames played
        // since the last pump step are not mixed any more).
        if (playing_) PositionNow(&pos_, &phase_);
        playing_ = false;
        return DS_OK;
    }
    HRESULT Restore() override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (core_->endpoint->Failed()) return DSERR_BUFFERLOST;  // its device is gone
        if (lost_) {
            std::fill(data_.begin(), data_.end(), std::int16_t{0});
            lost_ = false;
            playing_ = false;
        }
        return DS_OK;
    }
    HRESULT SetVolume(long v) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        volume_ = v;
        UpdateGains();
        return DS_OK;
    }
    HRESULT GetVolume(long* v) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (!v) return DSERR_INVALIDPARAM;
        *v = volume_;
        return DS_OK;
    }
    HRESULT SetPan(long p) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
        if (p < DSBPAN_LEFT || p > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
        pan_ = p;
        UpdateGains();
        return DS_OK;
    }
    HRESULT GetPan(long* p) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
        if (!p) return DSERR_INVALIDPARAM;
        *p = pan_;
        return DS_OK;
    }
    HRESULT SetFrequency(DWORD hz) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
        if (hz == DSBFREQUENCY_ORIGINAL) hz = original_;
        if (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
        frequency_ = hz;
        return DS_OK;
    }
    HRESULT GetFrequency(DWORD* hz) override {
        std::lock_guard lock(mu_);
        if (Gone()) return DSERR_INVALIDCALL;
        if (!(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
        if (!hz) return DSERR_INVALIDPARAM;
        *hz = frequency_;
        return DS_OK;
    }
    HRESULT Release() override {
        std::lock_guard lock(mu_);
        released_ = true;
        playing_ = false;
        return DS_OK;
    }

    // --- MixedBuffer
    bool Detached() const override { return released_.load() || core_->released.load(); }

    void Lose() override {
        std::lock_guard lock(mu_);
        lost_ = true;
        playing_ = false;
    }

    void MixInto(std::int32_t* acc, std::size_t frames, const MixFormat& mix,
                 std::int32_t masterQ16, std::uint64_t firstFrame) override {
        std::lock_guard lock(mu_);
        if (!playing_ || lost_ || Gone()) return;
        // A buffer started after the first of these frames is silent until
        // its start.
        const std::size_t from =
            mixedTo_ > firstFrame
                ? static_cast<std::size_t>(std::min<std::uint64_t>(mixedTo_ - firstFrame, frames))
                : 0;
        mixedTo_ = firstFrame + frames;
        // Per mix channel: the buffer channel it takes (-1: none) and its gain.
        const unsigned mc = mix.channels;
        std::int32_t srcOf[32];
        std::int64_t gain[32];
        const auto scaled = [&](double g) {
            return static_cast<std::int64_t>(std::lround(g * masterQ16));
        };
        for (unsigned c = 0; c < mc; ++c) {
            srcOf[c] = channels_ == 1 ? 0 : (c < channels_ ? static_cast<std::int32_t>(c) : -1);
            const bool panned = channels_ <= 2 && mc >= 2 && c < 2;
            gain[c] = scaled(panned ? (c == 0 ? gainLeft_ : gainRight_) : gainVolume_);
        }
        const DWORD rate = mix.rate;
        for (std::size_t i = from; i < frames; ++i) {
            const std::int16_t* a = &data_[static_cast<std::size_t>(pos_) * channels_];
            std::int32_t* out = acc + i * mc;
            if (phase_ == 0) {
                for (unsigned c = 0; c < mc; ++c)
                    if (srcOf[c] >= 0)
                        out[c] += static_cast<std::int32_t>((a[srcOf[c]] * gain[c]) >> 16);
            } else {
                // Linear interpolation towards the next frame.
                DWORD next = pos_ + 1;
                if (next == frames_) next = looping_ ? 0 : pos_;
                const std::int16_t* b = &data_[static_cast<std::size_t>(next) * channels_];
                for (unsigned c = 0; c < mc; ++c) {
                    if (srcOf[c] < 0) continue;
                    const std::int64_t s0 = a[srcOf[c]], s1 = b[srcOf[c]];
                    const std::int64_t v = s0 + (s1 - s0) * phase_ / rate;
                    out[c] += static_cast<std::int32_t>((v * gain[c]) >> 16);
                }
            }
            phase_ += frequency_;
            while (phase_ >= rate) {
                phase_ -= rate;
                if (++pos_ == frames_) {
                    pos_ = 0;
                    if (!looping_) {
                        // A one-shot ends: stopped, back at the start.
                        playing_ = false;
                        phase_ = 0;
                        return;
                    }
                }
            }
        }
    }

private:
    bool Gone() const { return Detached(); }

    // The play position now [frames] and its phase [1/mix rate]: where the
    // mixer left it, moved on by the frames that played since. Under mu_.
    void PositionNow(DWORD* pos, DWORD* phase) const {
        *pos = pos_;
        *phase = phase_;
        const std::uint64_t now = core_->endpoint->FrameNow();
        if (!playing_ || now <= mixedTo_) return;
        const std::uint64_t rate = core_->endpoint->format.rate;
        const std::uint64_t steps = phase_ + (now - mixedTo_) * frequency_;
        std::uint64_t p = pos_ + steps / rate;
        *phase = static_cast<DWORD>(steps % rate);
        if (p >= frames_) {
            if (looping_) {
                p %= frames_;
            } else {
                p = 0;  // a one-shot that reached its end
                *phase = 0;
            }
        }
        *pos = static_cast<DWORD>(p);
    }

    DWORD WriteFrame() const {
        DWORD pos = 0, phase = 0;
        PositionNow(&pos, &phase);
        return WriteFrameFrom(pos);
    }

    // The write cursor [frames] for play position `pos`: the device's lead
    // ahead of it while playing.
    DWORD WriteFrameFrom(DWORD pos) const {
        if (!playing_) return pos;
        const DWORD lead = static_cast<DWORD>(
            static_cast<std::uint64_t>(core_->endpoint->LeadMs()) * frequency_ / 1000);
        return static_cast<DWORD>((static_cast<std::uint64_t>(pos) + lead) % frames_);
    }

    void UpdateGains() {
        const double v = vsnd::detail::VolumeToAmplitude(volume_);
        // Pan attenuates the far side by |pan| hundredths of dB.
        const double left = pan_ > 0 ? vsnd::detail::VolumeToAmplitude(-pan_) : 1.0;
        const double right = pan_ < 0 ? vsnd::detail::VolumeToAmplitude(pan_) : 1.0;
        gainVolume_ = v;
        gainLeft_ = v * left;
        gainRight_ = v * right;
    }

    const std::shared_ptr<DsCore> core_;
    const DWORD flags_;
    const unsigned channels_;
    const DWORD align_;   // [bytes per frame]
    const DWORD frames_;  // buffer length [frames]
    const DWORD original_;
    WAVEFORMATEXTENSIBLE format_{};

    mutable std::mutex mu_;
    std::atomic<bool> released_{false};
    std::vector<std::int16_t> data_;
    std::vector<std::uint8_t> staging_;
    bool locked_ = false;
    DWORD lockOffset_ = 0, lockN1_ = 0, lockN2_ = 0;
    DWORD frequency_;
    long volume_ = 0, pan_ = 0;
    double gainVolume_ = 1.0, gainLeft_ = 1.0, gainRight_ = 1.0;
    bool playing_ = false, looping_ = false, lost_ = false;
    DWORD pos_ = 0;              // play position where the mixer left it [frames]
    DWORD phase_ = 0;            // fraction of a frame [1/mix rate]
    std::uint64_t mixedTo_ = 0;  // the endpoint's frame index pos_ stands at
};

class DirectSoundImpl final : public IDirectSound {
public:
    // Takes an endpoint that was opened for it.
    explicit DirectSoundImpl(std::shared_ptr<OutputEndpoint> endpoint)
        : core_(std::make_shared<DsCore>()) {
        core_->endpoint = std::move(endpoint);
    }
    ~DirectSoundImpl() override { Release(); }

    HRESULT SetCooperativeLevel(HWND, DWORD level) override {
        if (core_->released) return DSERR_INVALIDCALL;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::SetCooperativeLevel)) return hr;
        return level >= DSSCL_NORMAL && level <= DSSCL_WRITEPRIMARY ? DS_OK : DSERR_INVALIDPARAM;
    }

    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, LPDIRECTSOUNDBUFFER* out,
                              void* outer) override {
        if (core_->released) return DSERR_INVALIDCALL;
        if (!out) return DSERR_INVALIDPARAM;
        out->reset();
        if (outer) return DSERR_NOAGGREGATION;
        if (!desc || (desc->dwSize != kDsBufferDescSize && desc->dwSize != sizeof(DSBUFFERDESC)))
            return DSERR_INVALIDPARAM;
        if (const HRESULT hr = core_->endpoint->TakeFault(Fault::CreateSoundBuffer)) return hr;
        if (core_->endpoint->Failed()) return DSERR_NODRIVER;
        if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
            if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
            std::lock_guard lock(core_->mu);
            auto primary = core_->primary.lock();
            if (!primary) {
                primary = std::make_shared<PrimaryBuffer>(core_, desc->dwFlags);
                core_->primary = primary;
            }
            *out = primary;
            return DS_OK;
        }
        MixFormat m;
        if (!desc->lpwfxFormat) return DSERR_INVALIDPARAM;
        if (!vsnd::detail::ParsePcmFormat(desc->lpwfxFormat, &m)) return DSERR_BADFORMAT;
        const DWORD bytes = desc->dwBufferBytes - desc->dwBufferBytes % (m.channels * 2);
        if (desc->dwBufferBytes < DSBSIZE_MIN || bytes == 0 || bytes > kMaxSoundBufferBytes)
            return DSERR_INVALIDPARAM;
        auto buffer =
            std::make_shared<SecondaryBuffer>(core_, desc->dwFlags, desc->lpwfxFormat, m, bytes);
        if (!core_->endpoint->AddBuffer(buffer)) return DSERR_NODRIVER;
        *out = buffer;
        return DS_OK;
    }

    HRESULT Release() override {
        if (!core_->released.exchange(true)) core_->endpoint->Close();
        return DS_OK;
    }

private:
    std::shared_ptr<DsCore> core_;
};

}  // namespace

HRESULT DirectSoundCreate(const GUID* device, LPDIRECTSOUND* ds, void* outer) {
    if (!ds) return DSERR_INVALIDPARAM;
    ds->reset();
    if (outer) return DSERR_NOAGGREGATION;
    auto endpoint = vsnd::detail::FindOutput(device);
    if (!endpoint) return DSERR_NODRIVER;
    if (const HRESULT hr = endpoint->TakeFault(Fault::DirectSoundCreate)) return hr;
    switch (endpoint->Open()) {
    case vsnd::Device::Start::Ok: break;
    case vsnd::Device::Start::Busy: return DSERR_ALLOCATED;
    case vsnd::Device::Start::BadFormat: return DSERR_BADFORMAT;
    case vsnd::Device::Start::Missing: return DSERR_NODRIVER;
    }
    *ds = std::make_shared<DirectSoundImpl>(std::move(endpoint));
    return DS_OK;
}

}  // namespace plat
