#include "support/test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace hcytest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hcytest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (old_)
        setenv(name_.c_str(), old_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedCwd::ScopedCwd(const std::string& path) : old_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(path);
}

ScopedCwd::~ScopedCwd() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::uint16_t FreeUdpPort() {
    static std::atomic<unsigned> next{0};
    // 20000 to 59999, starting at a place that depends on the process.
    const unsigned base = 20000 + (static_cast<unsigned>(getpid()) * 97u) % 40000u;
    for (unsigned attempt = 0; attempt < 40000; ++attempt) {
        const auto port = static_cast<std::uint16_t>(20000 + (base - 20000 + next++ * 7) % 40000);
        int s = socket(AF_INET, SOCK_DGRAM, 0);
        if (s < 0) break;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        // The wildcard address without SO_REUSEADDR: refused while any socket
        // holds the port on any address (the library binds 127.255.255.255,
        // which a probe on 127.0.0.1 would not meet).
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool free = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(s);
        if (free) return port;
    }
    throw std::runtime_error("no free UDP port");
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

}  // namespace hcytest
