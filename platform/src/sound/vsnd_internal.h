#pragma once
// Inside the virtual sound system: endpoints, their pumping, the registry
// behind enumeration, and the format checks shared by the three front ends.
//
// Lock order: registry -> endpoint pump order (pumpMu) -> endpoint (mu) ->
// buffer / wave input / capture buffer. Callbacks, event sets and timer
// kills happen with none of them held, except pumpMu, which a pump step
// holds around its whole run (sink writes and wave-in callbacks included).
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hcyplat/mmsystem.h"
#include "hcyplat/sound_devices.h"
#include "hcyplat/virtual_sound.h"

namespace plat::vsnd::detail {

struct FaultPlan {
    std::array<std::int32_t, kFaultCount> code{};
    std::array<int, kFaultCount> count{};  // < 0: always
    // The injected code for this call (consumed), or 0.
    std::int32_t Take(Fault call);
};

// A secondary buffer as the mixer sees it.
class MixedBuffer {
public:
    virtual ~MixedBuffer() = default;
    // Adds `frames` frames into acc (mix.channels interleaved int32 sums) and
    // advances the cursors. firstFrame: the endpoint's index of the first of
    // them (see OutputEndpoint::FrameNow). masterQ16: the primary volume
    // [1/65536].
    virtual void MixInto(std::int32_t* acc, std::size_t frames, const MixFormat& mix,
                         std::int32_t masterQ16, std::uint64_t firstFrame) = 0;
    virtual void Lose() = 0;
    virtual bool Detached() const = 0;  // released: leaves the mix for good
};

// The user of an input endpoint: a wave input or a capture buffer.
class InputClient {
public:
    virtual ~InputClient() = default;
    virtual MixFormat Format() const = 0;
    virtual bool Started() const = 0;
    // Frames captured now, in Format(), in order; on the pumping thread.
    virtual void Deliver(const std::int16_t* samples, std::size_t frames) = 0;
    // Frames still to capture until the next thing the user waits for (a
    // queued header is full, a notification position is passed); 0: none.
    virtual std::size_t FramesToNextEvent() = 0;
    // The device behind the input failed: hand back what is queued, refuse
    // what comes (see FailEndpoint).
    virtual void Fail() = 0;
};

// Timing of a clock-driven endpoint: its frames are due at the endpoint's
// rate from the moment it opened (the epoch); each pump step runs every
// frame due since the last one, at a regular period, and an input also
// steps at the moment its user's next block or notification falls due.
class Endpoint : public std::enable_shared_from_this<Endpoint> {
public:
    Endpoint(const GUID& guid, std::string description, Driver driver, int pumpMs,
             std::shared_ptr<Device> device)
        : guid(guid),
          description(std::move(description)),
          driver(driver),
          device(std::move(device)),
          pumpMs_(pumpMs) {}
    virtual ~Endpoint() = default;

    const GUID guid;
    const std::string description;
    const Driver driver;
    const std::shared_ptr<Device> device;  // a real sound card, or null

    std::mutex mu;  // faults and what the subclasses say
    FaultPlan faults;

    std::int32_t TakeFault(Fault call);

    // Open count: the clock pumps while it is above 0. The first open of an
    // output starts its device; anything but Ok leaves it closed.
    Device::Start Open();
    void Close();
    bool IsOpen();

    // The device failed (FailEndpoint); until the next start of it.
    virtual void Fail() = 0;
    bool Failed() const { return failed_.load(); }

    // One pump step at clock time nowUs [us]: runs every frame due since
    // the epoch; returns the clock time of the next step.
    std::uint64_t Step(std::uint64_t nowUs);
    // Restarts the frame count at the current time.
    void ResetClock();

    // When the first frame that the current sink (output) or source (input)
    // got was due [us on the platform clock]; false before that.
    virtual bool StreamStart(std::uint64_t* us) = 0;

protected:
    virtual DWORD ClockRate() = 0;  // [Hz]; 0: nothing due
    // Runs the clock frames first .. first + frames - 1, the first of them
    // due at firstUs. Under pumpMu.
    virtual void RunFrames(std::size_t frames, std::uint64_t first, std::uint64_t firstUs) = 0;
    virtual std::size_t FramesToNextEvent() { return 0; }
    // Device start and stop at the first open and the last close; under
    // openMu.
    virtual Device::Start StartDevice() { return Device::Start::Ok; }
    virtual void StopDevice() {}
    std::mutex openMu;  // open count, timer and device; never taken by a step
    std::atomic<bool> failed_{false};
    // Clock time [us] at which clock frame n is due.
    std::uint64_t TimeOfFrame(std::uint64_t n, DWORD rate) const;
    // Clock frames due now (0 while not clock-driven). Any thread, no lock.
    std::uint64_t ClockFramesNow(DWORD rate) const;
    std::uint64_t FramesDone() const { return framesDone_; }  // under pumpMu

private:
    // Sets the epoch to nowUs; returns the time of the first regular step.
    std::uint64_t ResetClockAt(std::uint64_t nowUs);

public:
    std::recursive_mutex pumpMu;  // one pump step at a time, in order

private:
    const int pumpMs_;  // configured period [ms]; 0: the clock's default
    int openCount_ = 0;
    UINT timer_ = 0;
    std::atomic<bool> clocked_{false};       // the clock pumps it now
    std::atomic<std::uint64_t> epochUs_{0};  // clock time of clock frame 0 [us]
    // Under pumpMu:
    std::uint64_t framesDone_ = 0;  // clock frames run since the epoch
    std::uint64_t periodUs_ = 0;    // regular step period [us]
    std::uint64_t nextStepUs_ = 0;  // the next regular step [us]
};

class OutputEndpoint final : public Endpoint {
public:
    OutputEndpoint(const GUID& guid, std::string description, Driver driver, int pumpMs,
                   std::shared_ptr<Device> device, MixFormat format, int writeLeadMs,
                   std::shared_ptr<Sink> sink);

