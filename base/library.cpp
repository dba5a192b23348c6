#include "base/library.h"

#include <cstdio>

#include "hcyplat/thread_boundary.h"
#include "hcyplat/window.h"

namespace hcy {
namespace {

// The platform's thread boundaries report here.
void ReportThreadError(const char* what, const char* error) {
    try {
        Library().SetErrorf("Error while %s: %s", what, error);
    } catch (...) {
        // Out of memory for the text: the report is lost, the thread goes on.
    }
}

}  // namespace

CLibrary::CLibrary() { plat::SetThreadErrorSink(&ReportThreadError); }

// Platform threads outlive an unloaded library: they report to it no more.
CLibrary::~CLibrary() { plat::SetThreadErrorSink(nullptr); }

CLibrary& Library() {
    static CLibrary library;
    return library;
}

// ---------------------------------------------------------------------------
// Last error

void CLibrary::SetError(const char* text) {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_strLastError = "HCY ERROR: ";
    if (text) m_strLastError += text;
}

void CLibrary::SetErrorv(const char* format, va_list args) {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    SetError(buffer);
}

void CLibrary::SetErrorf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SetErrorv(format, args);
    va_end(args);
}

bool CLibrary::SetCaptureSize(std::uint32_t bytes) {
    if (!CaptureSizeInRange(bytes)) return false;
    m_nCaptureSize = bytes;
    return true;
}

bool CLibrary::CaptureSizeInRange(std::uint32_t bytes) {
    if (bytes >= kMinCaptureSize && bytes <= kMaxCaptureSize) return true;
    SetErrorf("Capture buffer size must be between %d and %d", static_cast<int>(kMinCaptureSize),
              static_cast<int>(kMaxCaptureSize));
    return false;
}

bool CLibrary::SetDefaultSampleRate(std::uint32_t hertz) {
    if (hertz < kMinSampleRate || hertz > kMaxSampleRate) {
        SetErrorf("Sample rate must be between %d and %d", static_cast<int>(kMinSampleRate),
                  static_cast<int>(kMaxSampleRate));
        return false;
    }
    m_nDefaultSampleRate = hertz;
    return true;
}

void CLibrary::ClearError() {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_strLastError.clear();
}

std::string CLibrary::LastError() const {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_strLastError;
}

const char* CLibrary::GetLastErrorText() {
    // Each thread keeps its own copy, valid until its next call.
    thread_local std::string copy;
    copy = LastError();
    return copy.c_str();
}

// ---------------------------------------------------------------------------
// Host window

plat::BOOL CLibrary::PostToMsgWnd(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
    const plat::HWND window = m_hMsgWnd.load();
    if (window == 0) return 0;
    plat::PostMessage(window, msg, wParam, lParam);
    return 1;
}

}  // namespace hcy
