#pragma once
// The virtual sound system under the DirectSound and wave-input calls.
//
//   output endpoint:  playing secondary buffers --mix--> Sink (memory, WAV file, null)
//   input endpoint:   Source (silence, tone, ramp, queue, WAV file) --> wave input
//                     or DirectSound capture buffer (one user at a time)
//
// Endpoints are listed for enumeration in the order they are made (output:
// DirectSoundEnumerate; input: DirectSoundCaptureEnumerate and the wave-input
// ids). The first of a list is the default device.
//
// Who pumps (one rule): an endpoint runs while it is open (an output while
// at least one DirectSound object on it is not released; an input while a
// wave input or a capture object holds it).
// - Driver::Clock (default): the platform clock drives it, as a sound card's
//   own clock would. Frame n of an endpoint is due n / rate seconds after
//   it opened, so nothing drifts. A pump timer (time-critical priority on
//   the real clock) runs every frame due at a regular period (10 ms on the
//   real clock, 1 ms on the manual one, or the endpoint's pumpMs); an input
//   also steps exactly when its user's next capture block is full or its
//   next notification position is passed, so blocks complete when their
//   last sample is due, not on the next regular step. An output's play and
//   write cursors are computed from the clock whenever they are read, so
//   they move continuously between steps; a buffer that starts between
//   steps is heard from the moment it started. On the manual clock
//   AdvanceClock runs the steps on the advancing thread: after
//   AdvanceClock(n) with the default period, exactly floor(total_ms x rate
//   / 1000) frames have passed since the open. Wave-in callbacks and
//   capture events happen inside AdvanceClock.
// - Driver::External: nothing runs by itself; the owner calls PumpOutput /
//   PumpInput (a test, a benchmark) or RenderOutput / CaptureInput (a real
//   sound card back end, from its playback or capture thread).
// PumpOutput/PumpInput also work on a clock-driven endpoint: they run that
// many frames now, on top of what the clock drives. The pump timer takes the
// clock's form when the endpoint opens: switch clocks only while no endpoint
// is open.
//
// The seam for a real sound card (a back end, see "Back ends" below): it
// makes its endpoints with Driver::External and a Device. The layer starts
// the device when the endpoint opens (an output: its first DirectSound
// object, in the endpoint's MixFormat; an input: when a wave input or a
// capture buffer takes it, in that user's format) and stops it when it
// closes. While started, the device calls RenderOutput (mix n frames into
// its buffer) from its playback thread or CaptureInput (hand n frames in
// the user's format) from its capture thread; when it fails for good it
// calls FailEndpoint. It validates nothing else: the layer validates every
// call of the library; the back end only moves frames.
//
// Threads: Sink::Write and Source::Read run on the pumping thread, one call
// at a time per endpoint, with no layer lock held but the endpoint's pump
// order; they must not call back into the layer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hcyplat/types.h"

namespace plat::vsnd {

struct MixFormat {
    DWORD rate = 16000;     // [Hz]
    unsigned channels = 2;  // interleaved 16-bit samples per frame
};

// Where an output endpoint's mixed frames go.
class Sink {
public:
    virtual ~Sink() = default;
    // `samples` holds frames x format.channels interleaved 16-bit samples.
    virtual void Write(const std::int16_t* samples, std::size_t frames,
                       const MixFormat& format) = 0;
};

// Where an input endpoint's frames come from.
class Source {
public:
    virtual ~Source() = default;
    // Fills exactly frames x format.channels samples (silence when it has
    // nothing more).
    virtual void Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) = 0;
};

class NullSink final : public Sink {
public:
    void Write(const std::int16_t*, std::size_t, const MixFormat&) override {}
};

// Keeps the newest `maxFrames` frames for tests and hosts to read back.
class MemorySink final : public Sink {
public:
    explicit MemorySink(std::size_t maxFrames = 16000 * 600);
    void Write(const std::int16_t* samples, std::size_t frames, const MixFormat& format) override;
    std::vector<std::int16_t> Samples() const;  // every kept sample, interleaved
    std::size_t Frames() const;
    // Removes and returns at most maxFrames of the oldest frames.
    std::vector<std::int16_t> Take(std::size_t maxFrames);
    void Clear();
    MixFormat Format() const;  // of the last write

private:
    mutable std::mutex mu_;
    std::deque<std::int16_t> samples_;
    MixFormat format_;
    std::size_t maxFrames_;
};

