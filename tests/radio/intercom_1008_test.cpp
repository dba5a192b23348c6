// The intercom and the six-channel set: which transmissions they hear, at
// what signal and receive value, and the 1008's channel selection.
#include "halcyra/halcyra.h"
#include "model_fixture.h"

namespace {

using hcytest::Deliver;
using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::TransmitterSpec;

class Models : public hcytest::ModelTest {
protected:
    // Delivers a keyed Transmitter PDU and then 32 samples; the record the
    // model started on its path (null: not heard) and the blocks written.
    const CReceive* Keyed(CRadioModel& model, std::size_t path, const TransmitterSpec& s) {
        Path(path).gains.clear();
        Path(path).writes.clear();
        Deliver(model, MakeTransmitterPdu(s));
        Deliver(model, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
        return Started(Path(path));
    }
    double Frequency(const std::vector<std::byte>& pdu) {
        const auto t = As<hcy::net::TransmitterPdu>(pdu);
        return FrequencyFromWords(t.frequencyHigh, t.frequencyLow);
    }
};

TEST_F(Models, IntercomHearsTheExactFrequencyFromAnyDistance) {
    std::size_t p = 0;
    auto intercom = Make(RADIO_TYPE_INTERCOM, &p);
    struct Row {
        double rx, tx;
        bool heard;
        std::int32_t value;
    };
    for (const Row& row : {Row{0.0, 0.0, true, 0}, Row{0.0, 1.0, false, -1},
                           Row{250e6, 250e6, true, 0}, Row{250e6, 250e6 + 1, false, -1}}) {
        intercom->SetFrequency(row.rx, row.rx);
        // Half the earth away: no propagation, line of sight or squelch test.
        TransmitterSpec s{.frequency = row.tx, .x = -6378137.0, .y = 0.0};
        const CReceive* heard = Keyed(*intercom, p, s);
        SCOPED_TRACE(row.tx);
        EXPECT_EQ(heard != nullptr, row.heard);
        EXPECT_EQ(Path(p).writes.size(), row.heard ? 1u : 0u);
        if (!heard) continue;
        EXPECT_EQ(heard->GetSignal(), 1.0);  // played at the master volume
        EXPECT_EQ(heard->GetRecvValue(), row.value);
        EXPECT_TRUE(heard->noPosition);
    }
}

TEST_F(Models, IntercomKeysFullDuplexWithoutModulationParameters) {
    std::size_t p = 0;
    auto intercom = Make(RADIO_TYPE_INTERCOM, &p);
    const CReceive* heard = Keyed(*intercom, p, TransmitterSpec{.frequency = 0.0});
    ASSERT_NE(heard, nullptr);
    ASSERT_EQ(intercom->SetPTT(1, 2), 1);
    EXPECT_FALSE(heard->GetPttBlock());
    EXPECT_FALSE(Path(p).noiseMuted);
    const auto pdus = Pdus(hcy::net::PDU_TYPE_TRANSMITTER);
    ASSERT_EQ(pdus.size(), 1u);
    const auto t = As<hcy::net::TransmitterPdu>(pdus[0]);
    EXPECT_EQ(t.transmitState, 2);
    EXPECT_EQ(t.modulation.major, 0);
    EXPECT_EQ(t.modulation.detail, 0);
    EXPECT_EQ(t.modulation.system, 1);
    EXPECT_EQ(t.modulationParameterLength, 0);
    EXPECT_EQ(pdus[0].size(), hcy::net::TRANSMITTER_PDU_SIZE);
}

TEST_F(Models, Model1008SelectsChannelsByNegativeCodes) {
    auto set = Make(RADIO_TYPE_MODEL1008);
    struct Row {
        double rx, tx;
        const char* error;  // null: none
        double tunedRx, sentTx;
    };
    const Row rows[] = {
        {-5, -3, nullptr, -5, -3},                                    // slot 0: tunes
        {-(65536 + 2), -3, nullptr, -5, -3},                          // slot 1: tuning unchanged
        {100, -4, "Selected receive channel out of range.", -5, -3},  // no slot
        {-6, 5, "Selected transmit channel out of range.", -6, 0},
        {-(6 * 65536 + 1), -9, nullptr, -6, 0},  // no slot 6
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rx);
        theApp.ClearError();
        EXPECT_EQ(set->SetFrequency(row.rx, row.tx), 1);
        EXPECT_EQ(theApp.LastError(), row.error ? std::string("HCY ERROR: ") + row.error : "");
        EXPECT_EQ(set->GetRxFrequency(), row.tunedRx);
        Clear();
        set->Heartbeat();
        const auto pdus = Pdus(hcy::net::PDU_TYPE_TRANSMITTER);
        ASSERT_EQ(pdus.size(), 1u);
        EXPECT_EQ(Frequency(pdus[0]), row.sentTx);
        EXPECT_EQ(As<hcy::net::TransmitterPdu>(pdus[0]).modulation.system, 1008);
    }
}

TEST_F(Models, Model1008HearsItsChannelsWithTheSlotAsPriority) {
    std::size_t p = 0;
    auto set = Make(RADIO_TYPE_MODEL1008, &p);
    set->SetFrequency(-(5 * 65536 + 7), -7);
    set->SetFrequency(-(2 * 65536 + 7), -7);
    set->SetFrequency(-(3 * 65536 + 8), -7);
    set->SetFrequency(-4, -7);
    struct Row {
        double tx;
        bool heard;
        std::int32_t value;
    };
    std::uint16_t n = 0;
    for (const Row& row : {Row{-7, true, 5}, Row{-8, true, 3}, Row{-4, true, 0}, Row{-9, false, -1},
                           Row{30e6, false, 0}, Row{0, false, 0}}) {
        SCOPED_TRACE(row.tx);
        TransmitterSpec s{.id = {{10, 20, 30}, ++n}, .frequency = row.tx};
        const CReceive* heard = Keyed(*set, p, s);
        EXPECT_EQ(heard != nullptr, row.heard);
        if (heard) {
            EXPECT_EQ(heard->GetSignal(), 1.0);
            EXPECT_EQ(heard->GetRecvValue(), row.value);
        }
    }
    EXPECT_EQ(set->GetMaxRecvValue(), 5);  // the -7 transmitter is still keyed
}

// A new slot hears a keyed transmitter at once, not at its next heartbeat.
TEST_F(Models, Model1008RetuningASlotReevaluatesAtOnce) {
    std::size_t p = 0;
    auto set = Make(RADIO_TYPE_MODEL1008, &p);
    EXPECT_EQ(Keyed(*set, p, TransmitterSpec{.frequency = -11}), nullptr);
    Path(p).gains.clear();
    set->SetFrequency(-(4 * 65536 + 11), 0);
    ASSERT_NE(Started(Path(p)), nullptr);
    EXPECT_EQ(Started(Path(p))->GetRecvValue(), 4);
}

}  // namespace
