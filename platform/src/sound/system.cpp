// The virtual sound system: endpoints, the registry behind enumeration,
// clock-driven pumping, the output mixer's frame loop and fault plans.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "hcyplat/clock.h"
#include "hcyplat/report.h"
#include "hcyplat/thread_boundary.h"
#include "hcyplat/timer.h"
#include "vsnd_internal.h"

namespace plat::vsnd {
namespace detail {
namespace {

// Frames per mixing or capture step: bounds the scratch buffers.
constexpr std::size_t kChunkFrames = 1024;
// Regular pump period [ms]: real clock (a timer thread per open endpoint),
// manual clock (AdvanceClock runs it at every millisecond). Capture blocks
// and notifications do not wait for it: an input also steps when they fall
// due.
constexpr UINT kRealPumpMs = 10;
constexpr UINT kManualPumpMs = 1;
constexpr std::uint64_t kMicrosPerSecond = 1000000;
// Safe write distance of a real-clock output [ms]: a streaming writer that
// keeps at the write cursor has this much time to spare before the play
// cursor catches up, enough for pump periods and thread scheduling.
constexpr DWORD kRealWriteLeadMs = 60;

struct Registry {
    std::mutex mu;
    std::vector<std::shared_ptr<OutputEndpoint>> outputs;
    std::vector<std::shared_ptr<InputEndpoint>> captures;  // DirectSound capture list
    std::vector<std::shared_ptr<InputEndpoint>> waveIns;   // wave-input ids
    std::uint16_t serial = 0;                              // for GUIDs of new endpoints
    // A host, a test or a back end made or removed endpoints: the lists are
    // theirs, no back end's defaults are installed.
    std::atomic<bool> configured{false};
};

// Pump threads may still run at exit: never destroyed.
Registry& Reg() {
    static Registry* r = new Registry;
    return *r;
}

// Back ends: the real ones of this build register themselves at load; the
// lock orders their installation (before the registry's lock).
std::mutex& DefaultsMu() {
    static std::mutex* mu = new std::mutex;
    return *mu;
}

std::vector<const Backend*>& RealBackends() {
    static auto* list = new std::vector<const Backend*>;
    return *list;
}

// One output with a null sink and one silent input: what a machine without
// sound devices offers.
bool MakeVirtualEndpoints(bool) {
    CreateOutputEndpoint(OutputEndpointConfig{});
    CreateInputEndpoint(InputEndpointConfig{});
    return true;
}

// Under DefaultsMu.
bool InstallBackend(const std::string& name) {
    if (name == "virtual") return MakeVirtualEndpoints(false);
    for (const Backend* b : RealBackends()) {
        if (name == "auto" && b->MakeEndpoints(true)) return true;
        if (name == b->name) return b->MakeEndpoints(false);
    }
    return name == "auto" && MakeVirtualEndpoints(false);
}

// The first lookup of a process that made no endpoints installs the back
// end the environment names.
void EnsureDefaults() {
    if (Reg().configured.load()) return;
    std::lock_guard lock(DefaultsMu());
    if (Reg().configured.load()) return;
    const char* env = std::getenv("HCY_AUDIO_BACKEND");
    const std::string name = env && *env ? env : "auto";
    if (!InstallBackend(name)) {
        Report(
            "sound back end '%s' is unknown or finds no device; the virtual one (a null "
            "output and a silent input) stands in",
            name.c_str());
        MakeVirtualEndpoints(false);
    }
    Reg().configured = true;
}

// Endpoint GUIDs: a fixed prefix, the kind and a serial number, so that a run
// is reproducible. Called under the registry lock.
GUID NewGuid(Registry& r, std::uint16_t kind) {
    GUID g{0x48435953u, kind, ++r.serial, {0x9A, 0x11, 0x5E, 0x0D, 0x00, 0x00, 0x00, 0x01}};
    return g;
}

std::uint64_t PumpStep(DWORD_PTR user, std::uint64_t nowUs) {
    // A step that throws is lost; the next one, a millisecond later, runs
    // every frame due since.
    std::uint64_t next = nowUs + 1000;
    ThreadBoundary(kSoundPump, [&] { next = reinterpret_cast<Endpoint*>(user)->Step(nowUs); });
    return next;
}

std::int16_t Saturate(std::int32_t v) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
}

template <class List>
void CollectMatches(const List& list, const GUID& guid,
                    std::vector<std::shared_ptr<Endpoint>>& out) {
    for (auto& e : list)
        if (e->guid == guid && std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
}

std::vector<std::shared_ptr<Endpoint>> AllWithGuid(const GUID& guid) {
    std::lock_guard lock(Reg().mu);
    std::vector<std::shared_ptr<Endpoint>> out;
    CollectMatches(Reg().outputs, guid, out);
    CollectMatches(Reg().captures, guid, out);
    CollectMatches(Reg().waveIns, guid, out);
    return out;
}

}  // namespace

std::int32_t FaultPlan::Take(Fault call) {
    const auto i = static_cast<std::size_t>(call);
    if (count[i] == 0) return 0;
    if (count[i] > 0) --count[i];
    return code[i];
}

std::int32_t Endpoint::TakeFault(Fault call) {
    std::lock_guard lock(mu);
    return faults.Take(call);
}

namespace {
thread_local std::string t_openFailure;
}  // namespace

Device::Start Endpoint::Open() {
    std::lock_guard lock(openMu);
    t_openFailure.clear();
    if (openCount_ > 0) {
        ++openCount_;
        return Device::Start::Ok;
    }
    const Device::Start started = StartDevice();
    if (started != Device::Start::Ok) return started;
    openCount_ = 1;
    const std::uint64_t firstStep = ResetClockAt(ClockMicroseconds());
    if (driver == Driver::Clock) {
        clocked_ = true;
        timer_ = timeSetPump(firstStep, &PumpStep, reinterpret_cast<DWORD_PTR>(this));
    }
    return Device::Start::Ok;
}

void Endpoint::Close() {
    UINT timer = 0;
    {
        std::lock_guard lock(openMu);
        if (openCount_ == 0 || --openCount_ > 0) return;
        timer = timer_;
        timer_ = 0;
        clocked_ = false;
        StopDevice();  // the device's thread never takes openMu
    }
    // Waits for a step in flight (unless this is that step): no lock held.
    if (timer != 0) timeKillEvent(timer);
}

bool Endpoint::IsOpen() {
    std::lock_guard lock(openMu);
    return openCount_ > 0;
}

void Endpoint::ResetClock() { ResetClockAt(ClockMicroseconds()); }

std::uint64_t Endpoint::ResetClockAt(std::uint64_t nowUs) {
    std::lock_guard lock(pumpMu);
    periodUs_ = 1000ull * (pumpMs_ > 0 ? static_cast<UINT>(pumpMs_)
                                       : (IsManualClock() ? kManualPumpMs : kRealPumpMs));
    epochUs_ = nowUs;
    framesDone_ = 0;
    nextStepUs_ = nowUs + periodUs_;
    return nextStepUs_;
}

std::uint64_t Endpoint::TimeOfFrame(std::uint64_t n, DWORD rate) const {
    return epochUs_.load() + (n * kMicrosPerSecond + rate - 1) / rate;
}

std::uint64_t Endpoint::ClockFramesNow(DWORD rate) const {
    if (!clocked_.load() || rate == 0) return 0;
    const std::uint64_t epoch = epochUs_.load();
    const std::uint64_t now = ClockMicroseconds();
    return now > epoch ? (now - epoch) * rate / kMicrosPerSecond : 0;
}

std::uint64_t Endpoint::Step(std::uint64_t nowUs) {
    // The open object that keeps this endpoint may go away inside the step.
    auto self = weak_from_this().lock();
    if (!self) return nowUs + 1000ull * kRealPumpMs;
    std::lock_guard lock(pumpMu);
    // Regular steps keep to their grid; steps missed while late are dropped.
    if (nextStepUs_ <= nowUs) nextStepUs_ += ((nowUs - nextStepUs_) / periodUs_ + 1) * periodUs_;
    const DWORD rate = ClockRate();
    const std::uint64_t epoch = epochUs_.load();
    if (rate == 0) {
        epochUs_ = nowUs;
        framesDone_ = 0;
        return nextStepUs_;
    }
    // Frames due from the elapsed time, not per step: no drift, no burst loss.
    const std::uint64_t due = nowUs > epoch ? (nowUs - epoch) * rate / kMicrosPerSecond : 0;
    if (due > framesDone_) {
        const std::uint64_t first = framesDone_;
        framesDone_ = due;
        RunFrames(static_cast<std::size_t>(due - first), first, TimeOfFrame(first, rate));
    }
    std::uint64_t next = nextStepUs_;
    if (const std::size_t ahead = FramesToNextEvent())
        next = std::min(next, TimeOfFrame(framesDone_ + ahead, rate));
    return next;
}

OutputEndpoint::OutputEndpoint(const GUID& guid, std::string description, Driver driver, int pumpMs,
                               std::shared_ptr<Device> device, MixFormat format, int writeLeadMs,
                               std::shared_ptr<Sink> sink)
    : Endpoint(guid, std::move(description), driver, pumpMs, std::move(device)),
      format(format),
      writeLeadMs(writeLeadMs),
      sink_(sink ? std::move(sink) : std::make_shared<NullSink>()) {}

DWORD OutputEndpoint::LeadMs() const {
    if (writeLeadMs >= 0) return static_cast<DWORD>(writeLeadMs);
    return driver == Driver::Clock && !IsManualClock() ? kRealWriteLeadMs : 0;
}

bool OutputEndpoint::AddBuffer(std::weak_ptr<MixedBuffer> buffer) {
    std::lock_guard lock(mu);
    if (failed_) return false;
    buffers_.push_back(std::move(buffer));
    return true;
}

void OutputEndpoint::SetSink(std::shared_ptr<Sink> sink) {
    std::lock_guard lock(mu);
    sink_ = sink ? std::move(sink) : std::make_shared<NullSink>();
}

std::shared_ptr<Sink> OutputEndpoint::GetSink() {
    std::lock_guard lock(mu);
    return sink_;
}

bool OutputEndpoint::StreamStart(std::uint64_t* us) {
    std::lock_guard lock(mu);
    if (startedSink_ != sink_) return false;
    *us = streamStartUs_;
    return true;
}

Device::Start OutputEndpoint::StartDevice() {
    // Cleared before the device starts: its thread may fail it at once.
    failed_ = false;
    if (!device) return Device::Start::Ok;
    return device->Open(guid, format);
}

void OutputEndpoint::StopDevice() {
    if (device) device->Close();
}

void OutputEndpoint::Fail() {
    {
        // Under mu: a buffer is either added before this (and lost below)
        // or refused by AddBuffer.
        std::lock_guard lock(mu);
        failed_ = true;
    }
    LoseAll();
}

void OutputEndpoint::LoseAll() {
    std::vector<std::shared_ptr<MixedBuffer>> all;
    {
        std::lock_guard lock(mu);
        for (auto& w : buffers_)
            if (auto b = w.lock()) all.push_back(std::move(b));
    }
    for (auto& b : all) b->Lose();
}

std::uint64_t OutputEndpoint::FrameNow() const {
    return ClockFramesNow(format.rate) + extra_.load();
}

void OutputEndpoint::RenderNow(std::int16_t* out, std::size_t frames) {
    std::lock_guard pump(pumpMu);
    const std::uint64_t first = FramesDone() + extra_.load();
    extra_ += frames;
    Render(out, frames, first, ClockMicroseconds());
}

void OutputEndpoint::Render(std::int16_t* out, std::size_t frames, std::uint64_t firstFrame,
                            std::uint64_t firstUs) {
    std::lock_guard pump(pumpMu);
    std::shared_ptr<Sink> sink;
    {
        std::lock_guard lock(mu);
        live_.clear();
        auto keep = buffers_.begin();
        for (auto& w : buffers_) {
            auto b = w.lock();
            if (!b || b->Detached()) continue;
            live_.push_back(std::move(b));
            *keep++ = w;
        }
        buffers_.erase(keep, buffers_.end());
        sink = sink_;
        if (!out && startedSink_ != sink_) {
            startedSink_ = sink_;
            streamStartUs_ = firstUs;
        }
    }
    const std::size_t ch = format.channels;
    const std::int32_t master = masterQ16.load();
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kChunkFrames, frames - done);
        acc_.assign(n * ch, 0);
        for (auto& b : live_) b->MixInto(acc_.data(), n, format, master, firstFrame + done);
        std::int16_t* dst = out ? out + done * ch : nullptr;
        if (!dst) {
            out_.resize(n * ch);
            dst = out_.data();
        }
        for (std::size_t i = 0; i < n * ch; ++i) dst[i] = Saturate(acc_[i]);
        if (!out) sink->Write(dst, n, format);
        done += n;
    }
    live_.clear();  // buffers dropped meanwhile go here, on the pumping thread
}

