// The secure radio and the models built on it (SINCGARS, ARC-164, ARC-186,
// ARC-190): what they hear by crypto, hop net and tuning, how they tune and
// key, and what their Transmitter PDUs carry.
#include <cmath>
#include <tuple>

#include "secure_fixture.h"

namespace {

using namespace hcytest;
using namespace hcytest::secure;

// ---------------------------------------------------------------------------
// Secure

TEST_F(SecureModels, CryptoSystemAndKeyDecideWhatIsDecoded) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SECURE, p);
    radio->SetCryptoSystem(3);
    radio->SetCryptoKey(5);
    struct Row {
        std::uint16_t system, key;
        std::uint32_t plain;
        bool decoded;
    };
    for (const Row& row : {Row{3, 5, 0, true}, Row{3, 6, 0, false}, Row{4, 5, 0, false},
                           Row{0, 9, 0, true},  // no system: clear
                           Row{0, 9, 1, false}, Row{4, 0, 1, true}, Row{4, 0, 0, false}}) {
        SCOPED_TRACE(testing::Message() << row.system << "/" << row.key << " plain " << row.plain);
        Data(*radio, RD_ALLOW_PLAIN_XMIT, row.plain);
        const Heard h = Hear(*radio, p, {}, {.system = row.system, .key = row.key});
        ASSERT_NE(h.record, nullptr);  // heard either way: the squelch opens
        EXPECT_EQ(h.record->decodeOk, row.decoded);
        EXPECT_EQ(h.blocks, row.decoded ? 1u : 0u);
    }
}

TEST_F(SecureModels, HoppingRadiosHearTheirHopNetOnAnyFrequency) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SECURE, p);
    Data(*radio, RD_FH_NET_ID, std::uint16_t{0x0102});
    Data(*radio, RD_HOP_SET_ID, std::uint16_t{0x0304});
    Data(*radio, RD_LOCKOUT_SET_ID, std::uint16_t{0x0506});
    Data(*radio, RD_FH_SYNC_OFFSET, std::uint32_t{0x0708090A});
    Data(*radio, RD_TRANSEC_KEY, std::uint16_t{0x0B0C});
    Data(*radio, RD_CLEAR_CHANNEL, std::uint8_t{1});
    const Bytes ours = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 1, 0};
    struct Row {
        const char* what;
        int radioHops, theyHop;
        int byte;  // changed in their record, -1: none
        bool heard;
    };
    const Row rows[] = {
        {"same net", 1, 1, -1, true},         {"net id", 1, 1, 1, false},
        {"hop set", 1, 1, 2, false},          {"lockout set", 1, 1, 5, false},
        {"sync offset", 1, 1, 11, false},     {"TRANSEC key", 1, 1, 12, false},
        {"start of message", 1, 1, 6, true},  {"clear channel", 1, 1, 14, true},
        {"they do not hop", 1, 0, -1, false}, {"we do not hop", 0, 1, -1, false},
        {"neither hops", 0, 0, -1, true},
    };
    std::uint16_t n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        radio->SetSpreadSpectrum(row.radioHops);
        Bytes theirs = ours;
        if (row.byte >= 0) theirs[static_cast<std::size_t>(row.byte)] ^= 0x80;
        // Off tune and on the radio's tuning: hopping makes the frequency no matter.
        const double f = row.radioHops && row.theyHop ? 52e6 : 30e6;
        TransmitterSpec s{.id = {{10, 20, 30}, ++n}, .frequency = f, .parameters = theirs};
        const Heard h = Hear(*radio, p, s, {.spread = static_cast<std::uint16_t>(row.theyHop)});
        EXPECT_EQ(h.blocks == 1, row.heard);
    }
}

