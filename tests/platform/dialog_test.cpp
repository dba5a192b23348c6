// Dialogs in the text rendering: the drawing, rows and selection, user input
// and its notices, and the choice of rendering without a display.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "hcyplat/dialog.h"
#include "hcyplat/window.h"
#include "platform/status_layout.h"
#include "support/test_support.h"

namespace {

using hcytest::kActiveOnly;
using hcytest::kList;
using plat::DialogEvent;

class TextDialog : public ::testing::Test {
protected:
    void SetUp() override {
        window = plat::CreateMessageWindow();
        plat::DialogOptions options;
        options.rendering = plat::DialogRendering::Text;
        options.notice = {window, 0x0401, 7};
        dialog = plat::Dialog::Create(hcytest::StatusLayout(), options);
    }
    void TearDown() override {
        dialog.reset();
        plat::DestroyMessageWindow(window);
    }
    plat::HWND window = 0;
    std::unique_ptr<plat::Dialog> dialog;
};

TEST_F(TextDialog, DrawsTheStateOnTheTemplatesGrid) {
    dialog->SetTexts(hcytest::StatusTexts());
    dialog->SetRows(kList, hcytest::TwoTransmitters());
    dialog->Choose(kList, 1);
    dialog->SetChecked(kActiveOnly, true);
    const char* expected = R"(Radio Model Status
 +- This Radio -------------------------------------------------------------+
 | Entity ID: 1-2-3-4                X:          12.3    PDUs Sent:         |
 | Freq:        30.000 MHz           Y:        -456.7      Xmit:         12 |
 | Recv Gain:        1.640           Z:        1000.0      Signal:      345 |
 +--------------------------------------------------------------------------+
   Transmitters:            +- PDU Data ---------+ +- Model Results --------+
 Site-App-Entity-Radio Xmit | Xmits:          3  | | PropLoss:        0.912 |
 -------------------------- | Sigs:         120  | | Rnd Earth:       1.000 |
 9-8-7-6                    | Ex ID:          1  | | Tuner:           1.000 |
>1-2-3-5                X   | X:          101.0  | | Squelch:         1.000 |
                            | Y:         -202.5  | | SNR:            45.310 |
                            | Z:          303.0  | |                        |
                            | Freq:  30.000 MHz  | |                        |
                            | Pwr:       20.000  | |                        |
                            |                    | |                        |
                            |                    | |                        |
                            +--------------------+ +------------------------+
   [x] Show active xmits only      [ Close ]
)";
    EXPECT_EQ(dialog->RenderText(), expected);
}

TEST_F(TextDialog, RowsAreReplacedAndTheSelectionFollowsItsRow) {
    DialogEvent e;
    dialog->SetRows(kList, hcytest::TwoTransmitters());
    EXPECT_EQ(dialog->SelectedRow(kList), -1);
    EXPECT_EQ(dialog->SelectedRowText(kList), "");

    dialog->Choose(kList, 1);
    ASSERT_TRUE(dialog->NextEvent(e));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Selected);
    EXPECT_EQ(e.control, kList);
    EXPECT_EQ(e.value, 1);

    // A new row on top: the selection moves with "1-2-3-5".
    dialog->SetRows(kList, {{"4-4-4-4", "X"}, {"9-8-7-6", "  "}, {"1-2-3-5", "  "}});
    EXPECT_EQ(dialog->SelectedRow(kList), 2);
    EXPECT_EQ(dialog->SelectedRowText(kList), "1-2-3-5");
    EXPECT_EQ(dialog->ShownRows(kList)->selected, 2);
    EXPECT_EQ(dialog->Rows(kList)[2][1], "  ");
    EXPECT_FALSE(dialog->NextEvent(e)) << "the owner's changes are no input";

    // Its row gone: no selection.
    dialog->SetRows(kList, {{"4-4-4-4", "X"}});
    EXPECT_EQ(dialog->SelectedRow(kList), -1);
    EXPECT_EQ(dialog->SelectedRowText(kList), "");

    // Rows past the end, and ids of no list, change nothing.
    dialog->Choose(kList, 5);
    dialog->SetRows(1001, {{"x"}});
    dialog->SetText(kList, "x");
    EXPECT_FALSE(dialog->NextEvent(e));
    EXPECT_EQ(dialog->Text(1001), "");
    dialog->Choose(kList, 0);
    dialog->Choose(kList, -1);
    ASSERT_TRUE(dialog->NextEvent(e) && dialog->NextEvent(e));
    EXPECT_EQ(e.value, -1);
}

TEST_F(TextDialog, UserInputIsQueuedAndAnnouncedAndEndsWithTheClose) {
    plat::WindowMessage m;
    DialogEvent e;
    dialog->Click(kActiveOnly);
    EXPECT_TRUE(dialog->Checked(kActiveOnly));
    ASSERT_TRUE(dialog->WaitEvent(e, std::chrono::milliseconds(0)));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Checked);
    EXPECT_EQ(e.value, 1);
    ASSERT_TRUE(plat::PeekWindowMessage(window, m));
    EXPECT_EQ(m.message, 0x0401u);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.lParam, static_cast<plat::LPARAM>(DialogEvent::Kind::Checked));

    dialog->Click(plat::IDOK);
    ASSERT_TRUE(dialog->NextEvent(e));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Closed);
    EXPECT_EQ(e.control, plat::IDOK);
    ASSERT_TRUE(plat::PeekWindowMessage(window, m));
    EXPECT_EQ(m.lParam, static_cast<plat::LPARAM>(DialogEvent::Kind::Closed));
    EXPECT_FALSE(dialog->IsOpen());
    EXPECT_FALSE(dialog->ShownRows(kList));

    // Closed: no more input; the state stays readable and settable.
    dialog->Click(kActiveOnly);
    dialog->CloseBox();
    EXPECT_FALSE(dialog->NextEvent(e));
    EXPECT_FALSE(plat::PeekWindowMessage(window, m));
    dialog->SetChecked(kActiveOnly, false);
    EXPECT_FALSE(dialog->Checked(kActiveOnly));

    // The close box says 0; the owner's own close says nothing.
    auto other = plat::Dialog::Create(hcytest::StatusLayout(), {plat::DialogRendering::Text, {}});
    other->CloseBox();
    ASSERT_TRUE(other->NextEvent(e));
    EXPECT_EQ(e.control, 0);
    auto third = plat::Dialog::Create(hcytest::StatusLayout(), {plat::DialogRendering::Text, {}});
    third->Close();
    EXPECT_FALSE(third->IsOpen());
    EXPECT_FALSE(third->NextEvent(e));
}

TEST_F(TextDialog, EventsWaitedForArriveFromAnotherThread) {
    DialogEvent e;
    EXPECT_FALSE(dialog->WaitEvent(e, std::chrono::milliseconds(1)));
    std::thread user([&] { dialog->CloseBox(); });
    EXPECT_TRUE(dialog->WaitEvent(e, std::chrono::seconds(10)));
    user.join();
    EXPECT_EQ(e.kind, DialogEvent::Kind::Closed);
}

TEST(DialogRendering, WithoutADisplayTheTextIsUsedAtOnce) {
    for (const char* display : {"", ":987"}) {
        hcytest::ScopedEnv env("DISPLAY", display);
        const auto start = std::chrono::steady_clock::now();
        auto dialog = plat::Dialog::Create(hcytest::StatusLayout());
        EXPECT_EQ(dialog->Rendering(), plat::DialogRendering::Text) << display;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << display;
        EXPECT_TRUE(dialog->IsOpen());
        EXPECT_FALSE(dialog->CaptureImage());
    }
}

}  // namespace