InputEndpoint::InputEndpoint(const GUID& guid, std::string description, Driver driver, int pumpMs,
                             std::shared_ptr<Device> device, std::shared_ptr<Source> source)
    : Endpoint(guid, std::move(description), driver, pumpMs, std::move(device)),
      source_(source ? std::move(source) : std::make_shared<SilenceSource>()) {}

bool InputEndpoint::Take() {
    std::lock_guard lock(mu);
    if (taken_) return false;
    taken_ = true;
    return true;
}

bool InputEndpoint::Taken() {
    std::lock_guard lock(mu);
    return taken_;
}

Device::Start InputEndpoint::Attach(std::shared_ptr<InputClient> client) {
    // Cleared before the device starts: its thread may fail it at once.
    failed_ = false;
    if (device && client) {
        std::lock_guard lock(openMu);
        const Device::Start started = device->Open(guid, client->Format());
        if (started != Device::Start::Ok) return started;
    }
    bool failed = false;
    {
        // Under mu: a failure before this is told to the client here,
        // one after it by Fail.
        std::lock_guard lock(mu);
        client_ = client;
        failed = failed_;
    }
    if (failed && client) client->Fail();
    ResetClock();  // the frame count runs at the new user's rate
    return Device::Start::Ok;
}

void InputEndpoint::Give() {
    bool attached = false;
    {
        std::lock_guard lock(mu);
        attached = client_ != nullptr;
    }
    if (device && attached) {
        std::lock_guard lock(openMu);
        device->Close();  // no frame arrives after this
    }
    std::lock_guard lock(mu);
    client_.reset();
    taken_ = false;
}

