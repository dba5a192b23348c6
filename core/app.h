#pragma once
// The application object: one per loaded library. It owns the handle tables
// of devices, radios and interphones, the start-up and shut-down sequences,
// the last error, the library-wide defaults and the update tick, and it is
// the dispatcher of everything received.
//
// Threads that enter it: the host's threads (every export), the update tick
// (timer thread), the two PDU workers and the network manager thread
// (dispatchers, SetError, profile accessors), capture threads.
//
// Exclusion: one writer-preferring reader/writer lock over the three tables.
// Readers: the tick and every dispatcher. Writers: create, open, destroy,
// close and Exit's teardown. Lock order: tables, then device, then radio or
// interphone, then receive path, then output buffer, then platform objects.
// The tables lock is never held while waiting for another thread that may
// need it (HLA registration, killing the timer, stopping the network
// manager).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/rw_lock.h"
#include "hcyplat/types.h"

namespace hcy::net {
struct TransmitterPdu;
struct SignalPdu;
struct EntityStatePdu;
struct IcsTransmitterPdu;
struct IcsSignalPdu;
}  // namespace hcy::net
using hcy::net::EntityStatePdu;
using hcy::net::IcsSignalPdu;
using hcy::net::IcsTransmitterPdu;
using hcy::net::SignalPdu;
using hcy::net::TransmitterPdu;

class CRadioModel;
class CDevice;
class CICSModel;
class CNetMgr;
struct HlaTransmitterRecord;
struct HlaSignalRecord;

using plat::BOOL;
using plat::HWND;

// Site, application and entity of a DIS entity.
struct EntityId {
    std::uint16_t site = 0;
    std::uint16_t application = 0;
    std::uint16_t entity = 0;
};

// HLA start-up states.
constexpr std::uint32_t HLA_STATE_NONE = 0;
constexpr std::uint32_t HLA_STATE_RUNNING = 1;
constexpr std::uint32_t HLA_STATE_FAILED = 2;

// The outcome of one HLA start-up request, shared by the caller that waits
// and the network manager that answers, so that a late answer never lands
// in a caller that has given up, and a caller never reads an older outcome.
class HlaInitCompletion {
public:
    void Complete(std::uint32_t state, std::string error = {}) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_state = state;
            m_error = std::move(error);
        }
        m_changed.notify_all();
    }
    // The state once answered, or HLA_STATE_NONE when `limit` passed first.
    std::uint32_t Wait(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] { return m_state != HLA_STATE_NONE; });
        return m_state;
    }
    std::string Error() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint32_t m_state = HLA_STATE_NONE;
    std::string m_error;
};

// Heap record that travels with WM_NETMGR_HLA_INIT to the network manager.
struct HlaInitRequest {
    std::uint32_t fomType = 0;
    std::uint32_t createFederation = 0;
    std::string fedFilePath;  // empty: the default federation file
    std::uint32_t maxJoinTries = 0;
    std::string federation;  // owned copy of the caller's name
    std::shared_ptr<HlaInitCompletion> completion = std::make_shared<HlaInitCompletion>();
};

// The root-mean-square level of byteCount / 2 samples divided by the square
// root of 2 x scale: sqrt(sum(x * x / scale) / byteCount).
float ComputeRmsLevel(const std::int16_t* samples, std::uint32_t byteCount, std::int32_t scale);

class CHalcyraApp {
public:
    static constexpr std::uint32_t kMinCaptureSize = 64;     // [bytes]
    static constexpr std::uint32_t kMaxCaptureSize = 65536;  // [bytes]
    static constexpr std::uint32_t kTickPeriodMs = 250;
    static constexpr std::uint32_t kTickResolutionMs = 100;
    static constexpr int kStringCopyright = 103;

    CHalcyraApp();
    ~CHalcyraApp();
    CHalcyraApp(const CHalcyraApp&) = delete;
    CHalcyraApp& operator=(const CHalcyraApp&) = delete;

    // Library load and unload.
    BOOL InitInstance();
    int ExitInstance();