// A 16-bit PCM WAV file in the format of the first write; the header's sizes
// are brought up to date after every write, so the file is complete whenever
// it is read. Writes in another format are dropped.
class WavFileSink final : public Sink {
public:
    static std::shared_ptr<WavFileSink> Create(const std::string& path);  // null: cannot open
    ~WavFileSink() override;
    void Write(const std::int16_t* samples, std::size_t frames, const MixFormat& format) override;
    std::uint64_t DataBytes() const;

private:
    WavFileSink() = default;
    mutable std::mutex mu_;
    std::FILE* file_ = nullptr;
    bool started_ = false;
    MixFormat format_;
    std::uint64_t dataBytes_ = 0;
};

class SilenceSource final : public Source {
public:
    void Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) override;
};

// amplitude x sin(2 pi hz n / rate) on every channel, continuous across reads.
class ToneSource final : public Source {
public:
    ToneSource(double hz, double amplitude) : hz_(hz), amplitude_(amplitude) {}
    void Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) override;

private:
    double hz_, amplitude_;
    std::uint64_t frame_ = 0;
};

// Channel c of frame n (counted from the first read) = (n + c x channelStep)
// mod 32768: contiguous blocks show as an unbroken count.
class RampSource final : public Source {
public:
    explicit RampSource(unsigned channelStep = 0x1000) : step_(channelStep) {}
    void Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) override;
    std::uint64_t FramesRead() const { return frame_; }

private:
    unsigned step_;
    std::uint64_t frame_ = 0;
};

// Samples pushed by a test, interleaved in the reader's channel layout; read
// in order, silence once empty.
class QueueSource final : public Source {
public:
    void Push(const std::int16_t* samples, std::size_t count);
    std::size_t Pending() const;  // samples not yet read
    void Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) override;

private:
    mutable std::mutex mu_;
    std::deque<std::int16_t> queue_;
};

// A 16-bit PCM WAV file (tag 1 or extensible PCM), resampled linearly to the
// reader's rate; mono goes to every channel, more channels map i -> i
// (missing ones repeat channel 0). Silence after the end unless looping.
class WavFileSource final : public Source {
public:
    static std::shared_ptr<WavFileSource> Open(const std::string& path, bool loop);
    // The same from bytes in memory; null when they are not such a file.
    static std::shared_ptr<WavFileSource> FromBytes(const std::vector<std::uint8_t>& bytes,
                                                    bool loop);
    void Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) override;
    MixFormat FileFormat() const { return format_; }
    std::size_t FileFrames() const { return data_.size() / format_.channels; }

private:
    WavFileSource() = default;
    MixFormat format_;
    std::vector<std::int16_t> data_;
    bool loop_ = false;
    double position_ = 0.0;  // [file frames]
};

enum class Driver { Clock, External };

// A real sound device behind an endpoint (see "The seam for a real sound
// card"). Start and Stop come from the layer, never both at once, and never
// from the device's own thread.
class Device {
public:
    enum class Start { Ok, Busy, Missing, BadFormat };
    virtual ~Device() = default;
    // Opens the device in `format` and starts its thread; on failure nothing
    // runs.
    virtual Start Open(const GUID& endpoint, const MixFormat& format) = 0;
    // Stops the thread (waits for it) and closes the device.
    virtual void Close() = 0;
};

// Why the last device open on this thread failed, in the device's words
// ("sound device 'default': Device or resource busy"); empty when it gave
// none. Every endpoint open clears it; a device that fails its Open sets
// it (SetOpenFailure), so that the caller can name the reason.
std::string LastOpenFailure();
void SetOpenFailure(std::string reason);

struct OutputEndpointConfig {
    std::string description = "Virtual Output";
    MixFormat format;            // the mix format, fixed for the endpoint's life
    std::shared_ptr<Sink> sink;  // null: a NullSink
    Driver driver = Driver::Clock;
    std::shared_ptr<Device> device;  // with Driver::External: a real sound card
    int writeLeadMs = -1;            // write cursor lead [ms]; -1: 60 on the real clock, else 0
    int pumpMs = 0;                  // regular pump period [ms]; 0: the clock's default
    const GUID* guid = nullptr;      // null: a new GUID
};