void InputEndpoint::Fail() {
    std::shared_ptr<InputClient> c;
    {
        std::lock_guard lock(mu);
        failed_ = true;
        c = client_;
    }
    if (c) c->Fail();
}

std::shared_ptr<InputClient> InputEndpoint::Client() {
    std::lock_guard lock(mu);
    return client_;
}

void InputEndpoint::SetSource(std::shared_ptr<Source> source) {
    std::lock_guard lock(mu);
    source_ = source ? std::move(source) : std::make_shared<SilenceSource>();
}

std::shared_ptr<Source> InputEndpoint::GetSource() {
    std::lock_guard lock(mu);
    return source_;
}

bool InputEndpoint::StreamStart(std::uint64_t* us) {
    std::lock_guard lock(mu);
    if (startedSource_ != source_) return false;
    *us = streamStartUs_;
    return true;
}

DWORD InputEndpoint::ClockRate() {
    auto c = Client();
    return c ? c->Format().rate : 0;
}

std::size_t InputEndpoint::FramesToNextEvent() {
    auto c = Client();
    return c && c->Started() ? c->FramesToNextEvent() : 0;
}

void InputEndpoint::CaptureNow(const std::int16_t* samples, std::size_t frames) {
    Capture(samples, frames, ClockMicroseconds());
}