TEST_F(SecureModels, TunerHearsTheBandwidthInTheRadiosModulationAndNothingAtZero) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SECURE, p);
    struct Row {
        double tuned, sent;
        std::uint16_t detail;
        bool heard;
    };
    std::uint16_t n = 0;
    for (const Row& row :
         {Row{30e6, 30e6 + 100, 1, true}, Row{30e6, 30e6 - 100, 1, true},
          Row{30e6, 30e6 + 101, 1, false}, Row{30e6, 30e6, 2, false}, Row{0.0, 0.0, 1, false}}) {
        SCOPED_TRACE(row.sent);
        radio->SetFrequency(row.tuned, row.tuned);
        TransmitterSpec s{.id = {{10, 20, 30}, ++n}, .frequency = row.sent, .bandwidth = 0.0f};
        EXPECT_EQ(Hear(*radio, p, s, {.detail = row.detail}).record != nullptr, row.heard);
    }
}

// Both antennas 10 m up, 27 km apart: beyond the generic horizons
// (2 x 13038 m), within the secure ones (2 x 13675 m).
TEST_F(SecureModels, LineOfSightCountsOneMetreMoreOfHeight) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SECURE, p);
    const double r = 6378147.0, angle = 2.0 * std::asin(13500.0 / r);
    radio->SetXYZPosition(r, 0.0, 0.0);
    this->radio->SetXYZPosition(r, 0.0, 0.0);
    const TransmitterSpec s{.x = r * std::cos(angle), .y = r * std::sin(angle)};
    const Heard secure = Hear(*radio, p, s);
    ASSERT_NE(secure.record, nullptr);
    EXPECT_EQ(secure.record->lineOfSight, 1.0);
    Path(0).gains.clear();
    Deliver(*this->radio, Pdu(s, {}));
    ASSERT_NE(Started(Path(0)), nullptr);
    EXPECT_NEAR(Started(Path(0))->lineOfSight, 1.0 - (27000.0 - 26076.81) / 2700.0, 1e-4);
}

TEST_F(SecureModels, TheHopNetRecordGoesInNetworkOrderAndMarksTheStartOfMessage) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SECURE, p);
    radio->Heartbeat();
    EXPECT_EQ(Parameters(), (Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    Data(*radio, RD_FH_NET_ID, std::uint16_t{0x1234});
    radio->SetFreqHopKey(0x99);  // the net id's low byte
    Data(*radio, RD_HOP_SET_ID, std::uint16_t{0x0506});
    Data(*radio, RD_LOCKOUT_SET_ID, std::uint16_t{0x0708});
    Data(*radio, RD_FH_SYNC_OFFSET, std::uint32_t{0x090A0B0C});
    Data(*radio, RD_TRANSEC_KEY, std::uint16_t{0x0D0E});
    Data(*radio, RD_CLEAR_CHANNEL, std::uint8_t{1});
    radio->SetSpreadSpectrum(1);
    ASSERT_EQ(radio->SetPTT(1, 2), 1);
    const Bytes keyed = {0x12, 0x99, 5, 6, 7, 8, 1, 0, 9, 10, 11, 12, 13, 14, 1, 0};
    EXPECT_EQ(Parameters(), keyed);
    radio->Heartbeat();  // the same keying: no longer the start
    Bytes later = keyed;
    later[6] = 0;
    EXPECT_EQ(Parameters(), later);
    radio->SetPTT(0, 2);
    EXPECT_EQ(Parameters(), later);
    const TransmitterPdu t = LastTransmitterPdu();
    EXPECT_EQ(t.modulationParameterLength, 16);
    EXPECT_EQ(t.modulation.system, 1);
}

TEST_F(SecureModels, WithoutAKeyNothingIsSentUnlessPlainTransmissionIsAllowed) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SECURE, p);
    radio->SetCryptoSystem(3);
    EXPECT_EQ(radio->SetPTT(1, 2), 0);  // no no-fill prompt configured
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Radio 8: No crypto key loaded.");
    EXPECT_EQ(radio->GetPttSource(), 0u);
    EXPECT_TRUE(Pdus(hcy::net::PDU_TYPE_TRANSMITTER).empty());
    Data(*radio, RD_ALLOW_PLAIN_XMIT, std::uint32_t{1});
    EXPECT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_EQ(LastTransmitterPdu().transmitState, 2);
    EXPECT_TRUE(Path(p).noiseMuted);
    radio->SetPTT(0, 2);
    EXPECT_FALSE(Path(p).noiseMuted);
}