    // Lifecycle (hcyInit, hcyHLAInit, hcyExit).
    BOOL Init(HWND hwnd, const char* address);
    BOOL HLAInit(std::int32_t tickMode, std::uint32_t fomType, const char* federation,
                 std::uint32_t createFederation, const char* fedFilePath,
                 std::uint32_t maxJoinTries);
    BOOL Exit();
    bool IsInitialized() const { return m_bInitialized.load(); }

    // Last error: "HCY ERROR: " + text. Any thread may store; the text handed
    // out is a copy owned by the calling thread.
    void SetError(const char* text);
    void SetErrorf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ClearError();
    const char* GetLastErrorText();
    std::string LastError() const;

    // Configuration file Tervale.cfg, with the registry as fallback.
    int GetProfileInt(const char* section, const char* key, int defaultValue);
    std::string GetProfileString(const char* section, const char* key, const char* defaultValue);
    BOOL WriteProfileInt(const char* section, const char* key, int value);
    BOOL WriteProfileString(const char* section, const char* key, const char* value);
    std::string ConfigFilePath();

    // Lookups: ownership, not raw pointers. Each takes the tables' read lock
    // for the search only.
    std::shared_ptr<CRadioModel> FindRadio(int handle);
    std::shared_ptr<CRadioModel> FindHlaRadio(std::uint32_t objectHandle);
    std::shared_ptr<CICSModel> FindIntercom(int handle);
    std::shared_ptr<CDevice> FindDevice(int handle);
    BOOL ForEachHlaRadioRemoveObject(std::uint32_t objectHandle);
    // The same searches for a caller that already holds TablesLock() (read
    // or write), so that what it finds cannot leave a table meanwhile.
    std::shared_ptr<CRadioModel> FindRadioLocked(int handle);
    std::shared_ptr<CICSModel> FindIntercomLocked(int handle);
    std::shared_ptr<CDevice> FindDeviceLocked(int handle);

    // Entity identifiers for radios and interphones created without them.
    EntityId DefaultEntityId();
    EntityId DefaultEntityIdFields(EntityId given);

    // Messages to the host's library-wide window.
    BOOL PostToMsgWnd(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam);
    BOOL SetMsgWnd(int handle, HWND window);

    // Version and copyright.
    const char* GetLibraryVersion(std::uint32_t* version);
    const char* GetLibraryCopyright();

    // Update tick and its settings.
    BOOL SetHeartbeat(float seconds);
    void SetRecvTimeout(float seconds);
    void UpdateTick();  // one tick of the update timer
    std::int32_t GetMaxRecvValue() const { return m_nMaxRecvValue.load(); }

    // Dispatchers: the PDU is in host order and belongs to the caller.
    void DispatchTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length,
                                std::uint32_t sourceBits);
    void DispatchSignalPdu(const SignalPdu* pdu, std::uint32_t length, std::uint32_t sourceBits);
    void DispatchEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length,
                                std::uint32_t sourceBits);
    void DispatchIcsTransmitterPdu(const IcsTransmitterPdu* pdu, std::uint32_t length,
                                   std::uint32_t sourceBits);
    void DispatchIcsSignalPdu(const IcsSignalPdu* pdu, std::uint32_t length,
                              std::uint32_t sourceBits);
    void DispatchHlaTransmitterUpdate(std::uint32_t objectHandle,
                                      const HlaTransmitterRecord* record,
                                      std::uint32_t attributeMask);
    void DispatchHlaSignal(const HlaSignalRecord* record, const std::uint8_t* data,
                           const std::string* senderName);

    // Tables (writers). AddRadio gives `prepare` the new radio's handle,
    // under the lock, before the radio joins the table.
    int AddRadio(std::shared_ptr<CRadioModel> radio, const std::function<void(int)>& prepare);
    int AddDevice(std::shared_ptr<CDevice> device);
    int AddInterphone(std::shared_ptr<CICSModel> interphone);
    int TakeHandle();  // a number for a private device that is not in a table

    // Network manager of the running library; null before hcyInit and after
    // hcyExit.
    std::shared_ptr<CNetMgr> NetMgr() const;

    // Defaults and library-wide switches, read from any thread.
    std::atomic<std::uint32_t> m_nTickCount{0};
    std::atomic<std::int32_t> m_nHeartbeatTicks{12};
    std::atomic<std::int32_t> m_nRecvTimeoutTicks{36};
    std::atomic<bool> m_bRecvTimeoutSet{false};
    std::atomic<std::uint32_t> m_nDefaultNetwork{1};
    std::atomic<bool> m_bOldWindowsNT{false};
    std::atomic<HWND> m_hWnd{0};
    std::atomic<HWND> m_hMsgWnd{0};
    std::atomic<std::uint32_t> m_nCaptureSize{2048};
    std::atomic<std::uint32_t> m_nDefaultSampleRate{16000};
    std::atomic<bool> m_bHlaHeartbeat{false};
    std::atomic<std::int32_t> m_nHlaTickMode{1};
    std::atomic<bool> m_bAcceptEntityState{false};
    std::atomic<std::uint32_t> m_nEnablePDUs{0};
    std::atomic<std::uint32_t> m_nProtocolVersion{6};
    std::atomic<std::int32_t> m_nMaxRecvValue{-1};
    std::atomic<std::uint32_t> m_nMultiDeviceChannelMask{0};

    const std::string m_strConfigFile = "Tervale.cfg";

