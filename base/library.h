#pragma once
// What every subsystem reads from the application object, in the folder
// below them all: the last-error store, the configuration file accessors,
// the host's message window and the library defaults and switches.
//
// How to reach it: hcy::Library() is the one CLibrary of the loaded library.
// Code below core/ calls it directly:
//
//     hcy::Library().SetError("Invalid encoding scheme");
//     const auto rate = hcy::Library().m_nDefaultSampleRate.load();
//
// The application object (core/app.h) forwards the last error and the
// configuration accessors (`theApp.SetError(...)`); the defaults and switches
// have this one name.
//
// Lifetime: created on first use (the application object uses it while it
// is constructed, so it outlives the application object) and destroyed at
// unload. While it exists it is the platform's thread error sink: an
// exception caught at any thread boundary becomes the last error
// "Error while <what>: <text>".
//
// Threads: every member may be used from any thread. The last error is
// guarded by a mutex; the defaults and switches are atomics.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>

#include "hcyplat/types.h"

namespace hcy {

class CLibrary {
public:
    CLibrary();
    ~CLibrary();
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;

    // ---- Last error: "HCY ERROR: " + text. Any thread may store; the text
    // handed out is a copy owned by the calling thread, valid until that
    // thread's next call.
    void SetError(const char* text);
    void SetErrorf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetErrorv(const char* format, va_list args);
    void ClearError();
    const char* GetLastErrorText();
    std::string LastError() const;

    // ---- Configuration file Tervale.cfg (base/config.cpp), with the registry
    // as fallback when the file cannot be read.
    int GetProfileInt(const char* section, const char* key, int defaultValue);
    std::string GetProfileString(const char* section, const char* key, const char* defaultValue);
    plat::BOOL WriteProfileInt(const char* section, const char* key, int value);
    plat::BOOL WriteProfileString(const char* section, const char* key, const char* value);
    std::string ConfigFilePath();

    // ---- The host's library-wide message window: 0 when there is none.
    plat::BOOL PostToMsgWnd(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam);

    // The largest receive value of all radios, -1 when none (the update
    // tick refreshes it every other tick).
    std::int32_t GetMaxRecvValue() const { return m_nMaxRecvValue.load(); }

    // ---- The handle counter that radios, devices and interphones share,
    // the radios' private tone and prompt devices too (the application
    // object starts it at 1 on each hcyInit).
    int TakeHandle() { return m_nNextHandle.fetch_add(1); }
    std::atomic<int> m_nNextHandle{1};

    // ---- Setters of the defaults the host chooses that have a range: a
    // value outside it is refused with the last error (false).
    // Capture block [bytes], 64..65536.
    static constexpr std::uint32_t kMinCaptureSize = 64, kMaxCaptureSize = 65536;
    bool SetCaptureSize(std::uint32_t bytes);
    // The same check alone, for a device's own capture block.
    bool CaptureSizeInRange(std::uint32_t bytes);
    // Sample rate [Hz], 100..200000: the rates a sound buffer takes.
    static constexpr std::uint32_t kMinSampleRate = 100, kMaxSampleRate = 200000;
    bool SetDefaultSampleRate(std::uint32_t hertz);

    // ---- Defaults and library-wide switches, read from any thread.
    std::atomic<std::uint32_t> m_nTickCount{0};
    std::atomic<std::int32_t> m_nHeartbeatTicks{12};
    std::atomic<std::int32_t> m_nRecvTimeoutTicks{36};
    std::atomic<bool> m_bRecvTimeoutSet{false};
    std::atomic<std::uint32_t> m_nDefaultNetwork{1};
    std::atomic<bool> m_bOldWindowsNT{false};
    std::atomic<plat::HWND> m_hWnd{0};
    std::atomic<plat::HWND> m_hMsgWnd{0};
    std::atomic<std::uint32_t> m_nCaptureSize{2048};         // [bytes]
    std::atomic<std::uint32_t> m_nDefaultSampleRate{16000};  // [Hz]
    std::atomic<bool> m_bHlaHeartbeat{false};
    std::atomic<std::int32_t> m_nHlaTickMode{1};
    std::atomic<bool> m_bAcceptEntityState{false};
    std::atomic<std::uint32_t> m_nEnablePDUs{0};
    std::atomic<std::uint32_t> m_nProtocolVersion{6};
    std::atomic<std::int32_t> m_nMaxRecvValue{-1};
    std::atomic<std::uint32_t> m_nMultiDeviceChannelMask{0};

    const std::string m_strConfigFile = "Tervale.cfg";

private:
    mutable std::mutex m_errorMutex;
    std::string m_strLastError;
};

// The library's one CLibrary.
CLibrary& Library();

}  // namespace hcy
