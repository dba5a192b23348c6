// The exports' results and messages before hcyInit, with unknown handles,
// and with stand-in radios, interphones and devices in the tables.
#include <cmath>
#include <functional>

#include "support/library_fixture.h"
#include "support/stand_ins.h"

using hcytest::StandInDevice;
using hcytest::StandInInterphone;
using hcytest::StandInRadio;

namespace {

struct Case {
    const char* name;
    std::function<int()> call;
    int result;
    const char* message;  // null: the last error stays as it was
};

void Expect(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        theApp.SetError("before");
        EXPECT_EQ(c.call(), c.result) << c.name;
        const std::string expected =
            c.message ? std::string("HCY ERROR: ") + c.message : std::string("HCY ERROR: before");
        EXPECT_EQ(std::string(hcyGetLastError()), expected) << c.name;
    }
}

constexpr const char* NI = "Tervale has not been initialized";

}  // namespace

TEST_F(LibraryTest, ExportsBeforeInit) {
    float gains[2] = {1.0f, 1.0f};
    int out = 0;
    Expect({
        {"CreateComRadio", [] { return hcyCreateComRadio(0, 0, 0, 0, 0); }, -1, NI},
        {"CreateInterphone", [] { return hcyCreateInterphone(1, 0, 0, 0, 0); }, -1, NI},
        {"OpenAudioDevice", [] { return hcyOpenAudioDevice(0, nullptr, nullptr); }, -1, NI},
        {"OpenAudioDeviceDefault", [] { return hcyOpenAudioDeviceDefault(); }, -1, NI},
        {"OpenSplitDeviceDS", [] { return hcyOpenSplitDeviceDS(nullptr, nullptr); }, -1, NI},
        {"OpenMultiDevice", [] { return hcyOpenMultiDevice(0, nullptr, 2, 2); }, -1, NI},
        {"OpenMultiDeviceDS", [] { return hcyOpenMultiDeviceDS(1, 1); }, -1, nullptr},
        {"OpenRecordDevice", [] { return hcyOpenRecordDevice(0); }, -1, NI},
        {"OpenPlaybackDevice", [] { return hcyOpenPlaybackDevice(); }, -1, NI},
        {"OpenDataDevice", [] { return hcyOpenDataDevice(500, nullptr, nullptr); }, -1, NI},
        {"SetComRadioRecv", [] { return hcySetComRadioRecv(1, 2, 0, 1); }, 0, NI},
        {"SetComMultiRecv", [&] { return hcySetComMultiRecv(1, 2, 1, gains, 2); }, 0, NI},
        {"SetComRadioXmit", [] { return hcySetComRadioXmit(1, 2, 1); }, 0, NI},
        {"SetComStereoXmit", [] { return hcySetComStereoXmit(1, 2, 8, 1); }, 0, NI},
        {"SetComMultiXmit", [] { return hcySetComMultiXmit(1, 2, nullptr, 1); }, 0, NI},
        {"ShowRadioData", [] { return hcyShowRadioData(1); }, 0, NI},
        {"PlayWavFile", [] { return hcyPlayWavFile(1, "a.wav", 1.0f, 0, 0); }, 0, NI},
        {"StopWavFile", [] { return hcyStopWavFile(1, 0); }, 0, NI},
        {"HLAInit", [] { return hcyHLAInit(1, 1, "fed"); }, 0, NI},
        {"SetNetworkPort", [] { return hcySetNetworkPort(3000); }, 0, NI},
        {"SetSecondaryPort", [] { return hcySetSecondaryPort(3001); }, 0, NI},
        {"SetMulticastTTL", [] { return hcySetMulticastTTL(3, 1); }, 0, NI},
        {"SetSubNet", [] { return hcySetSubNet(1, "127.0.0.1"); }, 0, NI},
        {"SetRadioXmitPower", [] { return hcySetRadioXmitPower(5, 1.0); }, 0,
         "Invalid radio handle sent to SetRadioXmitPower."},
        {"SetSquelchLevel", [] { return hcySetSquelchLevel(5, 1.0f); }, 0,
         "SetSquelchLevel error. Invalid radio handle.\n"},
        {"SetEncoding", [] { return hcySetEncoding(5, 1); }, 0,
         "SetEncoding error. Invalid radio handle.\n"},
        {"SetRadioSharingMode", [] { return hcySetRadioSharingMode(5, 1); }, 0,
         "Invalid radio handle in call to SetRadioSharingMode."},
        {"SetRadioData", [] { return hcySetRadioData(5, 205, 0); }, 0,
         "Invalid radio handle in call to SetRadioData."},
        {"GetRadioData", [&] { return hcyGetRadioData(5, 101, &out); }, 0,
         "Invalid radio handle in call to GetRadioData."},
        {"SetNetwork", [] { return hcySetNetwork(5, 1); }, 0, "Invalid handle sent to SetNetwork."},
        {"SetExerciseID", [] { return hcySetExerciseID(5, 1); }, 0,
         "Invalid handle sent to SetExerciseID."},
        {"SetMsgWnd", [] { return hcySetMsgWnd(5, 1); }, 0,
         "SetMsgWnd error. Invalid radio handle.\n"},
        {"SetRadioFrequency", [] { return hcySetRadioFrequency(5, 3e7, 3e7); }, 0, nullptr},
        {"SetRadioNet", [] { return hcySetRadioNet(5, 1); }, 0, nullptr},
        {"SetMasterVolume", [] { return hcySetMasterVolume(5, 0.5f); }, 0, nullptr},
        {"DestroyComRadio", [] { return hcyDestroyComRadio(5); }, 0, nullptr},
        {"DestroyInterphone", [] { return hcyDestroyInterphone(5); }, 0, nullptr},
        {"InterphoneDial", [] { return hcyInterphoneDial(5, 2); }, 0, nullptr},
        {"CloseAudioDevice", [] { return hcyCloseAudioDevice(5); }, 0, nullptr},
        {"CloseRecordDevice", [] { return hcyCloseRecordDevice(5); }, 0, nullptr},
        {"SetRadioPTT", [] { return hcySetRadioPTT(5, 1, 0); }, 0,
         "Invalid audio device handle sent to SetRadioPTT."},
        {"SetVoxEnable", [] { return hcySetVoxEnable(5, 1); }, 0,
         "SetVoxEnable error. Invalid device handle.\n"},
        {"SetMutliVoxLevel", [] { return hcySetMutliVoxLevel(5, 1, 0.1f); }, 0,
         "SetMultiVoxLevel error. Invalid device handle.\n"},
        {"SetSidetoneVolume", [] { return hcySetSidetoneVolume(5, 0.5f); }, 0, nullptr},
        {"SetDeviceData", [] { return hcySetDeviceData(5, 401, 0); }, 0, nullptr},
        {"GetDeviceData",
         [&] { return hcyGetDeviceData(5, 450, reinterpret_cast<intptr_t>(&out)); }, 0,
         "Invalid radio handle in call to GetDeviceData."},
        {"PostDataDevice", [] { return hcyPostDataDevice(5, 0, 0); }, 0, nullptr},
        {"StartRecord", [] { return hcyStartRecord(5, 0, 0); }, 0,
         "Invalid record/playback device."},
        {"GetCurrentRecPosn", [] { return hcyGetCurrentRecPosn(5); }, 0,
         "hcyGetCurrentRecPosn error; invalid record device."},
        {"SetNewPlayPosn", [] { return hcySetNewPlayPosn(5, 0); }, 0,
         "SetNewPlayPos - Invalid playback device."},
        {"GetCurrentPlayPosn", [] { return hcyGetCurrentPlayPosn(5); }, 0, nullptr},
        {"SetCaptureSize default", [] { return hcySetCaptureSize(-1, 64); }, 1, nullptr},
        {"SetCaptureSize device", [] { return hcySetCaptureSize(3, 64); }, 0, NI},
        {"SetCaptureSize 63", [] { return hcySetCaptureSize(-1, 63); }, 0,
         "Capture buffer size must be between 64 and 65536"},
        {"SetCaptureSize 65537", [] { return hcySetCaptureSize(-1, 65537); }, 0,
         "Capture buffer size must be between 64 and 65536"},
    });
    std::int32_t value = 0;
    EXPECT_EQ(hcyGetRadioData(9, RD_MAX_RECV_VALUE, &value), 1);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(hcySetCaptureSize(-1, 65536), 1);
    EXPECT_EQ(theApp.m_nCaptureSize, 65536u);
}

