#pragma once
// The application object: one per loaded library. It owns the handle tables
// of devices, radios and interphones, the start-up and shut-down sequences
// and the update tick, and it is the receive road's sink (net/pdu_sink.h)
// and the HLA manager's (hla/hla_sink.h): the dispatcher of everything
// received. The last error, the configuration accessors and the
// library-wide defaults are base/'s (base/library.h); the members of those
// names here forward to it.
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
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/library.h"
#include "core/rw_lock.h"
#include "hcyplat/types.h"
#include "hla/hla_sink.h"
#include "net/pdu.h"
#include "net/pdu_sink.h"

class CRadioModel;
class CDevice;
class CICSModel;
class CNetMgr;

class CHalcyraApp final : public hcy::net::PduSink, public hcy::hla::HlaSink {
public:
    using BOOL = plat::BOOL;
    using HWND = plat::HWND;

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
    bool IsInitialized() const { return m_state.load() == State::Running; }

    // Last error and configuration: hcy::Library()'s (base/library.h), under
    // the names used here.
    void SetError(const char* text) override { m_library.SetError(text); }
    void SetErrorf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ClearError() { m_library.ClearError(); }
    const char* GetLastErrorText() { return m_library.GetLastErrorText(); }
    std::string LastError() const { return m_library.LastError(); }
    int GetProfileInt(const char* section, const char* key, int defaultValue) {
        return m_library.GetProfileInt(section, key, defaultValue);
    }
    std::string GetProfileString(const char* section, const char* key, const char* defaultValue) {
        return m_library.GetProfileString(section, key, defaultValue);
    }
    BOOL WriteProfileInt(const char* section, const char* key, int value) {
        return m_library.WriteProfileInt(section, key, value);
    }
    BOOL WriteProfileString(const char* section, const char* key, const char* value) {
        return m_library.WriteProfileString(section, key, value);
    }
    std::string ConfigFilePath() { return m_library.ConfigFilePath(); }

    // Lookups: ownership, not raw pointers. Each takes the tables' read lock
    // for the search only.
    std::shared_ptr<CRadioModel> FindRadio(int handle);
    std::shared_ptr<CRadioModel> FindHlaRadio(std::uint32_t objectHandle);
    std::shared_ptr<CICSModel> FindIntercom(int handle);
    std::shared_ptr<CDevice> FindDevice(int handle);
    BOOL ForEachHlaRadioRemoveObject(std::uint32_t objectHandle) override;
    // The same searches for a caller that already holds TablesLock() (read
    // or write), so that what it finds cannot leave a table meanwhile.
    std::shared_ptr<CRadioModel> FindRadioLocked(int handle);
    std::shared_ptr<CICSModel> FindIntercomLocked(int handle);
    std::shared_ptr<CDevice> FindDeviceLocked(int handle);

    // Entity identifiers for radios and interphones created without them.
    hcy::net::EntityId DefaultEntityId();
    hcy::net::EntityId DefaultEntityIdFields(hcy::net::EntityId given);

    // Messages to the host's library-wide window.
    BOOL PostToMsgWnd(plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam) {
        return m_library.PostToMsgWnd(msg, wParam, lParam);
    }
    BOOL SetMsgWnd(int handle, HWND window);

    // Version and copyright: per-thread copies, valid until the calling
    // thread's next call of the same getter.
    const char* GetLibraryVersion(std::uint32_t* version);
    const char* GetLibraryCopyright();

    // Update tick and its settings.
    BOOL SetHeartbeat(float seconds);
    void SetRecvTimeout(float seconds);
    void UpdateTick();  // one tick of the update timer
    std::int32_t GetMaxRecvValue() const { return m_library.GetMaxRecvValue(); }

