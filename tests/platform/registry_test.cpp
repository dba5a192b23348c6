// The registry store in a temporary XDG_CONFIG_HOME.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hcyplat/registry.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Keeps an environment variable's value and puts it back afterwards.
class SavedEnv {
public:
    explicit SavedEnv(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) value_ = v, had_ = true;
    }
    ~SavedEnv() {
        if (had_)
            setenv(name_, value_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string value_;
    bool had_ = false;
};

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        root = fs::temp_directory_path() / ("hcyplat-reg-" + std::to_string(rd()) + std::to_string(rd()));
        ASSERT_TRUE(fs::create_directories(root));
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        plat::SetRegistryKey("Brackwater", "Halcyra");
        file = root / "Brackwater" / "Halcyra" / "registry.ini";
    }
    void TearDown() override {
        plat::SetRegistryKey(nullptr, nullptr);
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    SavedEnv xdg{"XDG_CONFIG_HOME"};
    SavedEnv home{"HOME"};
    fs::path root, file;
};

TEST_F(Registry, NothingIsStoredBeforeTheKeyIsSet) {
    plat::SetRegistryKey(nullptr, nullptr);
    EXPECT_EQ(plat::RegistryFolder(), "");
    EXPECT_FALSE(plat::RegWriteString("ConfigFile", "Path", "/tmp"));
    EXPECT_EQ(plat::RegGetString("ConfigFile", "Path", "none"), "none");
    EXPECT_EQ(plat::RegGetInt("S", "K", 17), 17);
    EXPECT_FALSE(fs::exists(root / "Brackwater"));
}

TEST_F(Registry, WritesCreateFoldersAndReadBack) {
    EXPECT_EQ(plat::RegistryFolder(), (root / "Brackwater" / "Halcyra").string());
    EXPECT_EQ(plat::RegGetString("ConfigFile", "Path", "dflt"), "dflt") << "missing file reads empty";
    ASSERT_TRUE(plat::RegWriteString("ConfigFile", "Path", "/opt/halcyra"));
    ASSERT_TRUE(plat::RegWriteInt("Network", "Port", 3000));
    ASSERT_TRUE(plat::RegWriteString("ConfigFile", "Path", "/srv/h"));
    EXPECT_EQ(Slurp(file), "[ConfigFile]\nPath=/srv/h\n[Network]\nPort=3000\n");
    EXPECT_EQ(plat::RegGetString("ConfigFile", "Path", ""), "/srv/h");
    EXPECT_EQ(plat::RegGetString("configfile", "PATH", ""), "/srv/h") << "names ignore case";
    EXPECT_EQ(plat::RegGetInt("Network", "Port", 0), 3000);
    EXPECT_EQ(plat::RegGetInt("Network", "Missing", -5), -5);
}

TEST_F(Registry, FileIsReadOnEveryCall) {
    ASSERT_TRUE(plat::RegWriteInt("S", "K", 1));
    std::ofstream(file, std::ios::trunc) << "[S]\r\nK=2\r\n";
    EXPECT_EQ(plat::RegGetInt("S", "K", 0), 2);
    fs::remove(file);
    EXPECT_EQ(plat::RegGetInt("S", "K", 9), 9);
}

TEST_F(Registry, IntegersParseLikeStrtolClampedToInt) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "[N]\nlead= 42abc\nneg=-17\nnone=abc\nbig=99999999999\nsmall=-99999999999\n";
    EXPECT_EQ(plat::RegGetInt("N", "lead", 0), 42);
    EXPECT_EQ(plat::RegGetInt("N", "neg", 0), -17);
    EXPECT_EQ(plat::RegGetInt("N", "none", 5), 0);
    EXPECT_EQ(plat::RegGetInt("N", "big", 0), INT_MAX);
    EXPECT_EQ(plat::RegGetInt("N", "small", 0), INT_MIN);
}

TEST_F(Registry, ValuesCannotForgeLinesAndNamesAreChecked) {
    ASSERT_TRUE(plat::RegWriteString("S", "K", "a\nEvil=1\\x\r"));
    EXPECT_EQ(plat::RegGetString("S", "K", ""), "a\nEvil=1\\x\r");
    EXPECT_EQ(plat::RegGetString("S", "Evil", "no"), "no");
    EXPECT_FALSE(plat::RegWriteString("S]", "K", "v"));
    EXPECT_FALSE(plat::RegWriteString("S", "K=2", "v"));
    EXPECT_FALSE(plat::RegWriteString("S", "[K]", "v"));
    EXPECT_FALSE(plat::RegWriteString(nullptr, "K", "v"));
}

TEST_F(Registry, NullValueRemovesKeyAndNullKeyRemovesSection) {
    ASSERT_TRUE(plat::RegWriteString("A", "x", "1"));
    ASSERT_TRUE(plat::RegWriteString("A", "y", "2"));
    ASSERT_TRUE(plat::RegWriteString("B", "z", "3"));
    ASSERT_TRUE(plat::RegWriteString("A", "x", nullptr));
    EXPECT_EQ(plat::RegGetString("A", "x", "gone"), "gone");
    EXPECT_EQ(plat::RegGetString("A", "y", ""), "2");
    ASSERT_TRUE(plat::RegWriteString("A", nullptr, nullptr));
    EXPECT_EQ(plat::RegGetString("A", "y", "gone"), "gone");
    EXPECT_EQ(plat::RegGetString("B", "z", ""), "3");
}

TEST_F(Registry, KeyNamesCannotLeaveTheConfigFolder) {
    plat::SetRegistryKey("..", "Halcyra");
    EXPECT_EQ(plat::RegistryFolder(), "");
    plat::SetRegistryKey("Brackwater", "a/b");
    EXPECT_EQ(plat::RegistryFolder(), "");
}

TEST_F(Registry, HomeConfigIsTheDefaultFolder) {
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", root.c_str(), 1);
    EXPECT_EQ(plat::RegistryFolder(), (root / ".config" / "Brackwater" / "Halcyra").string());
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(plat::RegistryFolder(), (root / ".config" / "Brackwater" / "Halcyra").string());
    ASSERT_TRUE(plat::RegWriteInt("S", "K", 4));
    EXPECT_TRUE(fs::exists(root / ".config" / "Brackwater" / "Halcyra" / "registry.ini"));
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([w] {
            for (int i = 0; i < 25; ++i)
                plat::RegWriteInt("W", ("k" + std::to_string(w) + "_" + std::to_string(i)).c_str(), i);
        });
    for (auto& t : writers) t.join();
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(plat::RegGetInt("W", ("k" + std::to_string(w) + "_" + std::to_string(i)).c_str(), -1), i);
}

}  // namespace