TEST_F(LibraryTest, LibrarySwitches) {
    EXPECT_EQ(hcyEnablePDUs(3), 1);
    EXPECT_EQ(theApp.m_nEnablePDUs, 1u);
    EXPECT_EQ(hcySetProtocolVersion(5), 1);
    EXPECT_EQ(theApp.m_nProtocolVersion, 5u);
    hcySetProtocolVersion(6);
    EXPECT_EQ(hcySetDefaultNetwork(NET_SECONDARY), 1);
    EXPECT_EQ(theApp.m_nDefaultNetwork, NET_SECONDARY);
    hcySetDefaultNetwork(NET_PRIMARY);
    EXPECT_EQ(hcySetHLAHeartbeat(1), 1);
    EXPECT_TRUE(theApp.m_bHlaHeartbeat);
    EXPECT_EQ(hcySetDefaultSampleRate(8000), 1);
    EXPECT_EQ(theApp.m_nDefaultSampleRate, 8000u);
    hcySetDefaultSampleRate(16000);
}

class WiredLibraryTest : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        radio = std::make_shared<StandInRadio>();
        radioHandle = theApp.AddRadio(radio, nullptr);
        radio->SetUserId(static_cast<std::uint32_t>(radioHandle));
        interphone = std::make_shared<StandInInterphone>();
        interphoneHandle = theApp.AddInterphone(interphone);
        split = std::make_shared<StandInDevice>(CDevice::Kind::Split);
        split->SetHandle(theApp.TakeHandle());
        theApp.AddDevice(split);
    }
    std::shared_ptr<StandInRadio> radio;
    std::shared_ptr<StandInInterphone> interphone;
    std::shared_ptr<StandInDevice> split;
    int radioHandle = 0, interphoneHandle = 0;
};

