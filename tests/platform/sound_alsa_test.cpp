// The ALSA back end against ALSA's own null and file devices, defined in a
// private configuration (ALSA_CONFIG_PATH): enumeration with stable ids,
// the default device, rendering into a file, capturing from one, a device
// that is not there and one that fails mid-stream. Skipped in a build
// without the back end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hcyplat/clock.h"
#include "hcyplat/dsound.h"
#include "hcyplat/mmsystem.h"
#include "hcyplat/sound_devices.h"
#include "hcyplat/virtual_sound.h"
#include "support/test_support.h"

namespace {

using namespace plat;

constexpr DWORD kRate = 16000;  // [Hz]

WAVEFORMATEX Pcm(unsigned channels) {
    const auto align = static_cast<unsigned short>(2 * channels);
    return {
        WAVE_FORMAT_PCM, static_cast<unsigned short>(channels), kRate, kRate * align, align, 16, 0};
}

struct Listed {
    std::vector<std::string> names;
    std::vector<GUID> guids;
};

BOOL Collect(GUID* guid, const char* description, const char*, void* context) {
    auto* l = static_cast<Listed*>(context);
    if (guid) {
        l->names.emplace_back(description);
        l->guids.push_back(*guid);
    }
    return 1;
}

class AlsaBackend : public ::testing::Test {
protected:
    void SetUp() override {
        const auto all = vsnd::Backends();
        if (std::find(all.begin(), all.end(), "alsa") == all.end())
            GTEST_SKIP() << "built without the ALSA back end";
        UseRealClock();
        // 16 kHz mono ramp for the microphone to read, wrapping at 16 bits:
        // 10 s, as the device reads it from its open on (past its end it
        // gives silence).
        std::vector<std::int16_t> ramp(10 * kRate);
        for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(i);
        std::ofstream(dir_.file("ramp.raw"), std::ios::binary)
            .write(reinterpret_cast<const char*>(ramp.data()),
                   static_cast<std::streamsize>(ramp.size() * 2));
    }
    void TearDown() override { vsnd::RemoveAllEndpoints(); }

    // The private configuration: `extra` is added to the test devices.
    void Configure(const std::string& extra = "") {
        // A new file each time: ALSA reloads its configuration when the
        // list of files changes (a rewrite within a second would not show).
        const std::string file = dir_.file("asound" + std::to_string(++configs_) + ".conf");
        hcytest::WriteFile(file, R"(
pcm.hcy_out { type file slave.pcm { type null } file ")" +
                                     dir_.file("out.raw") + R"(" format "raw"
              hint { show on description "Test speaker" } }
pcm.hcy_in { type file slave.pcm { type null } file "/dev/null" infile ")" +
                                     dir_.file("ramp.raw") + R"(" format "raw"
             hint { show on description "Test microphone" } }
pcm.hcy_missing { type hw card 9 hint { show on description "Not there" } }
pcm.hcy_full { type file slave.pcm { type null } file "/dev/full" format "raw"
               hint { show on description "Full disk" } }
)" + extra);
        env_.reset();  // gives the variable back before it is set anew
        env_ = std::make_unique<hcytest::ScopedEnv>("ALSA_CONFIG_PATH", file);
    }