void InputEndpoint::Capture(const std::int16_t* samples, std::size_t frames,
                            std::uint64_t firstUs) {
    std::lock_guard pump(pumpMu);
    std::shared_ptr<InputClient> client;
    std::shared_ptr<Source> source;
    {
        std::lock_guard lock(mu);
        client = client_;
        source = source_;
        // Nothing is recorded while stopped, and the source does not move.
        if (!client || !client->Started()) return;
        if (!samples && startedSource_ != source_) {
            startedSource_ = source_;
            streamStartUs_ = firstUs;
        }
    }
    const MixFormat f = client->Format();
    if (samples) {
        client->Deliver(samples, frames);
        return;
    }
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kChunkFrames, frames - done);
        scratch_.resize(n * f.channels);
        source->Read(scratch_.data(), n, f);
        client->Deliver(scratch_.data(), n);
        done += n;
    }
}

std::shared_ptr<OutputEndpoint> FindOutput(const GUID* guid) {
    EnsureDefaults();
    std::lock_guard lock(Reg().mu);
    auto& l = Reg().outputs;
    if (!guid) return l.empty() ? nullptr : l.front();
    for (auto& e : l)
        if (e->guid == *guid) return e;
    return nullptr;
}

std::shared_ptr<InputEndpoint> FindCapture(const GUID* guid) {
    EnsureDefaults();
    std::lock_guard lock(Reg().mu);
    auto& l = Reg().captures;
    if (!guid) return l.empty() ? nullptr : l.front();
    for (auto& e : l)
        if (e->guid == *guid) return e;
    return nullptr;
}

