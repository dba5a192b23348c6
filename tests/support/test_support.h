#pragma once
// Helpers shared by the tests: temporary folders, environment overrides,
// bounded waits on a condition, loopback ports no other test uses.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace hcytest {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets an environment variable for the scope, restoring the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Changes the working folder for the scope.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& path);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string old_;
};

// Polls `condition` until it holds or `limit` of real time has passed.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(10));

// A UDP port that no socket holds now on any address, spread by process so
// that tests running in parallel do not meet.
std::uint16_t FreeUdpPort();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

}  // namespace hcytest
