#pragma once
// A virtual speaker for output-buffer and receive-path tests: an output
// endpoint that mixes into a memory sink, driven by the manual clock, with a
// DirectSound object on it, and a configuration folder of the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/app.h"
#include "hcyplat/clock.h"
#include "hcyplat/dsound.h"
#include "hcyplat/virtual_sound.h"
#include "support/test_support.h"

namespace hcytest {

// One output endpoint with its sink and a DirectSound object on it.
struct Speaker {
    std::shared_ptr<plat::vsnd::MemorySink> sink = std::make_shared<plat::vsnd::MemorySink>();
    plat::GUID guid{};
    plat::LPDIRECTSOUND ds;

    explicit Speaker(const char* name) {
        plat::vsnd::OutputEndpointConfig c;
        c.description = name;
        c.sink = sink;
        guid = plat::vsnd::CreateOutputEndpoint(c).guid;
        EXPECT_EQ(plat::DirectSoundCreate(&guid, &ds, nullptr), plat::DS_OK);
    }
    ~Speaker() {
        if (ds) ds->Release();
    }
};

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", dir_.path());
        cwd_ = std::make_unique<ScopedCwd>(dir_.path());
        plat::UseManualClock();
        plat::vsnd::RemoveAllEndpoints();
        theApp.ClearError();
        theApp.m_nMaxRecvValue = -1;
        theApp.m_nDefaultSampleRate = 16000;
        theApp.m_bOldWindowsNT = false;
        speaker = std::make_unique<Speaker>("Speaker");
    }

    void TearDown() override {
        speaker.reset();
        plat::vsnd::RemoveAllEndpoints();
        theApp.m_nDefaultSampleRate = 16000;
        theApp.m_bOldWindowsNT = false;
        theApp.m_nMaxRecvValue = -1;
        plat::UseRealClock();
        cwd_.reset();
        home_.reset();
    }

    // Moves time on by `ms`: the speaker mixes 16 frames per ms.
    static void Advance(plat::DWORD ms) { plat::AdvanceClock(ms); }

    // Plays `ms` and returns what the speaker heard meanwhile (interleaved
    // left, right).
    std::vector<std::int16_t> Hear(plat::DWORD ms, Speaker* s = nullptr) {
        Speaker& sp = s ? *s : *speaker;
        sp.sink->Clear();
        Advance(ms);
        return sp.sink->Samples();
    }

    static long Volume(const plat::LPDIRECTSOUNDBUFFER& b) {
        long v = 1;
        b->GetVolume(&v);
        return v;
    }
    static long Pan(const plat::LPDIRECTSOUNDBUFFER& b) {
        long p = 1;
        b->GetPan(&p);
        return p;
    }
    static bool Playing(const plat::LPDIRECTSOUNDBUFFER& b) {
        plat::DWORD status = 0;
        b->GetStatus(&status);
        return (status & plat::DSBSTATUS_PLAYING) != 0;
    }

    // The whole contents of a platform buffer.
    static std::vector<std::uint8_t> Contents(const plat::LPDIRECTSOUNDBUFFER& b) {
        void *p1 = nullptr, *p2 = nullptr;
        plat::DWORD n1 = 0, n2 = 0;
        EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, plat::DSBLOCK_ENTIREBUFFER), plat::DS_OK);
        std::vector<std::uint8_t> out(static_cast<std::uint8_t*>(p1), static_cast<std::uint8_t*>(p1) + n1);
        b->Unlock(p1, n1, p2, n2);
        return out;
    }
    static void Fill(const plat::LPDIRECTSOUNDBUFFER& b, std::uint8_t value) {
        void *p1 = nullptr, *p2 = nullptr;
        plat::DWORD n1 = 0, n2 = 0;
        ASSERT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, plat::DSBLOCK_ENTIREBUFFER), plat::DS_OK);
        std::memset(p1, value, n1);
        b->Unlock(p1, n1, p2, n2);
    }

    void WriteConfig(const std::string& text) { hcytest::WriteFile(dir_.file("Tervale.cfg"), text); }

    // A recognisable block of `n` samples.
    static std::vector<std::int16_t> Block(std::size_t n, int seed = 1) {
        std::vector<std::int16_t> v(n);
        for (std::size_t i = 0; i < n; ++i)
            v[i] = static_cast<std::int16_t>((static_cast<int>(i) * 37 * seed) % 20000 - 10000 + seed);
        return v;
    }

    TempDir dir_;
    std::unique_ptr<ScopedEnv> home_;
    std::unique_ptr<ScopedCwd> cwd_;
    std::unique_ptr<Speaker> speaker;
};

}  // namespace hcytest