std::shared_ptr<InputEndpoint> FindInput(const GUID& guid) {
    EnsureDefaults();
    std::lock_guard lock(Reg().mu);
    for (auto& e : Reg().captures)
        if (e->guid == guid) return e;
    for (auto& e : Reg().waveIns)
        if (e->guid == guid) return e;
    return nullptr;
}

std::shared_ptr<InputEndpoint> WaveInEndpoint(UINT id) {
    EnsureDefaults();
    std::lock_guard lock(Reg().mu);
    return id < Reg().waveIns.size() ? Reg().waveIns[id] : nullptr;
}

std::vector<std::shared_ptr<InputEndpoint>> WaveInEndpoints() {
    EnsureDefaults();
    std::lock_guard lock(Reg().mu);
    return Reg().waveIns;
}

std::vector<Listed> ListEndpoints(EndpointKind kind) {
    EnsureDefaults();
    std::lock_guard lock(Reg().mu);
    std::vector<Listed> out;
    auto add = [&](const auto& list) {
        for (auto& e : list) out.push_back({e->description, e->guid});
    };
    switch (kind) {
    case EndpointKind::Output: add(Reg().outputs); break;
    case EndpointKind::Capture: add(Reg().captures); break;
    case EndpointKind::WaveIn: add(Reg().waveIns); break;
    }
    return out;
}

bool ParsePcmFormat(const WAVEFORMATEX* f, MixFormat* out) {
    if (!f) return false;
    if (f->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (f->cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) return false;
        const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(f);
        if (!(x->SubFormat == KSDATAFORMAT_SUBTYPE_PCM)) return false;
        if (x->wValidBitsPerSample != 16) return false;
    } else if (f->wFormatTag != WAVE_FORMAT_PCM) {
        return false;
    }
    if (f->wBitsPerSample != 16 || f->nChannels < 1 || f->nChannels > 32) return false;
    if (f->nSamplesPerSec < 100 || f->nSamplesPerSec > 200000) return false;
    if (f->nBlockAlign != 2u * f->nChannels) return false;
    if (f->nAvgBytesPerSec != static_cast<DWORD>(f->nBlockAlign) * f->nSamplesPerSec) return false;
    if (out) *out = MixFormat{f->nSamplesPerSec, f->nChannels};
    return true;
}

double VolumeToAmplitude(long volume) {
    if (volume <= -10000) return 0.0;
    return std::pow(10.0, static_cast<double>(volume) / 2000.0);
}

bool RegisterBackend(const Backend* backend) {
    std::lock_guard lock(DefaultsMu());
    RealBackends().push_back(backend);
    return true;
}

}  // namespace detail

using namespace detail;

EndpointId CreateOutputEndpoint(const OutputEndpointConfig& c) {
    EndpointId id;
    if (c.format.rate < 100 || c.format.rate > 200000 || c.format.channels < 1 ||
        c.format.channels > 32)
        return id;
    std::lock_guard lock(Reg().mu);
    Reg().configured = true;
    id.guid = c.guid ? *c.guid : NewGuid(Reg(), 1);
    auto e = std::make_shared<OutputEndpoint>(id.guid, c.description, c.driver, c.pumpMs, c.device,
                                              c.format, c.writeLeadMs, c.sink);
    Reg().outputs.push_back(e);
    id.index = static_cast<int>(Reg().outputs.size() - 1);
    return id;
}

EndpointId CreateInputEndpoint(const InputEndpointConfig& c) {
    std::lock_guard lock(Reg().mu);
    Reg().configured = true;
    EndpointId id;
    id.guid = c.guid ? *c.guid : NewGuid(Reg(), 2);
    auto e = std::make_shared<InputEndpoint>(id.guid, c.description, c.driver, c.pumpMs, c.device,
                                             c.source);
    if (c.listCapture) {
        Reg().captures.push_back(e);
        id.index = static_cast<int>(Reg().captures.size() - 1);
    }
    if (c.listWaveIn) {
        Reg().waveIns.push_back(e);
        id.waveInId = static_cast<UINT>(Reg().waveIns.size() - 1);
    }
    return id;
}

