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
    // advances the cursors. masterQ16: the primary volume [1/65536].
    virtual void MixInto(std::int32_t* acc, std::size_t frames, const MixFormat& mix,
                         std::int32_t masterQ16) = 0;
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
};

class Endpoint : public std::enable_shared_from_this<Endpoint> {
public:
    Endpoint(const GUID& guid, std::string description, Driver driver)
        : guid(guid), description(std::move(description)), driver(driver) {}
    virtual ~Endpoint() = default;

    const GUID guid;
    const std::string description;
    const Driver driver;

    std::mutex mu;  // faults and what the subclasses say
    FaultPlan faults;

    std::int32_t TakeFault(Fault call);

    // Open count: the clock pumps while it is above 0.
    void Open();
    void Close();
    bool IsOpen();

    // One clock tick: runs every frame due since the open.
    void Tick();
    // Restarts the frame count at the current time.
    void ResetClock();

protected:
    virtual DWORD ClockRate() = 0;                   // [Hz]; 0: nothing due
    virtual void RunFrames(std::size_t frames) = 0;  // under pumpMu

public:
    std::recursive_mutex pumpMu;  // one pump step at a time, in order

private:
    std::mutex openMu;  // open count and timer; never taken by a tick
    int openCount_ = 0;
    UINT timer_ = 0;
    // Under pumpMu:
    DWORD lastMs_ = 0;
    std::uint64_t elapsedMs_ = 0;
    std::uint64_t framesDone_ = 0;
};

class OutputEndpoint final : public Endpoint {
public:
    OutputEndpoint(const GUID& guid, std::string description, Driver driver, MixFormat format,
                   int writeLeadMs, std::shared_ptr<Sink> sink);

    const MixFormat format;
    const int writeLeadMs;  // -1: automatic

    // Write cursor lead [ms] that applies now.
    DWORD LeadMs() const;
    void AddBuffer(std::weak_ptr<MixedBuffer> buffer);
    void SetSink(std::shared_ptr<Sink> sink);
    std::shared_ptr<Sink> GetSink();
    void LoseAll();

    std::atomic<std::int32_t> masterQ16{65536};  // primary buffer volume

    // Mixes frames into `out` (null: into the sink). Takes pumpMu.
    void Render(std::int16_t* out, std::size_t frames);

protected:
    DWORD ClockRate() override { return format.rate; }
    void RunFrames(std::size_t frames) override { Render(nullptr, frames); }

private:
    std::shared_ptr<Sink> sink_;                       // under mu
    std::vector<std::weak_ptr<MixedBuffer>> buffers_;  // under mu
    // Scratch, under pumpMu: no allocation per step once grown.
    std::vector<std::shared_ptr<MixedBuffer>> live_;
    std::vector<std::int32_t> acc_;
    std::vector<std::int16_t> out_;
};

class InputEndpoint final : public Endpoint {
public:
    InputEndpoint(const GUID& guid, std::string description, Driver driver,
                  std::shared_ptr<Source> source);

    // Exclusive use: false when taken. Attach names the client (may be null
    // while a capture object has no buffer yet).
    bool Take();
    bool Taken();
    void Attach(std::shared_ptr<InputClient> client);
    void Give();  // detach and free
    std::shared_ptr<InputClient> Client();
    void SetSource(std::shared_ptr<Source> source);
    std::shared_ptr<Source> GetSource();

    // Captures frames now: from `samples` when given, else from the source.
    void Capture(const std::int16_t* samples, std::size_t frames);

protected:
    DWORD ClockRate() override;
    void RunFrames(std::size_t frames) override { Capture(nullptr, frames); }

private:
    bool taken_ = false;                   // under mu
    std::shared_ptr<InputClient> client_;  // under mu
    std::shared_ptr<Source> source_;       // under mu
    std::vector<std::int16_t> scratch_;    // under pumpMu
};

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
