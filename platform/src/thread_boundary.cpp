// The thread boundary's error sink and its fault injection for tests.
#include "hcyplat/thread_boundary.h"

#include <atomic>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

#include "hcyplat/report.h"

namespace plat {
namespace {

std::atomic<ThreadErrorSink> g_sink{nullptr};

// Armed faults: a count for one `what`. The count is read on every
// boundary entry, so it is atomic; the text only while armed.
std::atomic<int> g_faultCount{0};
std::mutex g_faultMutex;
std::string g_faultWhat;

}  // namespace

ThreadErrorSink SetThreadErrorSink(ThreadErrorSink sink) { return g_sink.exchange(sink); }

void ReportCurrentException(const char* what) noexcept {
    const char* text = "Unexpected internal error.";
    std::string message;  // keeps e.what() alive when the rethrow is left
    try {
        throw;
    } catch (const std::bad_alloc&) {
        text = "Out of memory.";
    } catch (const std::exception& e) {
        try {
            message = e.what();
            text = message.c_str();
        } catch (...) {
            text = "Out of memory.";
        }
    } catch (...) {}
    if (!what) what = "running a thread";
    if (ThreadErrorSink sink = g_sink.load()) {
        sink(what, text);
    } else {
        Report("error while %s: %s", what, text);
    }
}

void InjectThreadFaultForTest(const char* what, int count) {
    std::lock_guard<std::mutex> lock(g_faultMutex);
    g_faultWhat = what ? what : "";
    g_faultCount = what && count > 0 ? count : 0;
}

namespace detail {

bool ThreadFaultArmed() noexcept { return g_faultCount.load(std::memory_order_relaxed) > 0; }

void ThrowIfThreadFaultInjected(const char* what) {
    {
        std::lock_guard<std::mutex> lock(g_faultMutex);
        if (g_faultCount.load() <= 0 || !what || g_faultWhat != what) return;
        --g_faultCount;
    }
    throw std::runtime_error("injected fault");
}

}  // namespace detail
}  // namespace plat
