// The exports' results and messages before hcyInit, with unknown handles,
// and with stand-in radios, interphones and devices in the tables.
#include <cmath>
#include <fstream>
#include <functional>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "support/library_fixture.h"
#include "support/stand_ins.h"

using hcytest::StandInDevice;
using hcytest::StandInInterphone;
using hcytest::StandInRadio;

namespace {

// One call of an export; `name` starts with the export's name (a variant
// adds words after a blank).
struct Case {
    const char* name;
    std::function<int()> call;
    int result;
    const char* message;  // null: the last error stays as it was; "": emptied
};

void Expect(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        theApp.SetError("before");
        EXPECT_EQ(c.call(), c.result) << c.name;
        const std::string expected = !c.message   ? std::string("HCY ERROR: before")
                                     : *c.message ? std::string("HCY ERROR: ") + c.message
                                                  : std::string();
        EXPECT_EQ(std::string(hcyGetLastError()), expected) << c.name;
    }
}

// The export names of the version script.
std::set<std::string> ExportNames() {
    std::ifstream map(HCY_TEST_SOURCE_DIR "/core/halcyra.map");
    std::set<std::string> names;
    std::string word;
    while (map >> word)
        if (word.rfind("hcy", 0) == 0) names.insert(word.substr(0, word.find(';')));
    return names;
}

constexpr const char* NI = "Tervale has not been initialized";

}  // namespace

