#pragma once
// Shared by the sound tests: radios and interphones that record what a device
// asks of them, and a virtual speaker (an output endpoint mixing into a memory
// sink on the manual clock) with a configuration folder of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/app.h"
#include "hcyplat/clock.h"
#include "hcyplat/dsound.h"
#include "hcyplat/virtual_sound.h"
#include "support/stand_ins.h"
#include "support/test_support.h"

namespace hcytest {

using Samples = std::vector<std::int16_t>;

struct PttCall {
    int on;
    std::uint32_t source;
    bool operator==(const PttCall&) const = default;
};

class RecordingRadio : public StandInRadio {
public:
    int SetPTT(int on, std::uint32_t source) override {
        std::lock_guard<std::mutex> lock(mu);
        ptt.push_back({on, source});
        // Only the word that keyed the radio releases it.
        if (on && keyedBy == 0)
            keyedBy = source;
        else if (!on && source == keyedBy)
            keyedBy = 0;
        return 1;
    }
    void SetXmitAttached(int on) override {
        std::lock_guard<std::mutex> lock(mu);
        attached.push_back(on);
    }
    void TransmitAudio(const std::int16_t* samples, std::uint32_t bytes, std::uint32_t,
                       std::uint32_t source) override {
        std::lock_guard<std::mutex> lock(mu);
        blocks.emplace_back(samples, samples + bytes / 2);
        sources.push_back(source);
        ++blockCount;
    }
    void SetXmitFilterSwitch(bool on) {
        std::uint32_t value = on ? 1u : 0u;
        CRadioModel::SetRadioData(RD_XMIT_FILTER, &value);
    }

    std::uint32_t GetPttSource() const override { return Get(keyedBy); }
    bool Keyed() const { return Get(keyedBy) != 0; }
    std::vector<PttCall> Ptt() const { return Get(ptt); }
    std::vector<int> Attached() const { return Get(attached); }
    std::vector<Samples> Blocks() const { return Get(blocks); }
    std::vector<std::uint32_t> Sources() const { return Get(sources); }

    std::atomic<int> blockCount{0};

private:
    template <class T>
    T Get(const T& v) const {
        std::lock_guard<std::mutex> lock(mu);
        return v;
    }
    mutable std::mutex mu;
    std::uint32_t keyedBy = 0;
    std::vector<PttCall> ptt;
    std::vector<int> attached;
    std::vector<Samples> blocks;
    std::vector<std::uint32_t> sources;
};

class RecordingInterphone : public StandInInterphone {
public:
    int SetTalk(int on, std::uint32_t source) override {
        std::lock_guard<std::mutex> lock(mu);
        talk.push_back({on, source});
        return 1;
    }
    void SendAudio(const std::int16_t* samples, std::uint32_t bytes, std::uint32_t) override {
        std::lock_guard<std::mutex> lock(mu);
        blocks.emplace_back(samples, samples + bytes / 2);
    }
    std::vector<PttCall> Talk() const {
        std::lock_guard<std::mutex> lock(mu);
        return talk;
    }
    std::vector<Samples> Blocks() const {
        std::lock_guard<std::mutex> lock(mu);
        return blocks;
    }

private:
    mutable std::mutex mu;
    std::vector<PttCall> talk;
    std::vector<Samples> blocks;
};

// The last error without its "HCY ERROR: " prefix.
inline std::string LastErrorText() {
    const std::string text = theApp.LastError();
    const std::string prefix = "HCY ERROR: ";
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

// A recognisable block of `n` samples.
inline Samples Block(std::size_t n, int seed = 1) {
    Samples v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::int16_t>((static_cast<int>(i) * 37 * seed) % 20000 - 10000 + seed);
    return v;
}

inline bool AllZero(const Samples& v) {
    return std::all_of(v.begin(), v.end(), [](std::int16_t s) { return s == 0; });
}

// `heard` (interleaved left, right) starts with `block` on the channels asked for.
inline void ExpectHeard(const Samples& heard, const Samples& block, bool left = true,
                        bool right = true) {
    ASSERT_GE(heard.size(), 2 * block.size());
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[2 * i], left ? block[i] : 0) << i;
        ASSERT_EQ(heard[2 * i + 1], right ? block[i] : 0) << i;
    }
}