TEST_F(SecureModels, CryptoAndSpreadSpectrumChangesNotifyTheFederation) {
    auto radio = Make(RADIO_TYPE_SECURE);
    radio->SetNetworkMode(NET_HLA);
    Clear();
    radio->SetCryptoSystem(3);
    radio->SetCryptoSystem(3);  // unchanged: no notice
    radio->SetCryptoKey(4);
    radio->SetSpreadSpectrum(7);
    radio->SetSpreadSpectrum(6);
    std::vector<plat::LPARAM> bits;
    for (const auto& m : Notices())
        if (m.message == hcy::WM_NETMGR_HLA_UPDATE_ATTRIBUTES) bits.push_back(m.lParam);
    EXPECT_EQ(bits, (std::vector<plat::LPARAM>{0x20, 0x40, 0x200, 0x800, 0x20000, 0x200}));
}

// ---------------------------------------------------------------------------
// SINCGARS

TEST_F(SecureModels, SincgarsTunesIn100HzStepsAndHearsAPlainChannel) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SINCGARS, p);
    radio->SetFrequency(30000049, 30000050);
    EXPECT_EQ(radio->GetRxFrequency(), 30000000);
    radio->Heartbeat();
    EXPECT_EQ(Frequency(LastTransmitterPdu()), 30000100);
    EXPECT_EQ(LastTransmitterPdu().modulation.system, 5);
    struct Row {
        double tuned, sent;
        std::uint16_t detail;
        bool heard;
    };
    std::uint16_t n = 0;
    for (const Row& row : {Row{30e6, 30e6 + 100, 1, true}, Row{30e6, 30e6 + 101, 1, false},
                           Row{30e6, 30e6, 2, false}, Row{0.0, 60, 1, true}}) {
        SCOPED_TRACE(row.sent);
        radio->SetFrequency(row.tuned, row.tuned);
        TransmitterSpec s{.id = {{10, 20, 30}, ++n}, .frequency = row.sent};
        EXPECT_EQ(Hear(*radio, p, s, {.detail = row.detail}).blocks == 1, row.heard);
    }
}

// Mode 11 ends a heard transmission without tail; keying in clear takes the
// saved mode, 5 until a preamble has played.
TEST_F(SecureModels, SincgarsMutesOnEveryKeyingAndEndsWithoutTailUntilKeyedInClear) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_SINCGARS, p);
    Data(*radio, RD_FULL_DUPLEX, std::uint32_t{1});
    TransmitterSpec s;
    auto endHeard = [&] {
        Hear(*radio, p, s);
        Path(p).stops.clear();
        s.state = 1;
        Deliver(*radio, Pdu(s, {}));
        s.state = 2;
        return !Path(p).stops.empty() && Path(p).stops.back().second;
    };
    EXPECT_FALSE(endHeard());
    radio->SetCryptoSystem(2);
    Data(*radio, RD_ALLOW_PLAIN_XMIT, std::uint32_t{1});
    ASSERT_EQ(radio->SetPTT(1, 4), 1);
    EXPECT_TRUE(Path(p).noiseMuted);  // full duplex too
    radio->SetPTT(0, 4);
    EXPECT_FALSE(Path(p).noiseMuted);
    EXPECT_TRUE(endHeard());
}

// ---------------------------------------------------------------------------
// ARC-164