struct InputEndpointConfig {
    std::string description = "Virtual Input";
    std::shared_ptr<Source> source;  // null: a SilenceSource
    Driver driver = Driver::Clock;
    std::shared_ptr<Device> device;  // with Driver::External: a real sound card
    bool listCapture = true;         // offered to DirectSound capture
    bool listWaveIn = true;          // offered as a wave-input id
    int pumpMs = 0;                  // regular pump period [ms]; 0: the clock's default
    const GUID* guid = nullptr;
};

struct EndpointId {
    GUID guid{};
    int index = -1;               // in the output or capture list (-1: not listed)
    UINT waveInId = 0xFFFFFFFFu;  // inputs listed as wave input
};

EndpointId CreateOutputEndpoint(const OutputEndpointConfig& config);
EndpointId CreateInputEndpoint(const InputEndpointConfig& config);
// Unlists every endpoint; open objects keep theirs until they close.
void RemoveAllEndpoints();

bool SetSink(const GUID& output, std::shared_ptr<Sink> sink);
std::shared_ptr<Sink> GetSink(const GUID& output);
bool SetSource(const GUID& input, std::shared_ptr<Source> source);
std::shared_ptr<Source> GetSource(const GUID& input);
bool GetMixFormat(const GUID& output, MixFormat* format);
// The format of the wave input or capture buffer that has the input now.
bool InputFormat(const GUID& input, MixFormat* format);
bool IsEndpointOpen(const GUID& endpoint);
// When the first frame that the output's current sink got played, or the
// first frame that the input's current source gave was captured
// [us, ClockMicroseconds]; false before that (or for an unknown endpoint).
bool StreamStart(const GUID& endpoint, std::uint64_t* us);

// Runs `frames` frames now on the calling thread (see "Who pumps").
bool PumpOutput(const GUID& output, std::size_t frames);
bool PumpInput(const GUID& input, std::size_t frames);
// Back-end seam: mixes `frames` frames into `samples` (MixFormat layout)
// instead of the sink; moves cursors like PumpOutput.
bool RenderOutput(const GUID& output, std::int16_t* samples, std::size_t frames);
// Back-end seam: hands frames in the InputFormat layout to the input's user
// instead of reading the source (dropped when nothing is started).
bool CaptureInput(const GUID& input, const std::int16_t* samples, std::size_t frames);

// Fault injection: the next `count` calls of `call` on the endpoint fail with
// `code` (count < 0: every call until cleared). For the default device (null
// GUID, WAVE_MAPPER) the faults of the endpoint chosen apply.
enum class Fault {
    DirectSoundCreate,
    SetCooperativeLevel,
    CreateSoundBuffer,  // primary and secondary
    SetFormat,          // primary buffer
    Lock,               // output buffers
    Unlock,
    Play,
    CaptureCreate,  // DirectSoundCaptureCreate8
    CreateCaptureBuffer,
    SetNotificationPositions,
    CaptureStart,
    WaveInOpen,
    WaveInAddBuffer,
    WaveInStart,
    WaveInReset,
    WaveInClose,
    MixerOpen,
};
constexpr int kFaultCount = static_cast<int>(Fault::MixerOpen) + 1;

bool InjectFault(const GUID& endpoint, Fault call, std::int32_t code, int count = 1);
void ClearFaults(const GUID& endpoint);
// Every secondary buffer on the output stops and is lost until Restore.
bool LoseBuffers(const GUID& output);
// The device behind the endpoint failed (a back end calls this from its
// thread; tests may too): an output's buffers are lost and stay lost
// (Restore, Play and new buffers fail); an input's user gets every queued
// block back, as after a reset, and further blocks or starts are refused.
// It holds until the endpoint is closed and opened again.
bool FailEndpoint(const GUID& endpoint);

// Back ends: who makes the endpoints of a process whose host made none.
// "virtual" makes one output with a null sink ("Virtual Output") and one
// silent input ("Virtual Input"); the real back ends of this build (such as
// "alsa") list the machine's sound devices, the system's default first.
// "auto" takes the first real back end that finds a default device, else
// "virtual". Until a host or test makes or removes endpoints, the first
// lookup installs the back end named by the environment variable
// HCY_AUDIO_BACKEND (default "auto").
// UseBackend installs one now, in place of every endpoint listed; false for
// an unknown name or a real back end that finds no device (the lists are
// then empty).
bool UseBackend(const std::string& name);
// The back ends of this build, "virtual" first.
std::vector<std::string> Backends();

}  // namespace plat::vsnd