    // Dispatchers of the receive road (net/pdu_sink.h for the contract).
    void DispatchTransmitterPdu(const hcy::net::TransmitterPdu* pdu, std::uint32_t length,
                                std::uint32_t sourceBits) override;
    void DispatchSignalPdu(const hcy::net::SignalPdu* pdu, std::uint32_t length,
                           std::uint32_t sourceBits) override;
    void DispatchEntityStatePdu(const hcy::net::EntityStatePdu* pdu, std::uint32_t length,
                                std::uint32_t sourceBits) override;
    void DispatchIcsTransmitterPdu(const hcy::net::IcsTransmitterPdu* pdu, std::uint32_t length,
                                   std::uint32_t sourceBits) override;
    void DispatchIcsSignalPdu(const hcy::net::IcsSignalPdu* pdu, std::uint32_t length,
                              std::uint32_t sourceBits) override;
    // The HLA dispatchers and the rest of what the HLA manager asks
    // (hla/hla_sink.h for the contract), on the network manager's thread.
    void DispatchHlaTransmitterUpdate(std::uint32_t objectHandle,
                                      const HlaTransmitterRecord* record,
                                      std::uint32_t attributeMask) override;
    void DispatchHlaSignal(const HlaSignalRecord* record, const std::uint8_t* data,
                           std::uint32_t dataBytes, const std::string* senderName) override;
    bool GetRadioName(int userId, std::string& name) override;
    bool SetRadioHlaObject(int userId, std::uint32_t objectHandle) override;
    void RefuseRadioHlaObject(int userId, const char* reason) override;
    bool GetHlaRadioRecord(std::uint32_t objectHandle, HlaTransmitterRecord& out) override;
    bool PostUpdateAttributes(std::uint32_t objectHandle, std::uint32_t mask) override;
    // Changes an HLA radio's attribute mask or radio value (code: the
    // WM_NETMGR_HLA_ATTRIBUTES_ON, _OFF or _RADIO_VALUE number).
    bool SetRadioHLAData(std::uint32_t objectHandle, int code, std::int32_t value) override;

    // Tables (writers). Each refuses with "Tervale has not been initialized"
    // and -1 while the library is not running or shutting down, so that
    // nothing outlives hcyExit in them. AddRadio gives `prepare` the new
    // radio's handle, under the lock, before the radio joins the table (the
    // radio is visible only with its user id set). A refused device is
    // closed again. A device opened under a handle of a ticket
    // (TakeTableHandle) names the ticket's session; 0 takes the current one.
    struct HandleTicket {
        int handle = -1;
        std::uint64_t session = 0;  // 0: the tables are closed
    };
    HandleTicket TakeTableHandle();
    int AddRadio(std::shared_ptr<CRadioModel> radio, const std::function<void(int)>& prepare);
    int AddDevice(std::shared_ptr<CDevice> device, std::uint64_t session = 0);
    int AddInterphone(std::shared_ptr<CICSModel> interphone);
    int TakeHandle();  // a number for a private device that is not in a table

    // Radios and interphones of the exports; an identifier of all zeros is
    // replaced by DefaultEntityId(). A radio of `model` gets its status
    // dialog and is numbered `radioNumber` (0: its handle) before it joins
    // the table; in HLA mode CreateRadio then waits, outside the tables
    // lock, for the network manager to register the radio's object. The
    // handle, or -1 with the last error.
    int CreateRadio(std::uint16_t model, hcy::net::EntityId id, std::uint16_t radioNumber);
    int CreateInterphone(int station, hcy::net::EntityId id);
    // Radio data (RD_*) of a radio or an interphone, RD_MAX_RECV_VALUE of
    // any handle; an interphone takes every setting and keeps none. 0 with
    // the last error for a handle of neither.
    int SetRadioData(int handle, int id, void* value);
    int GetRadioData(int handle, int id, void* out);

    // Network manager of the running library (hcy::net::CurrentNetMgr());
    // null before hcyInit and after hcyExit.
    std::shared_ptr<CNetMgr> NetMgr() const;

private:
    // The library's defaults and switches are hcy::Library()'s
    // (base/library.h), under that one name.
    hcy::CLibrary& m_library = hcy::Library();

    friend class CHalcyraAppTestAccess;