TEST_F(WiredLibraryTest, WiringChecksComeInOrder) {
    const int nobody = 999;
    Expect({
        {"no radio and no device", [&] { return hcySetComRadioRecv(nobody, nobody, 0, 1); }, 0,
         "A radio must be created before calling SetComRadioRecv."},
        {"no device", [&] { return hcySetComRadioRecv(radioHandle, nobody, 0, 1); }, 0,
         "An audio device must be opened before calling SetComRadioRecv."},
        {"multi recv shares the messages",
         [&] { return hcySetComMultiRecv(nobody, 1, 1, nullptr, 0); }, 0,
         "A radio must be created before calling SetComRadioRecv."},
        {"xmit", [&] { return hcySetComRadioXmit(nobody, split->GetHandle(), 1); }, 0,
         "A radio must be created before calling SetComRadioXmit."},
        {"multi xmit on a split device",
         [&] { return hcySetComMultiXmit(radioHandle, split->GetHandle(), nullptr, 1); }, 0,
         "A multi-channel audio device must be created."},
        {"recv", [&] { return hcySetComRadioRecv(radioHandle, split->GetHandle(), 8, 1); }, 1,
         nullptr},
        {"interphone recv",
         [&] { return hcySetComRadioRecv(interphoneHandle, split->GetHandle(), 9, 1); }, 1,
         nullptr},
        {"xmit twice", [&] { return hcySetComRadioXmit(radioHandle, split->GetHandle(), 1); }, 1,
         nullptr},
        {"null gains",
         [&] { return hcySetComMultiRecv(radioHandle, split->GetHandle(), 1, nullptr, 2); }, 0,
         "Invalid channel gains sent to SetComMultiRecv."},
    });
}

TEST_F(WiredLibraryTest, RadioDataAndVolumeThroughEitherTable) {
    EXPECT_EQ(hcySetRadioData(interphoneHandle, 205, 0), 1);  // accepted and ignored
    std::uint32_t word = 7;
    EXPECT_EQ(hcyGetRadioData(interphoneHandle, 301, &word), 1);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(hcyGetRadioData(interphoneHandle, 101, &word), 0);
    EXPECT_EQ(hcyGetRadioData(radioHandle, 101, nullptr), 0);

    // A refused volume is reported, not passed off as success.
    EXPECT_EQ(hcySetMasterVolume(radioHandle, 1.5f), 0);
    EXPECT_EQ(hcySetMasterVolume(radioHandle, 0.5f), 1);
    EXPECT_EQ(hcySetMasterVolume(interphoneHandle, -0.1f), 0);
    // A device handle names no radio.
    EXPECT_EQ(hcySetRadioXmitPower(split->GetHandle(), 1.0), 0);
}

TEST_F(WiredLibraryTest, NonFiniteNumbersAreRefused) {
    EXPECT_EQ(hcySetRadioXmitPower(radioHandle, std::nan("")), 0);
    EXPECT_EQ(std::string(hcyGetLastError()),
              "HCY ERROR: Non-finite value sent to SetRadioXmitPower.");
    EXPECT_EQ(hcySetRadioFrequency(radioHandle, INFINITY, 3e7), 0);
    EXPECT_EQ(hcySetAntRelPosn(radioHandle, 0.0f, NAN, 0.0f), 0);
    EXPECT_EQ(hcySetSplitVoxLevel(split->GetHandle(), 0.1f, INFINITY), 0);
}

TEST_F(WiredLibraryTest, PostDataOnlyToDataDevicesWithData) {
    std::int16_t samples[4] = {};
    EXPECT_EQ(hcyPostDataDevice(split->GetHandle(), reinterpret_cast<intptr_t>(samples), 8), 0);
    auto data = std::make_shared<StandInDevice>(CDevice::Kind::Data);
    data->SetHandle(theApp.TakeHandle());
    theApp.AddDevice(data);
    EXPECT_EQ(hcyPostDataDevice(data->GetHandle(), reinterpret_cast<intptr_t>(samples), 8), 1);
    EXPECT_EQ(hcyPostDataDevice(data->GetHandle(), 0, 8), 0);
    EXPECT_EQ(hcyPostDataDevice(data->GetHandle(), reinterpret_cast<intptr_t>(samples), -8), 0);
}
