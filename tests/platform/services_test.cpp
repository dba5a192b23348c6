// GUIDs, the C library's rand, module resources and the system version.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "hcyplat/crt.h"
#include "hcyplat/guid.h"
#include "hcyplat/resource.h"
#include "hcyplat/system.h"

namespace {

TEST(Guid, RandomGuidsAreVersionFourAndDistinctUnlessASourceIsInjected) {
    std::set<std::tuple<std::uint32_t, std::uint16_t, std::uint16_t, std::vector<int>>> seen;
    for (int i = 0; i < 64; ++i) {
        plat::GUID g{};
        ASSERT_EQ(plat::CoCreateGuid(&g), plat::S_OK);
        EXPECT_EQ(g.Data3 & 0xF000, 0x4000);
        EXPECT_EQ(g.Data4[0] & 0xC0, 0x80);
        seen.insert({g.Data1, g.Data2, g.Data3, std::vector<int>(g.Data4, g.Data4 + 8)});
    }
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_NE(plat::CoCreateGuid(nullptr), plat::S_OK);

    const plat::GUID fixed{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    plat::SetGuidSourceForTest([&] { return fixed; });
    plat::GUID g{};
    ASSERT_EQ(plat::CoCreateGuid(&g), plat::S_OK);
    EXPECT_TRUE(g == fixed);
    plat::SetGuidSourceForTest(nullptr);
    ASSERT_EQ(plat::CoCreateGuid(&g), plat::S_OK);
    EXPECT_FALSE(g == fixed);
}

// The generator written out independently of the library.
std::vector<int> Reference(unsigned seed, int n) {
    std::vector<int> out;
    std::uint32_t x = seed;
    for (int i = 0; i < n; ++i) {
        x = x * 214013u + 2531011u;
        out.push_back(static_cast<int>((x >> 16) & 0x7FFF));
    }
    return out;
}

std::vector<int> Draw(int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(plat::rand());
    return out;
}

TEST(Rand, SeedOneGivesTheKnownSequenceAndOtherSeedsTheSameFormula) {
    // Each thread starts at seed 1; a fresh thread shows the initial state.
    std::vector<int> first;
    std::thread([&] { first = Draw(5); }).join();
    EXPECT_EQ(first, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
    plat::srand(1);
    EXPECT_EQ(Draw(5), first);
    plat::srand(0);
    EXPECT_EQ(Draw(1)[0], 38);
    plat::srand(12345);
    EXPECT_EQ(Draw(1000), Reference(12345, 1000));
}

TEST(Rand, StateIsPerThread) {
    plat::srand(777);
    const int mine = plat::rand();
    std::thread([] {
        plat::srand(999);
        plat::rand();
    }).join();
    EXPECT_EQ(mine, Reference(777, 1)[0]);
    EXPECT_EQ(plat::rand(), Reference(777, 2)[1]);
}

TEST(Resources, ModulesFindTheirOwnVersionAndStrings) {
    plat::RegisterModuleVersion("Test.dll", {1, 2, 3});
    plat::RegisterStringResource("Test.dll", 103, "Copyright text");
    plat::ModuleVersion v;
    ASSERT_TRUE(plat::GetModuleVersion("test.DLL", v));
    EXPECT_EQ(std::tuple(v.major, v.minor, v.build), std::tuple(1u, 2u, 3u));
    std::string text;
    ASSERT_TRUE(plat::LoadString("Test.dll", 103, text));
    EXPECT_EQ(text, "Copyright text");
    EXPECT_FALSE(plat::LoadString("Test.dll", 104, text));
    EXPECT_FALSE(plat::LoadString("Other.dll", 103, text));
    EXPECT_FALSE(plat::GetModuleVersion("Other.dll", v));
    EXPECT_FALSE(plat::GetModuleVersion(nullptr, v));
    EXPECT_TRUE(plat::GetModuleVersion("libhcyplatform.so", v)) << "the platform registers itself";
}

TEST(SystemVersion, ReportsAModernNtSystem) {
    plat::OSVERSIONINFO info;
    ASSERT_TRUE(plat::GetVersionEx(&info));
    EXPECT_EQ(info.dwPlatformId, 2u);
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_FALSE(plat::GetVersionEx(nullptr));
}

}  // namespace
