// The ALSA back end: the machine's sound devices as endpoints of the virtual
// sound system (hcyplat/virtual_sound.h, "The seam for a real sound card").
//
//   output endpoint --RenderOutput--> playback thread --snd_pcm_writei--> PCM
//   PCM --snd_pcm_readi--> capture thread --CaptureInput--> input endpoint
//
// Devices are the PCMs that ALSA's name hints list, "default" (the system's
// default card) first; raw "hw:" PCMs convert no format and are left out.
// An endpoint's GUID is a hash of its direction and PCM name: the same on
// every run. An open device has a thread of its own, at time-critical
// priority as a sound driver's, that moves 10 ms periods through a 50 ms
// device buffer in non-blocking mode: every wait is bounded, a device that
// stops taking or giving frames for a second counts as failed, and a failed
// device is reported through FailEndpoint, so nothing waits on it for ever.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "hcyplat/report.h"
#include "hcyplat/thread.h"
#include "hcyplat/thread_boundary.h"
#include "hcyplat/virtual_sound.h"
#include "sound/vsnd_internal.h"

namespace plat::vsnd {
namespace {

constexpr DWORD kOutputRate = 48000;  // mix rate of an output [Hz]
constexpr unsigned kOutputChannels = 2;
constexpr unsigned kLatencyUs = 50000;    // device buffer [us]
constexpr DWORD kPeriodsPerSecond = 100;  // 10 ms periods
constexpr int kWaitMs = 100;              // longest single wait on the device [ms]
constexpr int kStallMs = 1000;            // no frames moved this long: the device failed [ms]
// Devices without a clock of their own (ALSA's null and file PCMs take and
// give frames at once) are paced by the system's clock, with this much
// leeway so that a real card's own clock always leads [1/1000].
constexpr std::uint64_t kClockLeewayPerMille = 1020;
constexpr int kOutputLeadMs = 40;  // write cursor lead: a period and the scheduling

void Quiet(const char*, int, const char*, int, const char*, ...) {}

GUID GuidOf(bool capture, const std::string& name) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the direction and the name
    for (char c : std::string(capture ? "alsa in " : "alsa out ") + name)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    GUID g{0x414C5341u,
           static_cast<unsigned short>(capture ? 2 : 1),
           static_cast<unsigned short>(h >> 48),
           {}};
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<unsigned char>(h >> (8 * i));
    return g;
}

class AlsaDevice final : public Device {
public:
    AlsaDevice(std::string pcm, bool capture) : name_(std::move(pcm)), capture_(capture) {}
    ~AlsaDevice() override { Close(); }

    Start Open(const GUID& endpoint, const MixFormat& format) override {
        Close();
        snd_pcm_t* pcm = nullptr;
        int err = snd_pcm_open(&pcm, name_.c_str(),
                               capture_ ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK,
                               SND_PCM_NONBLOCK);
        if (err < 0) return Refused(err, err == -EBUSY ? Start::Busy : Start::Missing);
        err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                                 format.channels, format.rate, 1, kLatencyUs);
        if (err < 0) {
            snd_pcm_close(pcm);
            return Refused(err, err == -EINVAL ? Start::BadFormat : Start::Missing);
        }
        // A capture stream runs from now; a playback one once it has frames.
        if (capture_ && (err = snd_pcm_start(pcm)) < 0) {
            snd_pcm_close(pcm);
            return Refused(err, Start::Missing);
        }
        pcm_ = pcm;
        endpoint_ = endpoint;
        format_ = format;
        stop_ = false;
        if (!thread_.Start([this] { Run(); }, capture_ ? "hcy-alsa-in" : "hcy-alsa-out")) {
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
            return Start::Missing;
        }
        thread_.SetPriority(THREAD_PRIORITY_TIME_CRITICAL);
        return Start::Ok;
    }

    void Close() override {
        stop_ = true;
        thread_.Join();
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }

private:
    using Clock = std::chrono::steady_clock;

    // ALSA's reason, for the opener's message and the host's reports.
    Start Refused(int err, Start result) {
        SetOpenFailure("Sound device '" + name_ + "': " + snd_strerror(err));
        Report("sound device '%s' did not open: %s", name_.c_str(), snd_strerror(err));
        return result;
    }

