// Message windows through the C++ calls and the hosts' C API.
#include <gtest/gtest.h>

#include <thread>

#include "hcyplat/hcyplatform.h"
#include "hcyplat/thread.h"
#include "hcyplat/window.h"

namespace {

class Windows : public ::testing::Test {
protected:
    void SetUp() override { window = plat::CreateMessageWindow(); }
    void TearDown() override { plat::DestroyMessageWindow(window); }
    plat::HWND window = 0;
};

TEST_F(Windows, HandlesAreNotReusedAndPostsArePeekedInOrderUntilTheWindowGoesOrFills) {
    const plat::HWND other = plat::CreateMessageWindow();
    EXPECT_NE(window, 0u);
    EXPECT_NE(other, window);
    EXPECT_NE(other, plat::GetDesktopWindow());
    EXPECT_TRUE(plat::IsWindow(other));
    EXPECT_TRUE(plat::DestroyMessageWindow(other));
    EXPECT_FALSE(plat::IsWindow(other));
    EXPECT_FALSE(plat::DestroyMessageWindow(other));
    EXPECT_FALSE(plat::PostMessage(other, 0x500, 0, 0));
    plat::WindowMessage m;
    EXPECT_FALSE(plat::PeekWindowMessage(other, m));
    EXPECT_NE(plat::CreateMessageWindow(), other) << "handles are not reused";
    EXPECT_FALSE(plat::PostMessage(0, 0x500, 0, 0));
    EXPECT_FALSE(plat::PostMessage(plat::GetDesktopWindow(), 0x500, 0, 0));

    for (std::size_t i = 0; i < plat::kMessageQueueLimit; ++i)
        ASSERT_TRUE(plat::PostMessage(window, 0x500 + (i & 1), i, -static_cast<plat::LPARAM>(i)))
            << i;
    EXPECT_FALSE(plat::PostMessage(window, 0x500, 0, 0));
    for (std::size_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(plat::PeekWindowMessage(window, m));
        EXPECT_EQ(m.message, 0x500u + i);
        EXPECT_EQ(m.wParam, i);
        EXPECT_EQ(m.lParam, -static_cast<plat::LPARAM>(i));
    }
}

TEST_F(Windows, WaitTakesMessagePostedByAnotherThread) {
    plat::WindowMessage m;
    EXPECT_FALSE(plat::WaitWindowMessage(window, m, 0));
    std::thread poster([w = window] { plat::PostMessage(w, 0x501, 2, 3); });
    ASSERT_TRUE(plat::WaitWindowMessage(window, m, 10000));
    EXPECT_EQ(m.message, 0x501u);
    poster.join();
}

TEST_F(Windows, ForegroundAndDesktopDefaultsCanBeReplaced) {
    EXPECT_EQ(plat::GetForegroundWindow(), 0u);
    const plat::HWND desktop = plat::GetDesktopWindow();
    EXPECT_NE(desktop, 0u);
    plat::SetForegroundWindowForTest(window);
    plat::SetDesktopWindowForTest(0);
    EXPECT_EQ(plat::GetForegroundWindow(), window);
    EXPECT_EQ(plat::GetDesktopWindow(), 0u);
    plat::SetForegroundWindowForTest(0);
    plat::SetDesktopWindowForTest(desktop);
}

TEST(WindowCApi, HostCreatesDrainsAndDestroys) {
    const uintptr_t w = hcyplatCreateWindow();
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(plat::PostMessage(w, 0x500, 11, 1));
    ASSERT_TRUE(plat::PostMessage(w, 0x500, 12, 0));
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = -1;
    EXPECT_EQ(hcyplatPeekWindowMessage(w, &message, &wParam, &lParam), 1);
    EXPECT_EQ(message, 0x500u);
    EXPECT_EQ(wParam, 11u);
    EXPECT_EQ(lParam, 1);
    EXPECT_EQ(hcyplatWaitWindowMessage(w, 10000, nullptr, nullptr, nullptr), 1)
        << "null outs allowed";
    EXPECT_EQ(hcyplatPeekWindowMessage(w, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(hcyplatWaitWindowMessage(w, 0, &message, &wParam, &lParam), 0);
    EXPECT_EQ(hcyplatDestroyWindow(w), 1);
    EXPECT_EQ(hcyplatDestroyWindow(w), 0);
    EXPECT_EQ(hcyplatPeekWindowMessage(w, &message, &wParam, &lParam), 0);
}

}  // namespace
