// Dialogs in the window rendering, on the X display that run-under-xvfb.sh
// starts: rows read back from the list widget, input through the widgets,
// the window captured, and a display that goes away. Skipped without a
// display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "hcyplat/dialog.h"
#include "hcyplat/thread_boundary.h"
#include "platform/status_layout.h"
#include "support/test_support.h"

namespace {

using hcytest::kActiveOnly;
using hcytest::kList;
using plat::DialogEvent;

constexpr auto kWait = std::chrono::seconds(10);

std::unique_ptr<plat::Dialog> WindowDialog() {
    auto dialog = plat::Dialog::Create(hcytest::StatusLayout());
    if (dialog->Rendering() != plat::DialogRendering::Window) return nullptr;
    return dialog;
}

#define REQUIRE_WINDOW(dialog)                                                  \
    if (!(dialog)) {                                                            \
        if (std::getenv("HCY_XVFB")) FAIL() << "no window on the Xvfb display"; \
        GTEST_SKIP() << "no display: run through run-under-xvfb.sh";            \
    }

TEST(DialogWindow, ListRowsReadBackFromTheWidgetAndTheWindowCaptured) {
    auto dialog = WindowDialog();
    REQUIRE_WINDOW(dialog);
    dialog->SetTexts(hcytest::StatusTexts());
    dialog->SetRows(kList, hcytest::TwoTransmitters());
    dialog->Choose(kList, 1);
    dialog->SetChecked(kActiveOnly, true);

    std::optional<plat::DialogRowsShown> shown;
    ASSERT_TRUE(hcytest::WaitFor([&] {
        shown = dialog->ShownRows(kList);
        return shown && shown->selected == 1;
    }));
    EXPECT_EQ(shown->rows, hcytest::TwoTransmitters());

    std::optional<plat::DialogImage> image;
    ASSERT_TRUE(hcytest::WaitFor([&] {
        image = dialog->CaptureImage();
        if (!image) return false;
        std::set<std::uint32_t> colours;  // a drawn window has text, frames, a selection
        for (std::size_t i = 0; i + 2 < image->rgb.size(); i += 3)
            colours.insert(image->rgb[i] << 16 | image->rgb[i + 1] << 8 | image->rgb[i + 2]);
        return colours.size() > 8;
    }));

    // A row on top, one changed, the selected one kept: the widget follows.
    const std::vector<plat::DialogRow> three = {
        {"4-4-4-4", "X"}, {"9-8-7-6", "X"}, {"1-2-3-5", "  "}};
    dialog->SetRows(kList, three);
    ASSERT_TRUE(hcytest::WaitFor([&] {
        shown = dialog->ShownRows(kList);
        return shown && shown->rows == three;
    }));
    EXPECT_EQ(shown->selected, 2);
    dialog->SetRows(kList, {{"9-8-7-6", "X"}});
    ASSERT_TRUE(hcytest::WaitFor([&] {
        shown = dialog->ShownRows(kList);
        return shown && shown->rows.size() == 1;
    }));
    EXPECT_EQ(shown->selected, -1);
    EXPECT_EQ(dialog->SelectedRow(kList), -1);
}

TEST(DialogWindow, InputThroughTheWidgetsReachesTheOwner) {
    auto dialog = WindowDialog();
    REQUIRE_WINDOW(dialog);
    DialogEvent e;
    dialog->SetRows(kList, hcytest::TwoTransmitters());
    // The owner goes on pushing while the user chooses.
    std::thread owner([&] {
        for (int i = 0; i < 200; ++i) {
            dialog->SetTexts(hcytest::StatusTexts());
            dialog->SetText(1017, std::to_string(i));
            dialog->SetRows(kList, hcytest::TwoTransmitters());
        }
    });
    dialog->Choose(kList, 0);
    owner.join();
    ASSERT_TRUE(dialog->WaitEvent(e, kWait));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Selected);
    EXPECT_EQ(dialog->SelectedRowText(kList), "9-8-7-6");

    dialog->Click(kActiveOnly);
    ASSERT_TRUE(dialog->WaitEvent(e, kWait));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Checked);
    EXPECT_EQ(e.value, 1);
    EXPECT_TRUE(dialog->Checked(kActiveOnly));

    dialog->CloseBox();
    ASSERT_TRUE(dialog->WaitEvent(e, kWait));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Closed);
    EXPECT_EQ(e.control, 0);
    EXPECT_FALSE(dialog->IsOpen());
    EXPECT_FALSE(dialog->ShownRows(kList));

    // The last window gone, the UI thread ends; the next one starts it again.
    dialog.reset();
    dialog = WindowDialog();
    REQUIRE_WINDOW(dialog);
    dialog->Click(plat::IDOK);
    ASSERT_TRUE(dialog->WaitEvent(e, kWait));
    EXPECT_EQ(e.control, plat::IDOK);
}

