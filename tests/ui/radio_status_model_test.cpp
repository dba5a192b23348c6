// The status dialog's model on hand-made radio states: the texts and number
// formats, the rows and their order, "active only", the selection and what
// it shows, and the window's lifecycle.
#include <gtest/gtest.h>

#include "ui/radio_status_layout.h"
#include "ui/radio_status_model.h"

namespace {

using namespace hcy::ui;
using hcy::net::RadioId;
using hcy::radio::RadioStatus;
using hcy::radio::ReceiveView;

ReceiveView Transmitter(RadioId id, bool transmitting) {
    ReceiveView r;
    r.id = id;
    r.transmitting = transmitting;
    r.transmitterPduCount = 3;
    r.signalPduCount = 120;
    r.exercise = 1;
    r.antennaX = 101.0, r.antennaY = -202.54, r.antennaZ = 303.0;
    r.frequency = 30000000.0;
    r.power = 20.0;
    r.propagation = 0.91234, r.lineOfSight = 1.0, r.tuner = 0.5, r.squelch = 1.0;
    r.signal = 45.31;
    return r;
}

RadioStatus Radio(std::vector<ReceiveView> transmitters) {
    RadioStatus s;
    s.transmitFrequency = 30000000.0;
    s.recvGain = 1.64;
    s.x = 12.34, s.y = -456.7, s.z = 1000.0;
    s.xmitPdusSent = 12;
    s.signalPdusSent = 345;
    s.transmitters = std::move(transmitters);
    return s;
}

const RadioId A{{1, 2, 3}, 5};
const RadioId B{{9, 8, 7}, 6};

class StatusModel : public ::testing::Test {
protected:
    void SetUp() override {
        model.SetRadioId({{1, 2, 3}, 4});
        ASSERT_TRUE(model.Open());
    }
    const std::string& Text(int id) const { return model.View().texts.at(id); }
    std::vector<RadioStatusRow> Rows() const { return model.View().rows; }
    RadioStatusModel model;
};

TEST_F(StatusModel, TextsInTheirFormats) {
    EXPECT_EQ(Text(kRadioIdText), "1-2-3-4");
    EXPECT_EQ(Text(kXmitFreqText), "") << "filled by the first refresh";
    model.Update(Radio({Transmitter(A, true)}));
    model.Select("1-2-3-5");
    model.Update(Radio({Transmitter(A, true)}));
    const std::pair<int, const char*> expected[] = {
        {kRadioIdText, "1-2-3-4"},     {kXmitFreqText, "  30.000 MHz"},
        {kRecvGainText, "   1.640"},   {kRadioXText, "      12.3"},
        {kRadioYText, "    -456.7"},   {kRadioZText, "    1000.0"},
        {kXmitSentText, "12"},         {kSignalSentText, "345"},
        {kXmitsRecvText, "3"},         {kSigsRecvText, "120"},
        {kExerciseText, "1"},          {kTxXText, "     101.0"},
        {kTxYText, "    -202.5"},      {kTxZText, "     303.0"},
        {kTxFreqText, "  30.000 MHz"}, {kTxPowerText, "  20.000"},
        {kPropLossText, "   0.912"},   {kRoundEarthText, "   1.000"},
        {kTunerText, "   0.500"},      {kSquelchText, "   1.000"},
        {kSnrText, "  45.310"}};
    for (const auto& [id, text] : expected) EXPECT_EQ(Text(id), text) << id;
    EXPECT_EQ(model.View().texts.size(), std::size(expected)) << "every text control";

    // Counters show as the signed 32 bits; a huge value is written whole.
    auto big = Radio({Transmitter(A, true)});
    big.xmitPdusSent = 0xFFFFFFFFu;
    big.transmitFrequency = 1e300;
    model.Update(big);
    EXPECT_EQ(Text(kXmitSentText), "-1");
    EXPECT_EQ(Text(kXmitFreqText).size(), 295u + 4 + 4);  // 1e294 MHz, ".000 MHz"
}

TEST_F(StatusModel, NewTransmittersOnTopAndGoneOnesRemoved) {
    model.Update(Radio({Transmitter(A, true)}));
    EXPECT_EQ(Rows(), (std::vector<RadioStatusRow>{{"1-2-3-5", "X"}}));
    // Two new in one refresh: the later arrival on top.
    const RadioId c{{4, 4, 4}, 4};
    model.Update(Radio({Transmitter(A, false), Transmitter(B, true), Transmitter(c, true)}));
    EXPECT_EQ(Rows(),
              (std::vector<RadioStatusRow>{{"4-4-4-4", "X"}, {"9-8-7-6", "X"}, {"1-2-3-5", "  "}}));
    model.Update(Radio({Transmitter(B, true)}));
    EXPECT_EQ(Rows(), (std::vector<RadioStatusRow>{{"9-8-7-6", "X"}}));

    // Ids whose digits run together are two transmitters, not one.
    model.Update(Radio({Transmitter({{1, 23, 4}, 5}, true), Transmitter({{12, 3, 4}, 5}, true)}));
    EXPECT_EQ(Rows(), (std::vector<RadioStatusRow>{{"12-3-4-5", "X"}, {"1-23-4-5", "X"}}));
}

TEST_F(StatusModel, ActiveOnlyKeepsThoseOnTheAir) {
    const auto both = Radio({Transmitter(A, false), Transmitter(B, true)});
    model.SetActiveOnly(true);
    model.Update(both);
    EXPECT_EQ(Rows(), (std::vector<RadioStatusRow>{{"9-8-7-6", "X"}}));
    model.SetActiveOnly(false);
    model.Update(both);
    EXPECT_EQ(Rows(), (std::vector<RadioStatusRow>{{"1-2-3-5", "  "}, {"9-8-7-6", "X"}}));
}

TEST_F(StatusModel, TheSelectionStaysOnItsRowAndShowsItsTransmitter) {
    model.Update(Radio({Transmitter(A, true)}));
    model.Select("1-2-3-5");
    model.Update(Radio({Transmitter(A, true), Transmitter(B, true)}));
    EXPECT_EQ(model.View().selected, 1) << "a row on top moves the selection down";
    EXPECT_EQ(Text(kSigsRecvText), "120");
    EXPECT_EQ(Text(kPropLossText), "   0.912");

    // It stops: its PDU data stays, its model results go.
    model.Update(Radio({Transmitter(A, false), Transmitter(B, true)}));
    EXPECT_EQ(Text(kTxFreqText), "  30.000 MHz");
    for (int id : {kPropLossText, kRoundEarthText, kTunerText, kSquelchText, kSnrText})
        EXPECT_EQ(Text(id), "") << id;

    // It goes: no selection, both groups empty.
    model.Update(Radio({Transmitter(B, true)}));
    EXPECT_EQ(model.View().selected, -1);
    for (int id : {kXmitsRecvText, kTxFreqText, kTxPowerText, kSnrText})
        EXPECT_EQ(Text(id), "") << id;
    // It comes back: not selected again.
    model.Update(Radio({Transmitter(A, true), Transmitter(B, true)}));
    EXPECT_EQ(model.View().selected, -1);

    // With no selection nothing is shown, not even a transmitter 0-0-0-0.
    model.Update(Radio({Transmitter({{0, 0, 0}, 0}, true)}));
    model.Select("");
    model.Update(Radio({Transmitter({{0, 0, 0}, 0}, true)}));
    EXPECT_EQ(Text(kXmitsRecvText), "");
    model.Select("5-5-5-5");  // no such row
    EXPECT_EQ(model.View().selected, -1);
}

TEST_F(StatusModel, OpenCloseAndReopen) {
    EXPECT_FALSE(model.Open()) << "already up";
    model.SetActiveOnly(true);
    model.Update(Radio({Transmitter(A, true)}));
    model.Close();
    EXPECT_FALSE(model.IsUp());
    model.Update(Radio({Transmitter(B, true)}));  // down: no refresh

    ASSERT_TRUE(model.Open());
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Text(kXmitFreqText), "");
    EXPECT_EQ(Text(kRadioIdText), "1-2-3-4");
    EXPECT_TRUE(model.View().activeOnly) << "the check box keeps its state";
}

}  // namespace
