// A radio's status dialog on its real records, drawn as text: rows come,
// change and go with the records, the user's input through the dialog
// layer, a golden rendering, closing, and the dialog through the exports.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "hcyplat/dialog.h"
#include "hcyplat/hcyplatform.h"
#include "radio/radio_fixture.h"
#include "support/library_fixture.h"
#include "ui/radio_status_dialog.h"
#include "ui/radio_status_layout.h"

namespace {

using namespace hcy::ui;
using hcytest::TransmitterSpec;

class RadioStatus : public hcytest::RadioTest {
protected:
    void SetUp() override {
        plat::SetDefaultDialogRendering(plat::DialogRendering::Text);
        RadioTest::SetUp();
        auto owned = std::make_unique<RadioStatusDialog>();
        dialog = owned.get();
        radio->SetStatusDialog(std::move(owned));
        ASSERT_EQ(radio->ShowRadioData(), 1);
    }
    void TearDown() override {
        RadioTest::TearDown();
        plat::SetDefaultDialogRendering(plat::DialogRendering::Automatic);
    }
    std::vector<RadioStatusRow> Refresh() {
        radio->UpdateRadioData();
        return dialog->View().rows;
    }
    plat::Dialog& Window() { return *dialog->Window(); }

    RadioStatusDialog* dialog = nullptr;
    TransmitterSpec a{{{10, 20, 30}, 1}}, b{{{10, 20, 31}, 2}};
};

TEST_F(RadioStatus, RowsComeChangeAndGoWithTheRecords) {
    EXPECT_TRUE(Refresh().empty());
    Hear(a);
    Hear(b);
    EXPECT_EQ(Refresh(), (std::vector<RadioStatusRow>{{"10-20-31-2", "X"}, {"10-20-30-1", "X"}}));
    EXPECT_EQ(Window().Rows(kTransmitterList),
              (std::vector<plat::DialogRow>{{"10-20-31-2", "X"}, {"10-20-30-1", "X"}}));
    a.state = 0;  // a stops
    Hear(a);
    EXPECT_EQ(Refresh(), (std::vector<RadioStatusRow>{{"10-20-31-2", "X"}, {"10-20-30-1", "  "}}));
    // Both fall silent and time out.
    radio->SweepReceiveTimeouts();
    radio->SweepReceiveTimeouts();
    EXPECT_TRUE(Refresh().empty());
}

TEST_F(RadioStatus, UserInputAndAGoldenRendering) {
    radio->SetRecvGain(2.5);
    radio->SetRelPosition(0.0f, 0.0f, 5.0f);  // not part of "This Radio"
    a.power = 30.0f;
    b.state = 0;
    Hear(a);
    Hear(b);
    Refresh();
    Window().Choose(kTransmitterList, 1);  // 10-20-30-1
    radio->UpdateRadioData();
    const char* expected = R"(Radio Model Status
 +- This Radio -------------------------------------------------------------+
 | Entity ID: 1-2-3-4                X:     6378137.0    PDUs Sent:         |
 | Freq:        30.000 MHz           Y:           0.0      Xmit:          0 |
 | Recv Gain:        2.500           Z:           0.0      Signal:        0 |
 +--------------------------------------------------------------------------+
   Transmitters:            +- PDU Data ---------+ +- Model Results --------+
 Site-App-Entity-Radio Xmit | Xmits:          1  | | PropLoss:        1.000 |
 -------------------------- | Sigs:           0  | | Rnd Earth:       1.000 |
 10-20-31-2                 | Ex ID:          1  | | Tuner:           1.000 |
>10-20-30-1             X   | X:      6378137.0  | | Squelch:         1.000 |
                            | Y:         1000.0  | | SNR:             1.000 |
                            | Z:            0.0  | |                        |
                            | Freq:  30.000 MHz  | |                        |
                            | Pwr:       30.000  | |                        |
                            |                    | |                        |
                            |                    | |                        |
                            +--------------------+ +------------------------+
   [ ] Show active xmits only      [ Close ]
)";
    EXPECT_EQ(Window().RenderText(), expected);

    // The check box counts from the next refresh on.
    Window().Click(kActiveOnlyBox);
    EXPECT_EQ(Refresh(), (std::vector<RadioStatusRow>{{"10-20-30-1", "X"}}));
    EXPECT_TRUE(dialog->View().activeOnly);
}