TEST(DialogWindow, TheTextRenderingCanBeChosenOnADisplay) {
    auto window = WindowDialog();
    REQUIRE_WINDOW(window);
    plat::SetDefaultDialogRendering(plat::DialogRendering::Text);
    EXPECT_EQ(plat::Dialog::Create(hcytest::StatusLayout())->Rendering(),
              plat::DialogRendering::Text);
    plat::SetDefaultDialogRendering(plat::DialogRendering::Automatic);
}

TEST(DialogWindow, AWindowThatFailsCountsAsClosedAndEndsNoOther) {
    auto first = WindowDialog();
    REQUIRE_WINDOW(first);
    ASSERT_TRUE(first->ShownRows(kList));
    static std::string reported;
    const auto old = plat::SetThreadErrorSink(
        [](const char* what, const char* error) { reported = std::string(what) + ": " + error; });
    plat::InjectThreadFaultForTest("making a dialog window");
    auto second = WindowDialog();
    ASSERT_TRUE(second);
    DialogEvent e;
    ASSERT_TRUE(second->WaitEvent(e, kWait));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Closed);
    EXPECT_EQ(reported, "making a dialog window: injected fault");
    plat::SetThreadErrorSink(old);
    first->SetRows(kList, hcytest::TwoTransmitters());
    EXPECT_TRUE(hcytest::WaitFor([&] {
        auto shown = first->ShownRows(kList);
        return shown && shown->rows.size() == 2;
    }));
}

// Run alone by run-under-xvfb.sh, which names its Xvfb in HCY_XVFB_PID.
TEST(DialogWindow, DisplayLost) {
    const char* pid = std::getenv("HCY_XVFB_PID");
    if (!pid) GTEST_SKIP() << "run-under-xvfb.sh runs this with a display of its own";
    auto dialog = WindowDialog();
    REQUIRE_WINDOW(dialog);
    ASSERT_TRUE(dialog->ShownRows(kList)) << "the window is up";
    ASSERT_EQ(std::system((std::string("kill ") + pid).c_str()), 0);
    DialogEvent e;
    ASSERT_TRUE(dialog->WaitEvent(e, kWait));
    EXPECT_EQ(e.kind, DialogEvent::Kind::Closed);
    EXPECT_FALSE(dialog->IsOpen());
    EXPECT_EQ(plat::Dialog::Create(hcytest::StatusLayout())->Rendering(),
              plat::DialogRendering::Text);
}

// Run alone by run-under-xvfb.sh, like DisplayLost: a display that stops
// answering (its server stopped) while a window is up and redrawn: the
// dialog still goes within a bounded time (the UI thread, stuck writing to
// the display, is given up) and later dialogs are text.
TEST(DialogWindow, DisplayThatStopsAnsweringIsLost) {
    const char* pid = std::getenv("HCY_XVFB_PID");
    if (!pid) GTEST_SKIP() << "run-under-xvfb.sh runs this with a display of its own";
    auto dialog = WindowDialog();
    REQUIRE_WINDOW(dialog);
    ASSERT_TRUE(dialog->ShownRows(kList)) << "the window is up";
    ASSERT_EQ(std::system((std::string("kill -STOP ") + pid).c_str()), 0);
    // Redraws until the UI thread no longer answers: its writes to the
    // display fill the connection and block.
    std::vector<plat::DialogRow> rows;
    for (int i = 0; i < 40; ++i) rows.push_back({std::to_string(i) + "-1-1-1", "X"});
    const bool stuck = hcytest::WaitFor(
        [&] {
            for (int i = 0; i < 50; ++i) {
                rows[0][1] = std::to_string(i);
                dialog->SetRows(kList, rows);
                dialog->SetText(1017, std::to_string(i));
            }
            return !dialog->ShownRows(kList, std::chrono::milliseconds(200));
        },
        std::chrono::seconds(30));
    const auto before = std::chrono::steady_clock::now();
    dialog.reset();
    const auto took = std::chrono::steady_clock::now() - before;
    std::system((std::string("kill -CONT ") + pid).c_str());
    ASSERT_TRUE(stuck) << "the UI thread kept answering";
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(plat::Dialog::Create(hcytest::StatusLayout())->Rendering(),
              plat::DialogRendering::Text);
}

}  // namespace
