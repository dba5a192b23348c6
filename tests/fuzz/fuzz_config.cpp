// Arbitrary bytes as the configuration file Tervale.cfg: reading real keys
// and writing one back must neither crash nor lose the value just written.
// One private folder for the whole run holds the file and the registry; the
// registry's "ConfigFile" "Path" points the library at it. The working folder
// stays as it is: libFuzzer reads its corpus by relative paths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "core/app.h"
#include "hcyplat/registry.h"

namespace {

namespace fs = std::filesystem;

class PrivateFolder {
public:
    PrivateFolder() {
        // A memory file system where there is one: every input rewrites the
        // file, and a disk would flush each rewrite on close.
        std::error_code error;
        const fs::path base =
            fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::random_device random;
        for (;;) {
            path_ = base / ("hcy-fuzz-config-" + std::to_string(random()));
            if (fs::create_directory(path_)) break;
        }
        fs::create_directory(path_ / "config");
        setenv("XDG_CONFIG_HOME", (path_ / "config").c_str(), 1);
        if (!plat::RegWriteString("ConfigFile", "Path", path_.c_str()) ||
            theApp.ConfigFilePath() != (path_ / "Tervale.cfg").string())
            __builtin_trap();  // would touch files outside the private folder
        file_ = (path_ / "Tervale.cfg").string();
    }
    ~PrivateFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& file() const { return file_; }

private:
    fs::path path_;
    std::string file_;
};

struct Key {
    const char* section;
    const char* key;
    bool number;  // read with GetProfileInt, else GetProfileString
};

constexpr Key kKeys[] = {
    {"Network", "BindAdx", false},   {"Network", "RecvBuf", true},
    {"Network", "QFlush", true},     {"Network", "PrimBroadcast", false},
    {"Radio", "SquelchLevel", true}, {"DIS_IDs", "SiteID", true},
    {"DIS_IDs", "HostID", false},    {"ARC164", "MinFreq", true},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const PrivateFolder folder;
    {
        std::ofstream out(folder.file(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out.flush()) return 0;
    }
    for (const Key& k : kKeys) {
        if (k.number)
            (void)theApp.GetProfileInt(k.section, k.key, -1);
        else
            (void)theApp.GetProfileString(k.section, k.key, "default");
    }
    // A value written is the value read next.
    if (theApp.WriteProfileInt("DIS_IDs", "HostID", 4321) == 1 &&
        theApp.GetProfileInt("DIS_IDs", "HostID", -1) != 4321)
        __builtin_trap();
    if (theApp.WriteProfileString("Network", "BindAdx", "127.0.0.1") == 1 &&
        theApp.GetProfileString("Network", "BindAdx", "") != "127.0.0.1")
        __builtin_trap();
    return 0;
}