private:
    friend class CHalcyraAppTestAccess;

    void EnumerateSoundDevices();
    void ClearDeviceMaps();
    void RunHeartbeats(const std::vector<std::shared_ptr<CRadioModel>>& radios,
                       const std::vector<std::shared_ptr<CICSModel>>& interphones);
    static void UpdateTimerProc(plat::UINT timerId, plat::UINT message, plat::DWORD_PTR user,
                                plat::DWORD_PTR, plat::DWORD_PTR);
    void StopTimer();
    void StopNetMgr();
    void TeardownTables();

public:
    // Sound-device lists (hcyGetOutputDevices and friends).
    int GetOutputDevices(int first, char* name, int nameSize, plat::GUID* guid);
    int GetCaptureDevices(int first, char* name, int nameSize, plat::GUID* guid);
    int GetInputDevices(int first, char* name, int nameSize, std::uint32_t* id);

    // Destroying and closing by handle.
    BOOL DestroyComRadio(int handle);
    BOOL DestroyInterphone(int handle);
    // Closes a device of any kind through its own Close, after every radio
    // and interphone has let go of it: receive paths are stopped (or, with
    // removePaths, removed) and transmit lists no longer key through it.
    BOOL CloseDevice(int handle, bool removePaths);

    hcy::WriterPreferringLock& TablesLock() { return m_tablesLock; }

private:
    // Device descriptions in enumeration order, each with its GUID.
    using DeviceMap = std::vector<std::pair<std::string, plat::GUID>>;
    DeviceMap m_mapCaptureDevices;
    DeviceMap m_mapOutputDevices;
    std::size_t m_posCaptureDevices = 0;  // index into the map; size() = no entry
    std::size_t m_posOutputDevices = 0;
    std::uint32_t m_nInputDeviceIndex = 0;
    std::mutex m_listMutex;  // the device maps and their cursors

    mutable std::mutex m_errorMutex;
    std::string m_strLastError;

    std::mutex m_textMutex;  // version and copyright texts
    std::string m_strVersion;
    std::string m_strCopyright;

    // Start-up, shut-down and HLA start-up run one at a time.
    std::mutex m_lifecycleMutex;
    mutable std::mutex m_netMgrMutex;
    std::shared_ptr<CNetMgr> m_pNetMgr;
    std::atomic<plat::UINT> m_nTimerId{0};
    std::atomic<bool> m_bInitialized{false};

    hcy::WriterPreferringLock m_tablesLock;
    std::vector<std::shared_ptr<CDevice>> m_arrDevices;
    std::vector<std::shared_ptr<CRadioModel>> m_arrRadios;
    std::vector<std::shared_ptr<CICSModel>> m_arrInterphones;
    std::atomic<int> m_nNextHandle{1};

    // Tick state, touched only by the tick (one tick at a time).
    std::mutex m_tickMutex;
    std::int32_t m_nRadioCursor = 0;
    std::int32_t m_nInterphoneCursor = 0;
    std::int32_t m_nHeartbeatPhase = 0;

    std::string m_strDestAddress;
    std::string m_strFederation;
};

extern CHalcyraApp theApp;