// Every export once before hcyInit (hcyInit itself last): those that need
// the library fail with NI, those that look a handle up fail on it, the
// library-wide settings take their defaults again.
TEST_F(LibraryTest, EveryExportBeforeInit) {
    float gains[2] = {1.0f, 1.0f};
    int flags[2] = {1, 0};
    int out = 0;
    std::uint32_t word = 0;
    char name[8];
    HCYGUID guid{};
    auto text = [](const char* t) { return t != nullptr ? 1 : 0; };
    auto radio = [](const char* what) {
        static std::list<std::string> texts;  // the pointers stay valid
        texts.push_back(std::string("Invalid radio handle sent to ") + what + ".");
        return texts.back().c_str();
    };
    const std::vector<Case> cases = {
        {"hcyHLAInit", [] { return hcyHLAInit(1, 1, "fed"); }, 0, NI},
        {"hcyHLAInitEx", [] { return hcyHLAInitEx(1, 1, "fed", 1, nullptr, 1); }, 0, NI},
        {"hcyExit", [] { return hcyExit(); }, 1, nullptr},
        {"hcyGetHCYVersion", [&] { return text(hcyGetHCYVersion(&word)); }, 1, nullptr},
        {"hcyGetHCYCopyright", [&] { return text(hcyGetHCYCopyright()); }, 1, nullptr},
        {"hcyGetLastError", [&] { return text(hcyGetLastError()); }, 1, nullptr},
        {"hcySetHeartbeat", [] { return hcySetHeartbeat(3.0f); }, 1, nullptr},
        {"hcySetRecvTimeout",
         [] {
             hcySetRecvTimeout(9.0f);
             return 1;
         },
         1, nullptr},
        {"hcySetHLAHeartbeat", [] { return hcySetHLAHeartbeat(0); }, 1, nullptr},
        {"hcySetDefaultNetwork", [] { return hcySetDefaultNetwork(NET_PRIMARY); }, 1, nullptr},
        {"hcyEnablePDUs", [] { return hcyEnablePDUs(0); }, 1, nullptr},
        {"hcySetProtocolVersion", [] { return hcySetProtocolVersion(6); }, 1, nullptr},
        {"hcySetMsgWnd", [] { return hcySetMsgWnd(5, 1); }, 0,
         "SetMsgWnd error. Invalid radio handle.\n"},
        {"hcySetMsgWnd library window", [] { return hcySetMsgWnd(0, 0); }, 1, nullptr},
        {"hcySetNetworkPort", [] { return hcySetNetworkPort(3000); }, 0, NI},
        {"hcySetSecondaryPort", [] { return hcySetSecondaryPort(3001); }, 0, NI},
        {"hcySetMulticastTTL", [] { return hcySetMulticastTTL(3, 1); }, 0, NI},
        {"hcySetSubNet", [] { return hcySetSubNet(1, "127.0.0.1"); }, 0, NI},
        {"hcySetNetwork", [] { return hcySetNetwork(5, 1); }, 0,
         "Invalid handle sent to SetNetwork."},
        {"hcySetExerciseID", [] { return hcySetExerciseID(5, 1); }, 0,
         "Invalid handle sent to SetExerciseID."},
        {"hcySetEntityID", [] { return hcySetEntityID(5, 1, 2, 3, 4); }, 0,
         "Invalid radio handle sent to SetEntityID."},
        {"hcyGetOutputDevices", [&] { return hcyGetOutputDevices(1, name, 7, &guid); }, 0,
         "There are no compatible output devices present."},
        {"hcyGetCaptureDevices", [&] { return hcyGetCaptureDevices(1, name, 7, &guid); }, 0,
         "There are no compatible input devices present."},
        {"hcyGetInputDevices no first call", [&] { return hcyGetInputDevices(0, name, 7, &word); },
         0, "There are no compatible input devices present."},
        {"hcyOpenAudioDevice", [] { return hcyOpenAudioDevice(0, nullptr, nullptr); }, -1, NI},
        {"hcyOpenAudioDeviceEx", [] { return hcyOpenAudioDeviceEx(0, nullptr, nullptr, nullptr); },
         -1, NI},
        {"hcyOpenAudioDeviceSimple", [] { return hcyOpenAudioDeviceSimple(0, nullptr); }, -1, NI},
        {"hcyOpenAudioDeviceDefault", [] { return hcyOpenAudioDeviceDefault(); }, -1, NI},
        {"hcyOpenAudioDeviceSR", [] { return hcyOpenAudioDeviceSR(0, 8000, nullptr, 8000); }, -1,
         NI},
        {"hcyOpenAudioDeviceDS", [] { return hcyOpenAudioDeviceDS(nullptr, nullptr); }, -1, NI},
        {"hcyOpenSplitDevice", [] { return hcyOpenSplitDevice(0, nullptr, nullptr, nullptr); }, -1,
         NI},
        {"hcyOpenSplitDeviceSimple", [] { return hcyOpenSplitDeviceSimple(0, nullptr); }, -1, NI},
        {"hcyOpenSplitDeviceDefault", [] { return hcyOpenSplitDeviceDefault(); }, -1, NI},
        {"hcyOpenSplitDeviceSR", [] { return hcyOpenSplitDeviceSR(0, 8000, nullptr, 8000); }, -1,
         NI},
        {"hcyOpenSplitDeviceDS", [] { return hcyOpenSplitDeviceDS(nullptr, nullptr); }, -1, NI},
        {"hcyOpenMultiDevice", [] { return hcyOpenMultiDevice(0, nullptr, 2, 2); }, -1, NI},
        {"hcyOpenMultiDeviceDefault", [] { return hcyOpenMultiDeviceDefault(2, 2); }, -1, NI},
        {"hcyOpenMultiDeviceDS", [] { return hcyOpenMultiDeviceDS(1, 1); }, -1, nullptr},
        {"hcyOpenRecordDevice", [] { return hcyOpenRecordDevice(0); }, -1, NI},
        {"hcyOpenRecordDeviceEx", [] { return hcyOpenRecordDeviceEx(0, 4, nullptr); }, -1, NI},
        {"hcyOpenPlaybackDevice", [] { return hcyOpenPlaybackDevice(); }, -1, NI},
        {"hcyOpenDataDevice", [] { return hcyOpenDataDevice(500, nullptr, nullptr); }, -1, NI},
        {"hcyOpenDataDeviceSimple", [] { return hcyOpenDataDeviceSimple(500); }, -1, NI},
        {"hcyCloseAudioDevice", [] { return hcyCloseAudioDevice(5); }, 0, nullptr},
        {"hcyCloseSplitDevice", [] { return hcyCloseSplitDevice(5); }, 0, nullptr},
        {"hcyCloseMultiDevice", [] { return hcyCloseMultiDevice(5); }, 0, nullptr},
        {"hcyCloseDataDevice", [] { return hcyCloseDataDevice(5); }, 0, nullptr},
        {"hcyCloseRecordDevice", [] { return hcyCloseRecordDevice(5); }, 0, nullptr},
        {"hcyClosePlaybackDevice", [] { return hcyClosePlaybackDevice(5); }, 0, nullptr},
        {"hcySetCaptureSize largest", [] { return hcySetCaptureSize(-1, 65536); }, 1, nullptr},
        {"hcySetCaptureSize default", [] { return hcySetCaptureSize(-1, 2048); }, 1, nullptr},
        {"hcySetCaptureSize device", [] { return hcySetCaptureSize(3, 64); }, 0, NI},
        {"hcySetCaptureSize 63", [] { return hcySetCaptureSize(-1, 63); }, 0,
         "Capture buffer size must be between 64 and 65536"},
        {"hcySetCaptureSize 65537", [] { return hcySetCaptureSize(-1, 65537); }, 0,
         "Capture buffer size must be between 64 and 65536"},
        {"hcySetDefaultSampleRate", [] { return hcySetDefaultSampleRate(16000); }, 1, nullptr},
        {"hcySetMultiDeviceChannelMask", [] { return hcySetMultiDeviceChannelMask(0); }, 1,
         nullptr},
        {"hcySetSidetoneVolume", [] { return hcySetSidetoneVolume(5, 0.5f); }, 0, nullptr},
        {"hcySetVoxEnable", [] { return hcySetVoxEnable(5, 1); }, 0,
         "SetVoxEnable error. Invalid device handle.\n"},
        {"hcySetVoxLevel", [] { return hcySetVoxLevel(5, 0.1f); }, 0,
         "SetVoxLevel error. Invalid device handle.\n"},
        {"hcySetSplitVoxEnable", [] { return hcySetSplitVoxEnable(5, 1, 1); }, 0,
         "SetSplitVoxEnable error. Invalid device handle.\n"},
        {"hcySetSplitVoxLevel", [] { return hcySetSplitVoxLevel(5, 0.1f, 0.1f); }, 0,
         "SetSplitVoxLevel error. Invalid device handle.\n"},
        {"hcySetSplitVoxOffDelay", [] { return hcySetSplitVoxOffDelay(5, 1, 1); }, 0,
         "SetSplitVoxOffDelay error. Invalid device handle.\n"},
        {"hcySetMultiVoxEnable", [] { return hcySetMultiVoxEnable(5, 1, 1); }, 0,
         "SetMultiVoxEnable error. Invalid device handle.\n"},
        {"hcySetMutliVoxLevel", [] { return hcySetMutliVoxLevel(5, 1, 0.1f); }, 0,
         "SetMultiVoxLevel error. Invalid device handle.\n"},
        {"hcySetMultiVoxOffDelay", [] { return hcySetMultiVoxOffDelay(5, 1, 1); }, 0,
         "SetMultiVoxOffDelay error. Invalid device handle.\n"},
        {"hcySetDeviceData", [] { return hcySetDeviceData(5, 401, 0); }, 0, nullptr},
        {"hcyGetDeviceData",
         [&] { return hcyGetDeviceData(5, 450, reinterpret_cast<intptr_t>(&out)); }, 0,
         "Invalid radio handle in call to GetDeviceData."},
        {"hcyPostDataDevice", [] { return hcyPostDataDevice(5, 0, 0); }, 0, nullptr},
        {"hcyPlayWavFile", [] { return hcyPlayWavFile(1, "a.wav", 1.0f, 0, 0); }, 0, NI},
        {"hcyStopWavFile", [] { return hcyStopWavFile(1, 0); }, 0, NI},
        {"hcyStartRecord", [] { return hcyStartRecord(5, 0, 0); }, 0,
         "Invalid record/playback device."},
        {"hcySetRecordMode", [] { return hcySetRecordMode(5, 0); }, 0, "Invalid record device."},
        {"hcyGetCurrentRecPosn", [] { return hcyGetCurrentRecPosn(5); }, 0,
         "hcyGetCurrentRecPosn error; invalid record device."},
        {"hcyStopRecord", [] { return hcyStopRecord(5); }, 0, "Invalid record device."},
        {"hcySetPlaybackChan", [] { return hcySetPlaybackChan(5, 8); }, 0,
         "Invalid record device."},
        {"hcyStartPlayback", [] { return hcyStartPlayback(5, 0, 0); }, 0,
         "Invalid record/playback device."},
        {"hcySetNewPlayPosn", [] { return hcySetNewPlayPosn(5, 0); }, 0,
         "SetNewPlayPos - Invalid playback device."},
        {"hcyGetCurrentPlayPosn", [] { return hcyGetCurrentPlayPosn(5); }, 0, nullptr},
        {"hcyStopPlayback", [] { return hcyStopPlayback(5); }, 0,
         "Invalid record/playback device."},
        {"hcyCreateComRadio", [] { return hcyCreateComRadio(0, 0, 0, 0, 0); }, -1, NI},
        {"hcyDestroyComRadio", [] { return hcyDestroyComRadio(5); }, 0, nullptr},
        {"hcyCreateInterphone", [] { return hcyCreateInterphone(1, 0, 0, 0, 0); }, -1, NI},
        {"hcyDestroyInterphone", [] { return hcyDestroyInterphone(5); }, 0, nullptr},
        {"hcyInterphoneDial", [] { return hcyInterphoneDial(5, 2); }, 0, nullptr},
        {"hcyInterphoneSetHook", [] { return hcyInterphoneSetHook(5, 1); }, 0, nullptr},
        {"hcyInterphoneSetStationID", [] { return hcyInterphoneSetStationID(5, 1); }, 0, nullptr},
        {"hcySetRadioFrequency", [] { return hcySetRadioFrequency(5, 3e7, 3e7); }, 0, nullptr},
        {"hcySetRadioNet", [] { return hcySetRadioNet(5, 1); }, 0, nullptr},
        {"hcySetMasterVolume", [] { return hcySetMasterVolume(5, 0.5f); }, 0, nullptr},
        {"hcySetSquelchLevel", [] { return hcySetSquelchLevel(5, 1.0f); }, 0,
         "SetSquelchLevel error. Invalid radio handle.\n"},
        {"hcySetEncoding", [] { return hcySetEncoding(5, 1); }, 0,
         "SetEncoding error. Invalid radio handle.\n"},
        {"hcySetAntWorldPosn", [] { return hcySetAntWorldPosn(5, 1, 2, 3); }, 0,
         radio("SetAntWorldPosn")},
        {"hcySetAntXYZPosn", [] { return hcySetAntXYZPosn(5, 1, 2, 3); }, 0,
         radio("SetAntXYZPosn")},
        {"hcySetAntRelPosn", [] { return hcySetAntRelPosn(5, 1, 2, 3); }, 0,
         radio("SetAntRelPosn")},
        {"hcySetRadioNoiseLevel", [] { return hcySetRadioNoiseLevel(5, 1e-11); }, 0,
         radio("SetRadioNoiseLevel")},
        {"hcySetRadioXmitPower", [] { return hcySetRadioXmitPower(5, 1.0); }, 0,
         radio("SetRadioXmitPower")},
        {"hcySetRadioRecvGain", [] { return hcySetRadioRecvGain(5, 1.0); }, 0,
         radio("SetRadioRecvGain")},
        {"hcySetRadioCryptoSystem", [] { return hcySetRadioCryptoSystem(5, 1); }, 0,
         radio("SetRadioCryptoSystem")},
        {"hcySetRadioCryptoKey", [] { return hcySetRadioCryptoKey(5, 1); }, 0,
         radio("SetRadioCryptoKey")},
        {"hcySetRadioSpreadSpectrum", [] { return hcySetRadioSpreadSpectrum(5, 1); }, 0,
         radio("SetRadioSpreadSpectrum")},
        {"hcySetRadioFreqHopKey", [] { return hcySetRadioFreqHopKey(5, 1); }, 0,
         radio("SetRadioFreqHopKey")},
        {"hcySetRadioModulation", [] { return hcySetRadioModulation(5, 3, 1); }, 0,
         radio("SetRadioModulation")},
        {"hcySetRadioBandwidth", [] { return hcySetRadioBandwidth(5, 100.0f); }, 0,
         radio("SetRadioBandwidth")},
        {"hcySetRadioSystem", [] { return hcySetRadioSystem(5, 1); }, 0, radio("SetRadioSystem")},
        {"hcySetRadioOnOff", [] { return hcySetRadioOnOff(5, 1); }, 0, radio("SetRadioOnOff")},
        {"hcySetRadioTransmitDelay", [] { return hcySetRadioTransmitDelay(5, 10); }, 0,
         radio("SetRadioTransmitDelay")},
        {"hcySetRadioSignalAtten", [] { return hcySetRadioSignalAtten(5, 1, 2, 3, 0.5f); }, 0,
         radio("SetRadioSignalAtten")},
        {"hcySetSNR", [] { return hcySetSNR(5, 1, 2, 3, 4, 0.5f); }, 0, radio("SetSNR")},
        {"hcySetEntityAttach", [] { return hcySetEntityAttach(5, 1); }, 0,
         radio("SetEntityAttach")},
        {"hcySetDoPropLossModel", [] { return hcySetDoPropLossModel(5, 1); }, 0,
         radio("SetDoPropLossModel")},
        {"hcySetDoRoundEarthModel", [] { return hcySetDoRoundEarthModel(5, 1); }, 0,
         radio("SetDoRoundEarthModel")},
        {"hcySetDoTerrainModel", [] { return hcySetDoTerrainModel(5, 1); }, 0,
         radio("SetDoTerrainModel")},
        {"hcySetDoTunerModel", [] { return hcySetDoTunerModel(5, 1); }, 0,
         radio("SetDoTunerModel")},
        {"hcySetDoSquelchModel", [] { return hcySetDoSquelchModel(5, 1); }, 0,
         radio("SetDoSquelchModel")},
        {"hcySetRadioSharingMode", [] { return hcySetRadioSharingMode(5, 1); }, 0,
         "Invalid radio handle in call to SetRadioSharingMode."},
        {"hcySetRadioData", [] { return hcySetRadioData(5, 205, 0); }, 0,
         "Invalid radio handle in call to SetRadioData."},
        {"hcyGetRadioData", [&] { return hcyGetRadioData(5, 101, &out); }, 0,
         "Invalid radio handle in call to GetRadioData."},
        {"hcyShowRadioData", [] { return hcyShowRadioData(1); }, 0, NI},
        {"hcySetComRadioRecv", [] { return hcySetComRadioRecv(1, 2, 0, 1); }, 0, NI},
        {"hcySetComMultiRecv", [&] { return hcySetComMultiRecv(1, 2, 1, gains, 2); }, 0, NI},
        {"hcySetComRadioXmit", [] { return hcySetComRadioXmit(1, 2, 1); }, 0, NI},
        {"hcySetComStereoXmit", [] { return hcySetComStereoXmit(1, 2, 8, 1); }, 0, NI},
        {"hcySetComMultiXmit", [&] { return hcySetComMultiXmit(1, 2, flags, 2); }, 0, NI},
        {"hcySetRadioPTT", [] { return hcySetRadioPTT(5, 1, 0); }, 0,
         "Invalid audio device handle sent to SetRadioPTT."},
        {"hcyInit", [] { return hcyInit(0, "127.0.0.1"); }, 1, ""},
    };
    Expect(cases);

    std::set<std::string> covered;
    for (const auto& c : cases) {
        const std::string n = c.name;
        covered.insert(n.substr(0, n.find(' ')));
    }
    EXPECT_EQ(covered.size(), 120u);
    EXPECT_EQ(covered, ExportNames());

    // The settings kept their defaults.
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, 12);
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, 36);
    EXPECT_EQ(hcy::Library().m_nCaptureSize, 2048u);
    std::int32_t value = 0;
    EXPECT_EQ(hcyGetRadioData(9, RD_MAX_RECV_VALUE, &value), 1);
    EXPECT_EQ(value, -1);
}

TEST_F(LibraryTest, LibrarySwitches) {
    EXPECT_EQ(hcyEnablePDUs(3), 1);
    EXPECT_EQ(hcy::Library().m_nEnablePDUs, 1u);
    EXPECT_EQ(hcySetProtocolVersion(5), 1);
    EXPECT_EQ(hcy::Library().m_nProtocolVersion, 5u);
    hcySetProtocolVersion(6);
    EXPECT_EQ(hcySetDefaultNetwork(NET_SECONDARY), 1);
    EXPECT_EQ(hcy::Library().m_nDefaultNetwork, NET_SECONDARY);
    hcySetDefaultNetwork(NET_PRIMARY);
    EXPECT_EQ(hcySetHLAHeartbeat(1), 1);
    EXPECT_TRUE(hcy::Library().m_bHlaHeartbeat);
    EXPECT_EQ(hcySetDefaultSampleRate(8000), 1);
    EXPECT_EQ(hcy::Library().m_nDefaultSampleRate, 8000u);
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