void RemoveAllEndpoints() {
    std::lock_guard lock(Reg().mu);
    Reg().configured = true;
    Reg().outputs.clear();
    Reg().captures.clear();
    Reg().waveIns.clear();
}

bool SetSink(const GUID& output, std::shared_ptr<Sink> sink) {
    auto e = FindOutput(&output);
    if (!e) return false;
    e->SetSink(std::move(sink));
    return true;
}

std::shared_ptr<Sink> GetSink(const GUID& output) {
    auto e = FindOutput(&output);
    return e ? e->GetSink() : nullptr;
}

bool SetSource(const GUID& input, std::shared_ptr<Source> source) {
    auto e = FindInput(input);
    if (!e) return false;
    e->SetSource(std::move(source));
    return true;
}

std::shared_ptr<Source> GetSource(const GUID& input) {
    auto e = FindInput(input);
    return e ? e->GetSource() : nullptr;
}

bool GetMixFormat(const GUID& output, MixFormat* format) {
    auto e = FindOutput(&output);
    if (!e || !format) return false;
    *format = e->format;
    return true;
}

bool InputFormat(const GUID& input, MixFormat* format) {
    auto e = FindInput(input);
    auto c = e ? e->Client() : nullptr;
    if (!c || !format) return false;
    *format = c->Format();
    return true;
}

bool IsEndpointOpen(const GUID& endpoint) {
    for (auto& e : AllWithGuid(endpoint))
        if (e->IsOpen()) return true;
    return false;
}

bool StreamStart(const GUID& endpoint, std::uint64_t* us) {
    if (!us) return false;
    for (auto& e : AllWithGuid(endpoint))
        if (e->StreamStart(us)) return true;
    return false;
}

bool PumpOutput(const GUID& output, std::size_t frames) {
    auto e = FindOutput(&output);
    if (!e) return false;
    e->RenderNow(nullptr, frames);
    return true;
}

bool PumpInput(const GUID& input, std::size_t frames) {
    auto e = FindInput(input);
    if (!e) return false;
    e->CaptureNow(nullptr, frames);
    return true;
}

bool RenderOutput(const GUID& output, std::int16_t* samples, std::size_t frames) {
    auto e = FindOutput(&output);
    if (!e || (!samples && frames > 0)) return false;
    e->RenderNow(samples, frames);
    return true;
}

bool CaptureInput(const GUID& input, const std::int16_t* samples, std::size_t frames) {
    auto e = FindInput(input);
    if (!e || (!samples && frames > 0)) return false;
    e->CaptureNow(samples, frames);
    return true;
}

bool InjectFault(const GUID& endpoint, Fault call, std::int32_t code, int count) {
    auto all = AllWithGuid(endpoint);
    for (auto& e : all) {
        std::lock_guard lock(e->mu);
        e->faults.code[static_cast<std::size_t>(call)] = code;
        e->faults.count[static_cast<std::size_t>(call)] = count;
    }
    return !all.empty();
}

void ClearFaults(const GUID& endpoint) {
    for (auto& e : AllWithGuid(endpoint)) {
        std::lock_guard lock(e->mu);
        e->faults = FaultPlan{};
    }
}

bool LoseBuffers(const GUID& output) {
    auto e = FindOutput(&output);
    if (!e) return false;
    e->LoseAll();
    return true;
}

bool FailEndpoint(const GUID& endpoint) {
    auto all = AllWithGuid(endpoint);
    for (auto& e : all) e->Fail();
    return !all.empty();
}

bool UseBackend(const std::string& name) {
    std::lock_guard lock(DefaultsMu());
    RemoveAllEndpoints();
    return InstallBackend(name);
}

std::vector<std::string> Backends() {
    std::vector<std::string> names{"virtual"};
    std::lock_guard lock(DefaultsMu());
    for (const Backend* b : RealBackends()) names.emplace_back(b->name);
    return names;
}

std::string LastOpenFailure() { return detail::t_openFailure; }
void SetOpenFailure(std::string reason) { detail::t_openFailure = std::move(reason); }

}  // namespace plat::vsnd