    static Listed Outputs() {
        Listed l;
        DirectSoundEnumerate(&Collect, &l);
        return l;
    }
    static GUID OutputNamed(const std::string& name) {
        const Listed l = Outputs();
        for (std::size_t i = 0; i < l.names.size(); ++i)
            if (l.names[i] == name) return l.guids[i];
        ADD_FAILURE() << "no output " << name;
        return {};
    }
    static LPDIRECTSOUNDBUFFER PlayConstant(const LPDIRECTSOUND& ds, std::int16_t value) {
        WAVEFORMATEX f = Pcm(1);
        DSBUFFERDESC d;
        d.dwFlags = 0x80E2;
        d.dwBufferBytes = 32000;  // 1 s
        d.lpwfxFormat = &f;
        LPDIRECTSOUNDBUFFER b;
        EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DS_OK);
        void *p1, *p2;
        DWORD n1, n2;
        EXPECT_EQ(b->Lock(0, 32000, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::fill_n(static_cast<std::int16_t*>(p1), n1 / 2, value);
        b->Unlock(p1, n1, p2, n2);
        EXPECT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        return b;
    }
    std::vector<std::int16_t> Written() const {
        std::ifstream f(dir_.file("out.raw"), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
        std::vector<std::int16_t> s(bytes.size() / 2);
        if (!s.empty()) std::memcpy(s.data(), bytes.data(), s.size() * 2);
        return s;
    }

    hcytest::TempDir dir_;
    std::unique_ptr<hcytest::ScopedEnv> env_;
    int configs_ = 0;
};

TEST_F(AlsaBackend, ListsTheConfiguredDevicesWithStableIdsAndTheDefaultFirst) {
    Configure();
    ASSERT_TRUE(vsnd::UseBackend("alsa"));
    const Listed first = Outputs();
    EXPECT_EQ(first.names,
              (std::vector<std::string>{"Test speaker [hcy_out]", "Test microphone [hcy_in]",
                                        "Not there [hcy_missing]", "Full disk [hcy_full]"}));
    EXPECT_EQ(waveInGetNumDevs(), 4u);
    ASSERT_TRUE(vsnd::UseBackend("alsa"));
    EXPECT_EQ(Outputs().guids, first.guids) << "ids are the same every time";

    // No default device: "auto" leaves the machine its virtual null device.
    ASSERT_TRUE(vsnd::UseBackend("auto"));
    EXPECT_EQ(Outputs().names, std::vector<std::string>{"Virtual Output"});
    // With one, "auto" takes ALSA and the default device comes first.
    Configure("pcm.!default { type null hint { show on description \"The card\" } }");
    ASSERT_TRUE(vsnd::UseBackend("auto"));
    EXPECT_EQ(Outputs().names.front(), "The card [default]");
    LPDIRECTSOUND ds;
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    ds->Release();
}

TEST_F(AlsaBackend, OutputRendersTheMixIntoTheDeviceAndInputCapturesFromIt) {
    Configure();
    ASSERT_TRUE(vsnd::UseBackend("alsa"));
    LPDIRECTSOUND ds;
    const GUID speaker = OutputNamed("Test speaker [hcy_out]");
    ASSERT_EQ(DirectSoundCreate(&speaker, &ds, nullptr), DS_OK);
    auto b = PlayConstant(ds, 1000);
    // 48 kHz stereo: 0.2 s of the constant on both channels.
    EXPECT_TRUE(hcytest::WaitFor([&] {
        const auto s = Written();
        return std::count(s.begin(), s.end(), std::int16_t{1000}) >= 2 * 9600;
    }));
    ds->Release();

    struct Got {
        std::atomic<int> full{0};
    } got;
    auto cb = [](HWAVEIN, UINT msg, DWORD_PTR inst, DWORD_PTR p1, DWORD_PTR) {
        auto* h = reinterpret_cast<WAVEHDR*>(p1);
        if (msg == WIM_DATA && h->dwBytesRecorded == h->dwBufferLength)
            ++reinterpret_cast<Got*>(inst)->full;
    };
    WAVEFORMATEX f = Pcm(1);
    HWAVEIN hwi = 0;
    ASSERT_EQ(waveInOpen(&hwi, 1, &f, reinterpret_cast<DWORD_PTR>(+cb),
                         reinterpret_cast<DWORD_PTR>(&got), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::int16_t> data[2] = {std::vector<std::int16_t>(1024),
                                         std::vector<std::int16_t>(1024)};
    WAVEHDR h[2];
    for (int i = 0; i < 2; ++i) {
        h[i].lpData = reinterpret_cast<char*>(data[i].data());
        h[i].dwBufferLength = 2048;
        waveInPrepareHeader(hwi, &h[i], sizeof h[i]);
        waveInAddBuffer(hwi, &h[i], sizeof h[i]);
    }
    ASSERT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
    ASSERT_TRUE(hcytest::WaitFor([&] { return got.full == 2; }));
    // The device runs from the open: what it gave before the start is not
    // recorded, so the ramp starts wherever the start found it.
    const std::int16_t first = data[0][0];
    for (std::size_t i = 0; i < 2048; ++i)
        ASSERT_EQ(data[i / 1024][i % 1024], static_cast<std::int16_t>(first + i))
            << "the ramp, unbroken";
    waveInReset(hwi);
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

TEST_F(AlsaBackend, AMissingDeviceIsRefusedAndAFailingOneIsLostWithoutAHang) {
    Configure();
    ASSERT_TRUE(vsnd::UseBackend("alsa"));
    LPDIRECTSOUND ds;
    const GUID missing = OutputNamed("Not there [hcy_missing]");
    EXPECT_EQ(DirectSoundCreate(&missing, &ds, nullptr), DSERR_NODRIVER);
    WAVEFORMATEX f = Pcm(1);
    HWAVEIN hwi = 0;
    EXPECT_EQ(waveInOpen(&hwi, 2, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInOpen(&hwi, 2, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER) << "and free";

    // Writing to a full disk fails after a few periods, on the device's own
    // thread: a buffer made before is lost for good, one made after is
    // refused, and the object closes.
    const GUID full = OutputNamed("Full disk [hcy_full]");
    ASSERT_EQ(DirectSoundCreate(&full, &ds, nullptr), DS_OK);
    DSBUFFERDESC d;
    d.dwFlags = 0x80E2;
    d.dwBufferBytes = 64;
    d.lpwfxFormat = &f;
    LPDIRECTSOUNDBUFFER b;
    const HRESULT made = ds->CreateSoundBuffer(&d, &b, nullptr);
    if (made == DS_OK) {
        const HRESULT played = b->Play(0, 0, DSBPLAY_LOOPING);
        EXPECT_TRUE(played == DS_OK || played == DSERR_BUFFERLOST) << played;
        EXPECT_TRUE(hcytest::WaitFor([&] {
            DWORD status = 0;
            b->GetStatus(&status);
            return (status & DSBSTATUS_BUFFERLOST) != 0;
        }));
        EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
        void *p1, *p2;
        DWORD n1, n2;
        EXPECT_EQ(b->Lock(0, 64, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    } else {
        EXPECT_EQ(made, DSERR_NODRIVER) << "already failed";
    }
    LPDIRECTSOUNDBUFFER other;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &other, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(ds->Release(), DS_OK);
}

}  // namespace
