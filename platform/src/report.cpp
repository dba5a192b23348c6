// The platform's report queue: one lock, a bounded FIFO of texts.
#include "hcyplat/report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

namespace plat {
namespace {

std::mutex& ReportMutex() {
    static std::mutex m;
    return m;
}

std::deque<std::string>& Reports() {
    static std::deque<std::string> reports;
    return reports;
}

}  // namespace

void Report(const char* format, ...) noexcept {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    try {
        std::lock_guard<std::mutex> lock(ReportMutex());
        if (Reports().size() < kReportLimit) Reports().emplace_back(text);
    } catch (...) {
        // Out of memory: the report is lost.
    }
}

int TakeReport(char* text, int size) noexcept {
    std::string report;
    {
        std::lock_guard<std::mutex> lock(ReportMutex());
        if (Reports().empty()) return -1;
        report.swap(Reports().front());
        Reports().pop_front();
    }
    if (text && size > 0) {
        const std::size_t n = std::min(report.size(), static_cast<std::size_t>(size) - 1);
        std::memcpy(text, report.data(), n);
        text[n] = '\0';
    }
    return static_cast<int>(report.size());
}

}  // namespace plat