// One output endpoint with its sink and a DirectSound object on it.
struct Speaker {
    std::shared_ptr<plat::vsnd::MemorySink> sink = std::make_shared<plat::vsnd::MemorySink>();
    plat::GUID guid{};
    plat::LPDIRECTSOUND ds;

    // leadMs: the write cursor's lead [ms]; -1: none on the manual clock.
    explicit Speaker(const char* name, int leadMs = -1) {
        plat::vsnd::OutputEndpointConfig c;
        c.description = name;
        c.sink = sink;
        c.writeLeadMs = leadMs;
        guid = plat::vsnd::CreateOutputEndpoint(c).guid;
        EXPECT_EQ(plat::DirectSoundCreate(&guid, &ds, nullptr), plat::DS_OK);
    }
    ~Speaker() {
        if (ds) ds->Release();
    }
};

// A virtual card: speakers (a memory sink, `outputChannels` channels) and a
// microphone (a ramp unless another source is given).
struct Card {
    plat::GUID speakers{}, mic{};
    plat::UINT micId = 0;
    std::shared_ptr<plat::vsnd::MemorySink> sink = std::make_shared<plat::vsnd::MemorySink>();
    explicit Card(std::shared_ptr<plat::vsnd::Source> source = nullptr,
                  unsigned outputChannels = 2) {
        plat::vsnd::RemoveAllEndpoints();
        plat::vsnd::OutputEndpointConfig out;
        out.sink = sink;
        out.format.channels = outputChannels;
        speakers = plat::vsnd::CreateOutputEndpoint(out).guid;
        plat::vsnd::InputEndpointConfig in;
        in.source = source ? std::move(source) : std::make_shared<plat::vsnd::RampSource>();
        const auto id = plat::vsnd::CreateInputEndpoint(in);
        mic = id.guid;
        micId = id.waveInId;
    }
    ~Card() { plat::vsnd::RemoveAllEndpoints(); }
};

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UseManualClock();
        plat::vsnd::RemoveAllEndpoints();
        Defaults();
        speaker = std::make_unique<Speaker>("Speaker", leadMs_);
    }
    void TearDown() override {
        speaker.reset();
        plat::vsnd::RemoveAllEndpoints();
        Defaults();
        plat::UseRealClock();
    }
    static void Defaults() {
        theApp.ClearError();
        hcy::Library().m_nMaxRecvValue = -1;
        hcy::Library().m_nDefaultSampleRate = 16000;
        hcy::Library().m_bOldWindowsNT = false;
    }

    // Moves time on by `ms`: the speaker mixes 16 frames per ms.
    static void Advance(plat::DWORD ms) { plat::AdvanceClock(ms); }
    // Plays `ms` and returns what the speaker heard meanwhile.
    Samples Hear(plat::DWORD ms) {
        speaker->sink->Clear();
        Advance(ms);
        return speaker->sink->Samples();
    }

    using Buffer = plat::LPDIRECTSOUNDBUFFER;
    static long Volume(const Buffer& b) {
        long v = 1;
        b->GetVolume(&v);
        return v;
    }
    static long Pan(const Buffer& b) {
        long p = 1;
        b->GetPan(&p);
        return p;
    }
    static bool Playing(const Buffer& b) {
        plat::DWORD status = 0;
        b->GetStatus(&status);
        return (status & plat::DSBSTATUS_PLAYING) != 0;
    }
    // The whole contents of a platform buffer; with `fill`, set every byte first.
    static std::vector<std::uint8_t> Contents(const Buffer& b, int fill = -1) {
        void *p1 = nullptr, *p2 = nullptr;
        plat::DWORD n1 = 0, n2 = 0;
        EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, plat::DSBLOCK_ENTIREBUFFER), plat::DS_OK);
        if (fill >= 0) std::memset(p1, fill, n1);
        std::vector<std::uint8_t> out(static_cast<std::uint8_t*>(p1),
                                      static_cast<std::uint8_t*>(p1) + n1);
        b->Unlock(p1, n1, p2, n2);
        return out;
    }

    void WriteConfig(const std::string& text) { WriteFile(dir_.file("Tervale.cfg"), text); }

    // A configuration folder of the test's own.
    TempDir dir_;
    ScopedEnv home_{"XDG_CONFIG_HOME", dir_.path()};
    ScopedCwd cwd_{dir_.path()};
    std::unique_ptr<Speaker> speaker;
    int leadMs_ = -1;  // the speaker's write cursor lead [ms]
};

}  // namespace hcytest