TEST_F(SecureModels, Arc164RoundsTo100HzAndTunesToZeroOutsideItsBand) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_ARC164, p, 300e6);
    struct Row {
        double rx, tx, tunedRx, sentTx;
    };
    for (const Row& row :
         {Row{225000049, 225000050, 225000000, 225000100},
          Row{399975000, 399975000, 399975000, 399975000}, Row{224999949, 225000000, 0, 0}}) {
        SCOPED_TRACE(row.rx);
        radio->SetFrequency(row.rx, row.tx);
        EXPECT_EQ(radio->GetRxFrequency(), row.tunedRx);
        radio->Heartbeat();
        EXPECT_EQ(Frequency(LastTransmitterPdu()), row.sentTx);
    }
    Clear();
    EXPECT_EQ(radio->SetPTT(1, 2), 0);  // out of band
    EXPECT_EQ(theApp.LastError(),
              "HCY ERROR: Radio 8: Transmit frequency 0 Hz is outside the radio's band.");
    EXPECT_TRUE(Pdus(hcy::net::PDU_TYPE_TRANSMITTER).empty());
    radio->SetSpreadSpectrum(1);  // hopping: anywhere
    EXPECT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_EQ(LastTransmitterPdu().transmitState, 2);
}

TEST_F(SecureModels, Arc164GuardModes) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_ARC164, p, 300e6);
    Data(*radio, RD_FREQ_MODE, std::int32_t{2});  // guard only
    EXPECT_EQ(radio->GetRxFrequency(), 243e6);
    radio->SetFrequency(310e6, 310e6);  // ignored, and the main setting is now the guard
    EXPECT_EQ(radio->GetRxFrequency(), 243e6);
    Data(*radio, RD_FREQ_MODE, std::int32_t{0});
    EXPECT_EQ(radio->GetRxFrequency(), 243e6);
    radio->SetFrequency(300e6, 300e6);
    Data(*radio, RD_FREQ_MODE, std::int32_t{1});  // main and guard
    std::uint16_t n = 0;
    for (double sent : {300e6, 243e6, 250e6}) {
        SCOPED_TRACE(sent);
        TransmitterSpec s{.id = {{10, 20, 30}, ++n}, .frequency = sent};
        EXPECT_EQ(Hear(*radio, p, s).record != nullptr, sent != 250e6);
    }
}

TEST_F(SecureModels, Arc164SendsItsHqBlockAndHearsHoppersOfTheSameBlock) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_ARC164, p, 300e6);
    Data(*radio, RD_FH_NET_ID, std::uint16_t{0x0102});
    Data(*radio, RD_FH_SYNC_OFFSET, std::uint16_t{7});
    for (std::uint32_t i = 0; i < 6; ++i)
        EXPECT_EQ(Data(*radio, RD_HQ_SET_WOD, i << 16 | (0x1110 + i)), 1);
    theApp.ClearError();
    EXPECT_EQ(Data(*radio, RD_HQ_SET_WOD, std::uint32_t{6} << 16 | 0xFFFF), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: RD_HQ_SET_WOD index must be 0 to 5");
    Data(*radio, RD_HOP_SET_ID, std::uint16_t{0xEEEE});  // no hop-net record here
    std::uint16_t mode = 0;
    EXPECT_EQ(radio->GetRadioData(RD_HQ_MODE, &mode), 1);
    EXPECT_EQ(mode, 7);
    radio->SetSpreadSpectrum(1);
    radio->SetPTT(1, 2);
    // Host order words; no start-of-message mark.
    const Bytes block = {2,    1,    7,    0,    0x10, 0x11, 0x11, 0x11,
                         0x12, 0x11, 0x13, 0x11, 0x14, 0x11, 0x15, 0x11};
    EXPECT_EQ(Parameters(), block);
    Bytes tod = block;
    tod[0] = tod[1] = 0xFF;
    Bytes shorter(block.begin(), block.begin() + 8);
    std::uint16_t n = 0;
    for (const Bytes& theirs : {block, tod, shorter}) {
        TransmitterSpec s{.id = {{10, 20, 30}, ++n}, .frequency = 250e6, .parameters = theirs};
        EXPECT_EQ(Hear(*radio, p, s, {.spread = 1}).record != nullptr, theirs == block);
    }
}