TEST_F(RadioStatus, CloseAndTheCloseBoxBothDropTheCopies) {
    Hear(a);
    Refresh();
    for (bool button : {true, false}) {
        if (button)
            Window().Click(plat::IDOK);
        else
            Window().CloseBox();
        EXPECT_FALSE(dialog->IsUp()) << button;
        EXPECT_TRUE(dialog->View().rows.empty()) << button;
        // Shown again: a fresh window, an empty list until the next refresh.
        ASSERT_EQ(radio->ShowRadioData(), 1);
        EXPECT_TRUE(Window().IsOpen());
        EXPECT_TRUE(Window().Rows(kTransmitterList).empty());
        EXPECT_EQ(Refresh().size(), 1u);
    }
    plat::Dialog* shown = &Window();
    radio->ShowRadioData();  // while up: nothing changes
    EXPECT_EQ(&Window(), shown);
    radio->Shutdown();  // the radio goes: so does its window
    EXPECT_FALSE(Window().IsOpen());
}

// The refresh on the tick's thread, records changing on a worker's, and the
// user closing and the host showing on a third: no race, no stale copy.
TEST_F(RadioStatus, RefreshesRecordsAndClosesOnThreadsOfTheirOwn) {
    std::atomic<bool> done{false};
    std::thread tick([&] {
        while (!done) radio->UpdateRadioData();
    });
    std::thread worker([&] {
        for (std::uint16_t i = 0; !done; ++i) {
            TransmitterSpec t{{{1, 1, static_cast<std::uint16_t>(i % 8)}, 1}};
            t.state = i % 3 ? 2 : 0;
            Hear(t);
            if (i % 16 == 0) radio->SweepReceiveTimeouts();
        }
    });
    for (int i = 0; i < 200; ++i) {
        radio->ShowRadioData();
        if (i % 2)
            Window().CloseBox();
        else
            Window().Click(kActiveOnlyBox);
        dialog->IsUp();
    }
    done = true;
    tick.join();
    worker.join();
    // Every transmitter keyed once more: whatever the user left checked, the
    // window lists exactly the eight records, each on the air.
    radio->ShowRadioData();
    for (std::uint16_t e = 0; e < 8; ++e) Hear(TransmitterSpec{{{1, 1, e}, 1}});
    radio->UpdateRadioData();
    std::set<std::string> listed;
    for (const auto& row : Window().Rows(kTransmitterList)) {
        EXPECT_EQ(row.at(1), "X") << row.at(0);
        listed.insert(row.at(0));
    }
    EXPECT_EQ(listed, (std::set<std::string>{"1-1-0-1", "1-1-1-1", "1-1-2-1", "1-1-3-1", "1-1-4-1",
                                             "1-1-5-1", "1-1-6-1", "1-1-7-1"}));
    EXPECT_EQ(Window().Rows(kTransmitterList).size(), 8u) << "no row twice";
}

class StatusThroughTheExports : public RunningLibraryTest {
protected:
    void SetUp() override {
        hcyplatUseTextDialogs(1);
        RunningLibraryTest::SetUp();
    }
    void TearDown() override {
        RunningLibraryTest::TearDown();
        hcyplatUseTextDialogs(0);
    }
    static std::string DialogText(int index) {
        const int n = hcyplatGetDialogText(index, nullptr, 0);
        if (n < 0) return "none";
        std::string text(static_cast<std::size_t>(n) + 1, '\0');
        EXPECT_EQ(hcyplatGetDialogText(index, text.data(), n + 1), n);
        text.resize(static_cast<std::size_t>(n));
        return text;
    }
};

TEST_F(StatusThroughTheExports, ShownRefreshedEachSecondAndClosedWithTheRadio) {
    EXPECT_EQ(hcyShowRadioData(99), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid radio handle in call to ShowRadioData.");
    const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 4);
    const int other = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 5);
    ASSERT_GT(radio, 0);
    ASSERT_EQ(hcySetRadioFrequency(radio, 30e6, 30e6), 1);
    EXPECT_EQ(DialogText(0), "none");
    ASSERT_EQ(hcyShowRadioData(radio), 1);
    ASSERT_EQ(hcyShowRadioData(other), 1);
    EXPECT_NE(DialogText(0).find("Entity ID: 1-2-3-4 "), std::string::npos) << DialogText(0);
    EXPECT_EQ(DialogText(0).find("30.000 MHz"), std::string::npos) << "not yet refreshed";
    Ticks(1);  // tick 0 refreshes
    EXPECT_NE(DialogText(0).find("Freq:        30.000 MHz"), std::string::npos) << DialogText(0);
    char small[8];
    EXPECT_GT(hcyplatGetDialogText(0, small, sizeof small), 8);
    EXPECT_STREQ(small, "Radio M");

    ASSERT_EQ(hcyDestroyComRadio(radio), 1);
    EXPECT_NE(DialogText(0).find("1-2-3-5"), std::string::npos);
    EXPECT_EQ(DialogText(1), "none");
    hcyExit();
    EXPECT_EQ(DialogText(0), "none");
}

}  // namespace
