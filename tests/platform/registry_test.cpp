// The registry store in a temporary XDG_CONFIG_HOME.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "hcyplat/registry.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

class Registry : public ::testing::Test {
protected:
    void SetUp() override { plat::SetRegistryKey("Brackwater", "Halcyra"); }
    void TearDown() override { plat::SetRegistryKey(nullptr, nullptr); }

    hcytest::TempDir dir;
    hcytest::ScopedEnv xdg{"XDG_CONFIG_HOME", dir.path()};
    hcytest::ScopedEnv home{"HOME", dir.path()};
    fs::path root{dir.path()};
    fs::path file = root / "Brackwater" / "Halcyra" / "registry.ini";
};

TEST_F(Registry, NothingIsStoredWithoutAKeyOrWithOneThatLeavesTheConfigFolder) {
    const std::pair<const char*, const char*> keys[] = {
        {nullptr, nullptr}, {"..", "Halcyra"}, {"Brackwater", "a/b"}};
    for (auto [company, app] : keys) {
        plat::SetRegistryKey(company, app);
        EXPECT_EQ(plat::RegistryFolder(), "");
        EXPECT_FALSE(plat::RegWriteString("ConfigFile", "Path", "/tmp"));
        EXPECT_EQ(plat::RegGetString("ConfigFile", "Path", "none"), "none");
        EXPECT_EQ(plat::RegGetInt("S", "K", 17), 17);
    }
    EXPECT_TRUE(fs::is_empty(root));
}

TEST_F(Registry, WritesCreateFoldersAndTheFileIsReadOnEveryCall) {
    EXPECT_EQ(plat::RegistryFolder(), (root / "Brackwater" / "Halcyra").string());
    EXPECT_EQ(plat::RegGetString("ConfigFile", "Path", "dflt"), "dflt")
        << "missing file reads empty";
    ASSERT_TRUE(plat::RegWriteString("ConfigFile", "Path", "/opt/halcyra"));
    ASSERT_TRUE(plat::RegWriteInt("Network", "Port", 3000));
    ASSERT_TRUE(plat::RegWriteString("ConfigFile", "Path", "/srv/h"));
    EXPECT_EQ(hcytest::ReadFile(file), "[ConfigFile]\nPath=/srv/h\n[Network]\nPort=3000\n");
    EXPECT_EQ(plat::RegGetString("configfile", "PATH", ""), "/srv/h") << "names ignore case";
    EXPECT_EQ(plat::RegGetInt("Network", "Port", 0), 3000);
    EXPECT_EQ(plat::RegGetInt("Network", "Missing", -5), -5);

    std::ofstream(file, std::ios::trunc) << "[S]\r\nK=2\r\n";
    EXPECT_EQ(plat::RegGetInt("S", "K", 0), 2);
    fs::remove(file);
    EXPECT_EQ(plat::RegGetInt("S", "K", 9), 9);
}

TEST_F(Registry, IntegersParseLikeStrtolClampedToInt) {
    fs::create_directories(file.parent_path());
    std::ofstream(file)
        << "[N]\nlead= 42abc\nneg=-17\nnone=abc\nbig=99999999999\nsmall=-99999999999\n";
    const std::pair<const char*, int> values[] = {
        {"lead", 42}, {"neg", -17}, {"none", 0}, {"big", INT_MAX}, {"small", INT_MIN}};
    for (auto [key, value] : values) EXPECT_EQ(plat::RegGetInt("N", key, 5), value) << key;
}

TEST_F(Registry, ValuesCannotForgeLinesNamesAreCheckedAndNullsRemove) {
    ASSERT_TRUE(plat::RegWriteString("S", "K", "a\nEvil=1\\x\r"));
    EXPECT_EQ(plat::RegGetString("S", "K", ""), "a\nEvil=1\\x\r");
    EXPECT_EQ(plat::RegGetString("S", "Evil", "no"), "no");
    EXPECT_FALSE(plat::RegWriteString("S]", "K", "v"));
    EXPECT_FALSE(plat::RegWriteString("S", "K=2", "v"));
    EXPECT_FALSE(plat::RegWriteString("S", "[K]", "v"));
    EXPECT_FALSE(plat::RegWriteString(nullptr, "K", "v"));

    ASSERT_TRUE(plat::RegWriteString("A", "x", "1"));
    ASSERT_TRUE(plat::RegWriteString("A", "y", "2"));
    ASSERT_TRUE(plat::RegWriteString("A", "x", nullptr));  // removes the key
    EXPECT_EQ(plat::RegGetString("A", "x", "gone"), "gone");
    EXPECT_EQ(plat::RegGetString("A", "y", ""), "2");
    ASSERT_TRUE(plat::RegWriteString("A", nullptr, nullptr));  // removes the section
    EXPECT_EQ(plat::RegGetString("A", "y", "gone"), "gone");
    EXPECT_EQ(plat::RegGetString("S", "K", ""), "a\nEvil=1\\x\r");
}

TEST_F(Registry, HomeConfigIsTheDefaultFolder) {
    const fs::path folder = root / ".config" / "Brackwater" / "Halcyra";
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(plat::RegistryFolder(), folder.string());
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(plat::RegistryFolder(), folder.string());
    ASSERT_TRUE(plat::RegWriteInt("S", "K", 4));
    EXPECT_TRUE(fs::exists(folder / "registry.ini"));
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    auto key = [](int w, int i) { return "k" + std::to_string(w) + "_" + std::to_string(i); };
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([w, key] {
            for (int i = 0; i < 25; ++i) plat::RegWriteInt("W", key(w, i).c_str(), i);
        });
    for (auto& t : writers) t.join();
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 25; ++i) EXPECT_EQ(plat::RegGetInt("W", key(w, i).c_str(), -1), i);
}

}  // namespace