    void Run() {
        const std::size_t period = format_.rate / kPeriodsPerSecond;
        std::vector<std::int16_t> frames(period * format_.channels);
        const auto start = Clock::now();
        const std::uint64_t ahead =
            capture_ ? 0 : std::uint64_t{format_.rate} * kLatencyUs / 1000000;
        std::uint64_t moved = 0;  // frames played or captured
        auto progress = start;    // when frames last moved
        while (!stop_) {
            if (Clock::now() - progress > std::chrono::milliseconds(kStallMs)) {
                Failed(capture_ ? "gives no frames" : "takes no frames");
                return;
            }
            const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
            if (avail < 0) {
                if (!Recover(static_cast<int>(avail))) return;
                continue;
            }
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            const auto allowed =
                static_cast<std::uint64_t>(elapsed * format_.rate * kClockLeewayPerMille / 1000) +
                ahead;
            if (static_cast<std::size_t>(avail) < period) {
                const int ready = snd_pcm_wait(pcm_, kWaitMs);
                if (ready < 0 && !Recover(ready)) return;
                continue;
            }
            if (moved + period > allowed) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                progress = Clock::now();  // held back by the clock, not by the device
                continue;
            }
            snd_pcm_sframes_t done = 0;
            if (capture_) {
                done = snd_pcm_readi(pcm_, frames.data(), period);
                // A period whose delivery throws is lost; the next one goes on.
                if (done > 0)
                    ThreadBoundary(kSoundPump, [&] {
                        CaptureInput(endpoint_, frames.data(), static_cast<std::size_t>(done));
                    });
            } else {
                // A period whose mixing throws plays as silence.
                if (!ThreadBoundary(kSoundPump,
                                    [&] { RenderOutput(endpoint_, frames.data(), period); }))
                    std::fill(frames.begin(), frames.end(), std::int16_t{0});
                done = snd_pcm_writei(pcm_, frames.data(), period);
            }
            if (done == -EAGAIN) continue;
            if (done < 0) {
                if (!Recover(static_cast<int>(done))) return;
                continue;
            }
            moved += static_cast<std::uint64_t>(done);
            progress = Clock::now();
        }
    }

    // An underrun, overrun or suspend is recovered; anything else is the
    // end of the device.
    bool Recover(int err) {
        if (snd_pcm_recover(pcm_, err, 1) >= 0) return true;
        Failed(snd_strerror(err));
        return false;
    }

    void Failed(const char* what) {
        Report("sound device '%s' failed (%s); it stays silent", name_.c_str(), what);
        FailEndpoint(endpoint_);
    }

    const std::string name_;
    const bool capture_;
    snd_pcm_t* pcm_ = nullptr;  // owned; used by the thread while it runs
    GUID endpoint_{};
    MixFormat format_;
    std::atomic<bool> stop_{false};
    Thread thread_;
};

struct Pcm {
    std::string name, description;
    bool output = true, input = true;
};

std::string Hint(void* hint, const char* id) {
    char* v = snd_device_name_get_hint(hint, id);
    std::string out = v ? v : "";
    std::free(v);
    return out;
}

std::vector<Pcm> ListPcms() {
    std::vector<Pcm> out;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) return out;
    for (void** h = hints; *h; ++h) {
        Pcm p;
        p.name = Hint(*h, "NAME");
        if (p.name.empty() || p.name.rfind("hw:", 0) == 0) continue;
        const std::string desc = Hint(*h, "DESC");
        const std::string first = desc.substr(0, desc.find('\n'));
        p.description = first.empty() ? p.name : first + " [" + p.name + "]";
        const std::string io = Hint(*h, "IOID");
        p.output = io != "Input";
        p.input = io != "Output";
        if (p.name == "default")
            out.insert(out.begin(), p);
        else
            out.push_back(p);
    }
    snd_device_name_free_hint(hints);
    return out;
}

bool DefaultOpens() {
    snd_pcm_t* pcm = nullptr;
    if (const int err = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        err < 0) {
        Report("sound device 'default' did not open: %s; the virtual devices stand in",
               snd_strerror(err));
        return false;
    }
    snd_pcm_close(pcm);
    return true;
}

bool MakeEndpoints(bool needDefault) {
    snd_lib_error_set_handler(&Quiet);  // the layer reports what matters itself
    if (needDefault && !DefaultOpens()) return false;
    bool made = false;
    for (const Pcm& p : ListPcms()) {
        if (p.output) {
            const GUID g = GuidOf(false, p.name);
            OutputEndpointConfig c;
            c.description = p.description;
            c.format = MixFormat{kOutputRate, kOutputChannels};
            c.driver = Driver::External;
            c.device = std::make_shared<AlsaDevice>(p.name, false);
            c.writeLeadMs = kOutputLeadMs;
            c.guid = &g;
            made |= CreateOutputEndpoint(c).index >= 0;
        }
        if (p.input) {
            const GUID g = GuidOf(true, p.name);
            InputEndpointConfig c;
            c.description = p.description;
            c.driver = Driver::External;
            c.device = std::make_shared<AlsaDevice>(p.name, true);
            c.guid = &g;
            CreateInputEndpoint(c);
            made = true;
        }
    }
    return made;
}

const detail::Backend kAlsa{"alsa", &MakeEndpoints};
[[maybe_unused]] const bool g_registered = detail::RegisterBackend(&kAlsa);

}  // namespace
}  // namespace plat::vsnd