TEST_F(SecureModels, Arc164TakesTheHqModeOfATimeOfDayTransmissionWithinItsWindow) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_ARC164, p, 300e6);
    auto hqMode = [&] {
        std::uint16_t mode = 0;
        radio->GetRadioData(RD_HQ_MODE, &mode);
        return mode;
    };
    std::uint16_t n = 0;
    auto tod = [&](std::uint16_t mode, std::uint8_t state = 2) {
        TransmitterSpec s{.id = {{10, 20, 30}, ++n},
                          .state = state,
                          .frequency = 300e6,
                          .parameters = {0xFF, 0xFF, static_cast<std::uint8_t>(mode), 0}};
        Deliver(*radio, Pdu(s, {}));
    };
    tod(9, 1);  // not transmitting
    EXPECT_EQ(hqMode(), 0);
    tod(9);  // not in HQ mode: any time-of-day transmission
    EXPECT_EQ(hqMode(), 9);
    tod(3);  // in HQ mode with the window closed
    EXPECT_EQ(hqMode(), 9);
    Data(*radio, RD_TOD_WINDOW, std::int32_t{1});
    plat::AdvanceClock(59000);
    tod(4);
    EXPECT_EQ(hqMode(), 4);
    tod(5);  // the accepted one closed it
    EXPECT_EQ(hqMode(), 4);
    Data(*radio, RD_TOD_WINDOW, std::int32_t{1});
    plat::AdvanceClock(61000);
    tod(6);  // too late: refused
    EXPECT_EQ(hqMode(), 4);
}

// ---------------------------------------------------------------------------
// ARC-186 and ARC-190

TEST_F(SecureModels, Arc186ChoosesItsBandByTheReceiveFrequency) {
    WriteConfig("[ARC186]\nFMDetailModulation=7\n");
    std::size_t p = 0;
    auto radio = Make(std::make_shared<Open<CArc186RadioModel>>(), &p);
    Data(*radio, RD_AM_SQUELCH, 0.4f);
    Data(*radio, RD_FM_SQUELCH, 0.3f);  // FM is the band until one is tuned
    struct Row {
        double rx, tx, tuned;
        std::uint16_t major, detail;
        float squelch;
    };
    for (const Row& row : {Row{118000049, 118000049, 118000000, 1, 2, 0.4f},
                           Row{35000000, 200e6, 35000000, 3, 7, 0.3f},  // tx not tested
                           Row{100e6, 100e6, 0, 3, 7, 0.3f}}) {
        SCOPED_TRACE(row.rx);
        radio->SetFrequency(row.rx, row.tx);
        EXPECT_EQ(radio->GetRxFrequency(), row.tuned);
        EXPECT_FLOAT_EQ(radio->Params().squelchLevel, row.squelch);
        radio->Heartbeat();
        EXPECT_EQ(LastTransmitterPdu().modulation.major, row.major);
        EXPECT_EQ(LastTransmitterPdu().modulation.detail, row.detail);
    }
    radio->SetFrequency(35e6, 35e6);
    Data(*radio, RD_AM_MODE_FLAG, std::int32_t{1});  // another band's flag: stored
    EXPECT_EQ(radio->GetRxFrequency(), 35e6);
    Data(*radio, RD_FM_MODE_FLAG, std::int32_t{1});  // this band's: retuned at once
    EXPECT_EQ(radio->GetRxFrequency(), 0);
    Data(*radio, RD_FM_MODE_FLAG, std::int32_t{0});
    Data(*radio, RD_FREQ_MODE, std::int32_t{1});  // AM guard, though AM is off
    EXPECT_EQ(radio->GetRxFrequency(), 121.5e6);
    Data(*radio, RD_AM_MODE_FLAG, std::int32_t{0});
    radio->SetFrequency(35e6, 35e6);
    EXPECT_EQ(radio->GetRxFrequency(), 121.5e6);
    Data(*radio, RD_FREQ_MODE, std::int32_t{2});
    EXPECT_EQ(radio->GetRxFrequency(), 40.5e6);
}