    const MixFormat format;
    const int writeLeadMs;  // -1: automatic

    // Write cursor lead [ms] that applies now.
    DWORD LeadMs() const;
    // False once the device failed: the buffer is not mixed.
    bool AddBuffer(std::weak_ptr<MixedBuffer> buffer);
    void SetSink(std::shared_ptr<Sink> sink);
    std::shared_ptr<Sink> GetSink();
    void LoseAll();
    bool StreamStart(std::uint64_t* us) override;
    void Fail() override;

    std::atomic<std::int32_t> masterQ16{65536};  // primary buffer volume

    // The index of the frame that plays now, counting every frame the
    // endpoint ever mixed: the clock's frames due by now, and the frames
    // mixed outside the clock (PumpOutput, RenderOutput). Buffers compute
    // their cursors from it between pump steps. Any thread, no lock.
    std::uint64_t FrameNow() const;
    // Mixes frames now, outside the clock, into `out` (null: into the sink).
    void RenderNow(std::int16_t* out, std::size_t frames);

protected:
    DWORD ClockRate() override { return format.rate; }
    void RunFrames(std::size_t frames, std::uint64_t first, std::uint64_t firstUs) override {
        Render(nullptr, frames, first + extra_.load(), firstUs);
    }
    Device::Start StartDevice() override;
    void StopDevice() override;

private:
    // Takes pumpMu.
    void Render(std::int16_t* out, std::size_t frames, std::uint64_t firstFrame,
                std::uint64_t firstUs);

    std::shared_ptr<Sink> sink_;                       // under mu
    std::shared_ptr<Sink> startedSink_;                // under mu: the sink streamStartUs_ is of
    std::uint64_t streamStartUs_ = 0;                  // under mu
    std::vector<std::weak_ptr<MixedBuffer>> buffers_;  // under mu
    std::atomic<std::uint64_t> extra_{0};              // frames mixed outside the clock
    // Scratch, under pumpMu: no allocation per step once grown.
    std::vector<std::shared_ptr<MixedBuffer>> live_;
    std::vector<std::int32_t> acc_;
    std::vector<std::int16_t> out_;
};

class InputEndpoint final : public Endpoint {
public:
    InputEndpoint(const GUID& guid, std::string description, Driver driver, int pumpMs,
                  std::shared_ptr<Device> device, std::shared_ptr<Source> source);

    // Exclusive use: false when taken. Attach names the client and starts
    // the device in its format (anything but Ok: nothing attached).
    bool Take();
    bool Taken();
    Device::Start Attach(std::shared_ptr<InputClient> client);
    void Give();  // stop the device, detach and free
    void Fail() override;
    std::shared_ptr<InputClient> Client();
    void SetSource(std::shared_ptr<Source> source);
    std::shared_ptr<Source> GetSource();
    bool StreamStart(std::uint64_t* us) override;

    // Captures frames now, outside the clock: from `samples` when given,
    // else from the source.
    void CaptureNow(const std::int16_t* samples, std::size_t frames);

protected:
    DWORD ClockRate() override;
    void RunFrames(std::size_t frames, std::uint64_t, std::uint64_t firstUs) override {
        Capture(nullptr, frames, firstUs);
    }
    std::size_t FramesToNextEvent() override;

private:
    // Takes pumpMu.
    void Capture(const std::int16_t* samples, std::size_t frames, std::uint64_t firstUs);

    bool taken_ = false;                     // under mu
    std::shared_ptr<InputClient> client_;    // under mu
    std::shared_ptr<Source> source_;         // under mu
    std::shared_ptr<Source> startedSource_;  // under mu: the source streamStartUs_ is of
    std::uint64_t streamStartUs_ = 0;        // under mu
    std::vector<std::int16_t> scratch_;      // under pumpMu
};

// A real back end: a file of its own that registers its table at load.
struct Backend {
    const char* name;
    // Makes the back end's endpoints, the system's default output and input
    // first. `needDefault`: only when the default device opens. False when
    // it made none.
    bool (*MakeEndpoints)(bool needDefault);
};
bool RegisterBackend(const Backend* backend);

// Registry lookups (null when unknown).
std::shared_ptr<OutputEndpoint> FindOutput(const GUID* guid);  // null guid: default
std::shared_ptr<InputEndpoint> FindCapture(const GUID* guid);  // null guid: default
std::shared_ptr<InputEndpoint> FindInput(const GUID& guid);    // any input
std::shared_ptr<InputEndpoint> WaveInEndpoint(UINT id);
std::vector<std::shared_ptr<InputEndpoint>> WaveInEndpoints();

struct Listed {
    std::string description;
    GUID guid;
};
std::vector<Listed> ListEndpoints(EndpointKind kind);

// Checks a 16-bit PCM format (tag 1 or extensible PCM, 1..32 channels,
// 100..200000 Hz, consistent align and byte rate) and returns it.
bool ParsePcmFormat(const WAVEFORMATEX* format, MixFormat* out);

// Q16 gain of a volume [hundredths of dB] (0 at -10000).
double VolumeToAmplitude(long volume);

}  // namespace plat::vsnd::detail