    void EnumerateSoundDevices();
    void ClearDeviceMaps();
    void RunHeartbeats(const std::vector<std::shared_ptr<CRadioModel>>& radios,
                       const std::vector<std::shared_ptr<CICSModel>>& interphones);
    static void UpdateTimerProc(plat::UINT timerId, plat::UINT message, plat::DWORD_PTR user,
                                plat::DWORD_PTR, plat::DWORD_PTR);
    void StopTimer();
    // Tables' write lock held: no device keys or feeds it any more, and it
    // is shut down.
    void DetachRadioLocked(CRadioModel& radio);
    void DetachInterphoneLocked(CICSModel& interphone);
    // Both give up at `deadline`; false when they did.
    bool StopNetMgr(std::chrono::steady_clock::time_point deadline);
    bool TeardownTables(std::chrono::steady_clock::time_point deadline);

public:
    // Sound-device lists (hcyGetOutputDevices and friends).
    int GetOutputDevices(int first, char* name, int nameSize, plat::GUID* guid);
    int GetCaptureDevices(int first, char* name, int nameSize, plat::GUID* guid);
    int GetInputDevices(int first, char* name, int nameSize, std::uint32_t* id);

    // Destroying and closing by handle.
    BOOL DestroyComRadio(int handle);
    BOOL DestroyInterphone(int handle);
    // Closes a device of any kind through its own Close, after every radio
    // and interphone has let go of it: the radios' receive paths to it are
    // removed and transmit lists no longer key through it.
    BOOL CloseDevice(int handle);

    hcy::WriterPreferringLock& TablesLock() { return m_tablesLock; }

private:
    // Device descriptions in enumeration order, each with its GUID.
    using DeviceMap = std::vector<std::pair<std::string, plat::GUID>>;
    DeviceMap m_mapCaptureDevices;
    DeviceMap m_mapOutputDevices;
    std::size_t m_posCaptureDevices = 0;  // index into the map; size() = no entry
    std::size_t m_posOutputDevices = 0;
    // Wave-input devices are counted afresh at each call; the cursor is an
    // index, kNoInputDevice until a first call.
    static constexpr std::uint32_t kNoInputDevice = 0xFFFFFFFFu;
    std::uint32_t m_nInputDeviceIndex = kNoInputDevice;
    std::mutex m_listMutex;  // the device maps and their cursors

    // The library's life: Stopped -hcyInit-> Running -hcyExit-> Stopped. A
    // second hcyInit keeps what runs (it takes the new windows and
    // destination); a second hcyExit does nothing. Moves under
    // m_lifecycleMutex; the move to Running under the tables' write lock
    // too, with the session. The tables take entries only while Running.
    enum class State { Stopped, Running };
    // Start-up, shut-down and HLA start-up run one at a time.
    std::mutex m_lifecycleMutex;
    std::atomic<State> m_state{State::Stopped};
    std::atomic<plat::UINT> m_nTimerId{0};
    // What hcyExit waits at most for the network manager and for the tables
    // its dispatchers hold: 200 waits of 200 ms (tests shorten it).
    std::atomic<std::chrono::milliseconds> m_stopLimit{std::chrono::milliseconds(200 * 200)};

    hcy::WriterPreferringLock m_tablesLock;
    // Counts the moves to Running (tables lock held).
    std::uint64_t m_nSession = 0;
    std::vector<std::shared_ptr<CDevice>> m_arrDevices;
    std::vector<std::shared_ptr<CRadioModel>> m_arrRadios;
    std::vector<std::shared_ptr<CICSModel>> m_arrInterphones;

    // Tick state, touched only by the tick (one tick at a time).
    std::mutex m_tickMutex;
    std::int32_t m_nRadioCursor = 0;
    std::int32_t m_nInterphoneCursor = 0;
    std::int32_t m_nHeartbeatPhase = 0;

    std::string m_strDestAddress;
    std::string m_strFederation;
};

extern CHalcyraApp theApp;
