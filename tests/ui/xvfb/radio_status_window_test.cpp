// A radio's status dialog as a window on the X display that
// run-under-xvfb.sh starts: the list widget's rows read back and compared
// with the model, and a screenshot of the dialog with two heard
// transmitters as a user sees it after refreshes
// (screenshots/radio-status-two-rows.png in the build folder).
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "hcyplat/dialog.h"
#include "radio/radio_fixture.h"
#include "support/test_support.h"
#include "ui/radio_status_dialog.h"
#include "ui/radio_status_layout.h"

namespace {

using namespace hcy::ui;

bool WritePng(const std::string& path, const plat::DialogImage& image) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && setjmp(png_jmpbuf(png)) == 0;
    if (ok) {
        png_init_io(png, f);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < image.height; ++y)
            png_write_row(png, image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return ok;
}

class RadioStatusWindow : public hcytest::RadioTest {};

TEST_F(RadioStatusWindow, TheListShowsTheModelsRowsAndAScreenshotOfTwo) {
    auto owned = std::make_unique<RadioStatusDialog>();
    RadioStatusDialog& dialog = *owned;
    radio->SetStatusDialog(std::move(owned));
    radio->SetRecvGain(2.5);
    ASSERT_EQ(radio->ShowRadioData(), 1);
    plat::Dialog& window = *dialog.Window();
    if (window.Rendering() != plat::DialogRendering::Window) {
        if (std::getenv("HCY_XVFB")) FAIL() << "no window on the Xvfb display";
        GTEST_SKIP() << "no display: run through run-under-xvfb.sh";
    }

    hcytest::TransmitterSpec a{{{10, 20, 30}, 1}}, b{{{10, 20, 31}, 2}};
    a.power = 30.0f;
    b.state = 0;
    Hear(a);
    Hear(b);
    radio->UpdateRadioData();
    window.Choose(kTransmitterList, 1);  // 10-20-30-1, as a click on its row
    ASSERT_TRUE(hcytest::WaitFor([&] { return dialog.View().selected == 1; }));
    radio->UpdateRadioData();

    const RadioStatusView view = dialog.View();
    std::vector<plat::DialogRow> modelRows;
    for (const auto& row : view.rows) modelRows.push_back({row.text, row.xmit});
    ASSERT_EQ(modelRows.size(), 2u);
    std::optional<plat::DialogRowsShown> shown;
    ASSERT_TRUE(hcytest::WaitFor([&] {
        shown = window.ShownRows(kTransmitterList);
        return shown && shown->rows == modelRows && shown->selected == view.selected;
    })) << (shown ? shown->rows.size() : 0);
    EXPECT_EQ(view.texts.at(kTxPowerText), "  30.000");

    // Refreshes as a running radio makes them: the selected transmitter's
    // counts change, and only the values' boxes are drawn again.
    for (int i = 0; i < 3; ++i) {
        Hear(a);
        Speak(a.id);
        radio->UpdateRadioData();
    }
    std::optional<plat::DialogImage> image;
    ASSERT_TRUE(hcytest::WaitFor([&] {
        image = window.CaptureImage();
        if (!image) return false;
        std::set<std::uint32_t> colours;  // a drawn window has text, frames, a selection
        for (std::size_t i = 0; i + 2 < image->rgb.size(); i += 3)
            colours.insert(image->rgb[i] << 16 | image->rgb[i + 1] << 8 | image->rgb[i + 2]);
        return colours.size() > 8;
    }));
    const std::string dir = std::string(HCY_TEST_BINARY_DIR) + "/screenshots";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(WritePng(dir + "/radio-status-two-rows.png", *image));
    // What the refreshes left is what a full redraw draws: a label wider
    // than its box lost what reached into a value's box ("Xmits" for
    // "Xmits:").
    const auto redrawn = window.CaptureImage(plat::Dialog::Capture::Redrawn);
    ASSERT_TRUE(redrawn);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < image->rgb.size() && i < redrawn->rgb.size(); ++i)
        differ += image->rgb[i] != redrawn->rgb[i];
    EXPECT_EQ(differ, 0u) << "bytes that refreshes left otherwise than a full redraw";

    // Closed with the window's own close box: the model follows.
    window.CloseBox();
    EXPECT_TRUE(hcytest::WaitFor([&] { return !dialog.IsUp(); }));
}

}  // namespace