// Keyed by the transmit frequency, whatever band the receive frequency
// chose; FM guard mode gives way to its disable flag.
TEST_F(SecureModels, Arc186KeysByItsTransmitFrequencyAndItsFlagsBindTheGuardModes) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_ARC186, p, 35e6);
    radio->SetFrequency(35e6, 200e6);
    EXPECT_EQ(radio->SetPTT(1, 2), 0);
    EXPECT_EQ(theApp.LastError(),
              "HCY ERROR: Radio 8: Transmit frequency 200000000 Hz is outside the radio's band.");
    Data(*radio, RD_FM_MODE_FLAG, std::int32_t{1});
    Data(*radio, RD_FREQ_MODE, std::int32_t{2});
    radio->SetFrequency(118e6, 118e6);
    EXPECT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_EQ(LastTransmitterPdu().transmitState, 2);
    EXPECT_EQ(Frequency(LastTransmitterPdu()), 118e6);
}

// A mode switch is a retune: a live guard transmission is heard at once,
// and a keyed radio announces its new frequency at once.
TEST_F(SecureModels, SwitchingTheFrequencyModeRetunesAtOnce) {
    std::size_t p = 0, q = 0;
    auto arc164 = Tuned(RADIO_TYPE_ARC164, p, 300e6);
    auto arc186 = Tuned(RADIO_TYPE_ARC186, q, 35e6);
    const TransmitterSpec uhf{.frequency = 243e6}, fm{.id = {{10, 20, 31}, 1}, .frequency = 40.5e6};
    for (auto [radio, path, guard, mode, s] :
         {std::tuple{arc164, p, 243e6, 1, uhf}, std::tuple{arc186, q, 40.5e6, 2, fm}}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(Hear(*radio, path, s).record, nullptr);
        Data(*radio, RD_FREQ_MODE, std::int32_t{mode});
        Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
        EXPECT_EQ(Path(path).writes.size(), 1u);
        Data(*radio, RD_FREQ_MODE, std::int32_t{0});
        ASSERT_EQ(radio->SetPTT(1, 2), 1);
        Clear();
        Data(*radio, RD_FREQ_MODE, std::int32_t{2});
        EXPECT_EQ(Frequency(LastTransmitterPdu()), guard);
    }
}

TEST_F(SecureModels, Arc190KeysOnlyInItsBandAndReleasesWhenTunedOut) {
    std::size_t p = 0;
    auto radio = Tuned(RADIO_TYPE_ARC190, p, 3e6);
    struct Row {
        double rx, tx, tuned;
    };
    for (const Row& row : {Row{1999949, 2000000, 0}, Row{39750000, 39750000, 39750000},
                           Row{39750100, 39750000, 0}}) {
        SCOPED_TRACE(row.rx);
        radio->SetFrequency(row.rx, row.tx);
        EXPECT_EQ(radio->GetRxFrequency(), row.tuned);
    }
    theApp.ClearError();
    EXPECT_EQ(radio->SetPTT(1, 2), 0);
    EXPECT_NE(theApp.LastError().find("outside the radio's band"), std::string::npos);
    radio->SetFrequency(3e6, 3e6);
    EXPECT_EQ(radio->SetPTT(1, 2), 1);
    radio->SetFrequency(50e6, 50e6);  // out of the band: 0 Hz, which releases
    EXPECT_EQ(radio->GetPttSource(), 0u);
    EXPECT_EQ(LastTransmitterPdu().transmitState, 1);
}

}  // namespace
