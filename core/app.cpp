#include "core/app.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <shared_mutex>

#include "audio/device.h"
#include "base/messages.h"
#include "halcyra/halcyra.h"
#include "halcyra/version.h"
#include "hcyplat/clock.h"
#include "hcyplat/guid.h"
#include "hcyplat/registry.h"
#include "hcyplat/resource.h"
#include "hcyplat/sound_devices.h"
#include "hcyplat/system.h"
#include "hcyplat/timer.h"
#include "hcyplat/window.h"
#include "hla/hla_factory.h"
#include "interphone/ics_model.h"
#include "media/net_play_device.h"
#include "net/net_mgr.h"
#include "radio/radio_factory.h"
#include "radio/radio_model.h"
#include "ui/radio_status_dialog.h"

namespace {

constexpr const char* kModuleName = "Halcyra.dll";
constexpr const char* kCopyright =
    "Halcyra radio communications library. Copyright (C) 2026 Brackwater. All rights reserved.";

// Upper bounds of the waits: start-up 301 x 100 ms, HLA start-up 201 x
// 500 ms (the shut-down's is CHalcyraApp::m_stopLimit).
constexpr auto kNetMgrStartLimit = std::chrono::milliseconds(301 * 100);
constexpr auto kHlaStartLimit = std::chrono::milliseconds(201 * 500);
constexpr const char* kNotInitialized = "Tervale has not been initialized";

// Tables' write lock held: `detach` lets go of a found `item`, which then
// leaves `table`. False when nothing was found.
template <class T, class Detach>
bool detachAndErase(std::vector<std::shared_ptr<T>>& table, const std::shared_ptr<T>& item,
                    Detach&& detach) {
    if (!item) return false;
    detach(*item);
    table.erase(std::find(table.begin(), table.end(), item));
    return true;
}

}  // namespace

CHalcyraApp theApp;

namespace {
// Load and unload of the library: InitInstance after construction,
// ExitInstance before destruction.
struct LibraryLoad {
    LibraryLoad() { theApp.InitInstance(); }
    ~LibraryLoad() { theApp.ExitInstance(); }
} libraryLoad;
}  // namespace

CHalcyraApp::CHalcyraApp() = default;

CHalcyraApp::~CHalcyraApp() = default;

plat::BOOL CHalcyraApp::InitInstance() {
    plat::SetRegistryKey("Brackwater", "Halcyra");
    plat::RegisterModuleVersion(kModuleName,
                                {HCY_VERSION_MAJOR, HCY_VERSION_MINOR, HCY_VERSION_BUILD});
    plat::RegisterStringResource(kModuleName, kStringCopyright, kCopyright);
    return 1;
}

int CHalcyraApp::ExitInstance() {
    if (IsInitialized()) Exit();
    ClearError();
    return 0;
}

// ---------------------------------------------------------------------------
// Last error

void CHalcyraApp::SetErrorf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_library.SetErrorv(format, args);
    va_end(args);
}

// ---------------------------------------------------------------------------
// Start-up and shut-down

plat::BOOL CHalcyraApp::Init(HWND hwnd, const char* address) {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);

    plat::OSVERSIONINFO version;
    m_library.m_bOldWindowsNT = plat::GetVersionEx(&version) &&
                                version.dwPlatformId == plat::VER_PLATFORM_WIN32_NT &&
                                version.dwMajorVersion <= 4;

    HWND window = hwnd;
    if (window == 0) window = plat::GetForegroundWindow();
    if (window == 0) window = plat::GetDesktopWindow();
    if (window == 0) {
        SetError("Could not find a window handle.");
        return 0;
    }
    m_library.m_hWnd = window;
    m_library.m_hMsgWnd = hwnd;

    auto postDestination = [&](const std::shared_ptr<CNetMgr>& netMgr) {
        // Null keeps each network's current destination.
        for (plat::WPARAM network : {1u, 2u}) {
            auto payload = address ? plat::MakePayload<std::string>(address) : nullptr;
            netMgr->Post(hcy::WM_NETMGR_SET_BROADCAST_ADDRESS, network, 0, std::move(payload));
        }
    };

    if (IsInitialized()) {
        // Already running: keep the network manager, the tick, the handles
        // and the device lists; take the new windows and destination.
        if (address) m_strDestAddress = address;
        if (auto netMgr = NetMgr()) postDestination(netMgr);
        ClearError();
        return 1;
    }

    // What an hcyExit could not tear down (a dispatcher of the network
    // manager it gave up on held the tables) goes first.
    if (!TeardownTables(std::chrono::steady_clock::now() + kNetMgrStartLimit)) {
        SetError("Timed out waiting for net manager to initialize.\n");
        return 0;
    }

    auto netMgr = std::make_shared<CNetMgr>(*this, [this](std::uint32_t fomType) {
        return hcy::hla::CreateHlaManager(fomType, *this);
    });
    if (netMgr->Start(kNetMgrStartLimit) != CNetMgr::Outcome::Succeeded) {
        SetError("Timed out waiting for net manager to initialize.\n");
        return 0;
    }
    netMgr->SetPriority(plat::THREAD_PRIORITY_TIME_CRITICAL);
    hcy::net::PublishNetMgr(netMgr);

    m_strDestAddress = address ? address : "";
    postDestination(netMgr);

    EnumerateSoundDevices();

    const plat::UINT timerId =
        plat::timeSetEvent(kTickPeriodMs, kTickResolutionMs, &CHalcyraApp::UpdateTimerProc,
                           reinterpret_cast<plat::DWORD_PTR>(this), plat::TIME_PERIODIC);
    if (timerId == 0) {
        SetError("Setting update timer failed.\n");
        StopNetMgr(std::chrono::steady_clock::now() + m_stopLimit.load());
        ClearDeviceMaps();
        return 0;
    }
    m_nTimerId = timerId;

    {
        std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
        m_library.m_nNextHandle = 1;
        ++m_nSession;
        m_state = State::Running;
    }
    ClearError();
    return 1;
}

plat::BOOL CHalcyraApp::HLAInit(std::int32_t tickMode, std::uint32_t fomType,
                                const char* federation, std::uint32_t createFederation,
                                const char* fedFilePath, std::uint32_t maxJoinTries) {
    std::unique_lock<std::mutex> lifecycle(m_lifecycleMutex);
    auto netMgr = NetMgr();
    if (!IsInitialized() || !netMgr) {
        SetError("Tervale has not been initialized");
        return 0;
    }
    if (netMgr->HlaState() == HLA_STATE_RUNNING) return 1;

    auto request = std::make_unique<plat::Boxed<HlaInitRequest>>();
    HlaInitRequest& r = request->value;
    r.fomType = fomType;
    r.createFederation = createFederation;
    r.fedFilePath = fedFilePath ? fedFilePath : "";
    r.maxJoinTries = maxJoinTries;
    r.federation = federation ? federation : "";
    auto completion = r.completion;
    m_strFederation = r.federation;
    m_library.m_nHlaTickMode = tickMode;

    if (!netMgr->Post(hcy::WM_NETMGR_HLA_INIT, 0, 0, std::move(request))) {
        SetError("Timed out waiting for HLA manager to initialize.\n");
        return 0;
    }
    const std::uint32_t state = completion->Wait(kHlaStartLimit);
    if (state == HLA_STATE_NONE) {
        SetError("Timed out waiting for HLA manager to initialize.\n");
        return 0;
    }
    if (state == HLA_STATE_FAILED) {
        const std::string error = completion->Error();
        if (!error.empty()) SetError(error.c_str());
        return 0;
    }
    return 1;
}

bool CHalcyraApp::TeardownTables(std::chrono::steady_clock::time_point deadline) {
    std::vector<std::shared_ptr<CRadioModel>> radios;
    std::vector<std::shared_ptr<CICSModel>> interphones;
    std::vector<std::shared_ptr<CDevice>> devices;
    {
        std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock, std::defer_lock);
        if (!tables.try_lock_until(deadline)) return false;
        for (auto& radio : m_arrRadios) DetachRadioLocked(*radio);
        for (auto& interphone : m_arrInterphones) DetachInterphoneLocked(*interphone);
        for (auto& device : m_arrDevices) device->Close();
        radios.swap(m_arrRadios);
        interphones.swap(m_arrInterphones);
        devices.swap(m_arrDevices);
    }
    // The objects go here, outside the lock: destructors may join threads.
    for (auto& device : devices) device->AwaitClosed();
    return true;
}

// Every wait of the shut-down shares one bound: the tables (which a
// dispatcher of the network manager may hold) and the network manager's
// stop. Past it, what is left is left to end on its own: the next hcyInit
// tears down what the tables still hold.
plat::BOOL CHalcyraApp::Exit() {
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    if (!IsInitialized()) return 1;
    // Creates and opens from now on fail; one that got in before is torn
    // down with the rest.
    m_state = State::Stopped;
    const auto deadline = std::chrono::steady_clock::now() + m_stopLimit.load();
    const bool tornDown = TeardownTables(deadline);
    ClearDeviceMaps();
    StopTimer();
    if (!StopNetMgr(deadline) || !tornDown)
        SetError("Timed out waiting for net manager to stop.\n");
    return 1;
}

void CHalcyraApp::StopTimer() {
    const plat::UINT timerId = m_nTimerId.exchange(0);
    if (timerId != 0 && plat::timeKillEvent(timerId) != plat::TIMERR_NOERROR)
        SetError("timeKillEvent returned an error.");
}

bool CHalcyraApp::StopNetMgr(std::chrono::steady_clock::time_point deadline) {
    auto netMgr = hcy::net::WithdrawNetMgr();
    if (!netMgr) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return netMgr->Stop(std::max(left, std::chrono::milliseconds(0)));
}

std::shared_ptr<CNetMgr> CHalcyraApp::NetMgr() const { return hcy::net::CurrentNetMgr(); }

// ---------------------------------------------------------------------------
// Tables

std::shared_ptr<CRadioModel> CHalcyraApp::FindRadioLocked(int handle) {
    for (auto& radio : m_arrRadios)
        if (radio->GetUserId() == handle) return radio;
    return nullptr;
}

std::shared_ptr<CRadioModel> CHalcyraApp::FindRadio(int handle) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    return FindRadioLocked(handle);
}

std::shared_ptr<CRadioModel> CHalcyraApp::FindHlaRadio(std::uint32_t objectHandle) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    for (auto& radio : m_arrRadios)
        if ((radio->GetNetworkMode() & 0x8u) && radio->GetHandle() == objectHandle) return radio;
    return nullptr;
}

plat::BOOL CHalcyraApp::ForEachHlaRadioRemoveObject(std::uint32_t objectHandle) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    for (auto& radio : m_arrRadios)
        if (radio->GetNetworkMode() & 0x8u) radio->RemoveHlaRecord(objectHandle);
    return 1;
}

bool CHalcyraApp::GetRadioName(int userId, std::string& name) {
    auto radio = FindRadio(userId);
    if (!radio) return false;
    name = radio->GetName();
    return true;
}

bool CHalcyraApp::SetRadioHlaObject(int userId, std::uint32_t objectHandle) {
    auto radio = FindRadio(userId);
    if (!radio) return false;
    radio->SetHlaObjectHandle(objectHandle);
    return true;
}

void CHalcyraApp::RefuseRadioHlaObject(int userId, const char* reason) {
    if (auto radio = FindRadio(userId)) radio->RefuseHlaObject(reason);
}

bool CHalcyraApp::GetHlaRadioRecord(std::uint32_t objectHandle, HlaTransmitterRecord& out) {
    auto radio = FindHlaRadio(objectHandle);
    if (!radio) return false;
    radio->GetHlaTransmitterRecord(out);
    return true;
}

bool CHalcyraApp::PostUpdateAttributes(std::uint32_t objectHandle, std::uint32_t mask) {
    auto netMgr = NetMgr();
    return netMgr && netMgr->Post(hcy::WM_NETMGR_HLA_UPDATE_ATTRIBUTES, objectHandle, mask);
}

bool CHalcyraApp::SetRadioHLAData(std::uint32_t objectHandle, int code, std::int32_t value) {
    auto radio = FindHlaRadio(objectHandle);
    if (!radio) {
        SetError("Invalid radio handle sent to SetRadioHLAData.");
        return false;
    }
    switch (code) {
    case hcy::WM_NETMGR_HLA_ATTRIBUTES_ON:
        radio->SetHlaAttributeMask(1, static_cast<std::uint32_t>(value));
        return true;
    case hcy::WM_NETMGR_HLA_ATTRIBUTES_OFF:
        radio->SetHlaAttributeMask(0, static_cast<std::uint32_t>(value));
        return true;
    case hcy::WM_NETMGR_HLA_RADIO_VALUE: radio->SetHlaRadioValue(value); return true;
    default: SetError("Invalid data type sent to SetRadioHLAData"); return false;
    }
}

std::shared_ptr<CICSModel> CHalcyraApp::FindIntercomLocked(int handle) {
    for (auto& interphone : m_arrInterphones)
        if (interphone->GetHandle() == handle) return interphone;
    return nullptr;
}

std::shared_ptr<CICSModel> CHalcyraApp::FindIntercom(int handle) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    return FindIntercomLocked(handle);
}

std::shared_ptr<CDevice> CHalcyraApp::FindDeviceLocked(int handle) {
    for (auto& device : m_arrDevices)
        if (device->GetHandle() == handle) return device;
    return nullptr;
}

std::shared_ptr<CDevice> CHalcyraApp::FindDevice(int handle) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    return FindDeviceLocked(handle);
}

int CHalcyraApp::TakeHandle() { return m_library.TakeHandle(); }

CHalcyraApp::HandleTicket CHalcyraApp::TakeTableHandle() {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    if (!IsInitialized()) return {};
    return {TakeHandle(), m_nSession};
}

int CHalcyraApp::AddRadio(std::shared_ptr<CRadioModel> radio,
                          const std::function<void(int)>& prepare) {
    {
        std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
        if (IsInitialized()) {
            const int handle = TakeHandle();
            if (prepare) prepare(handle);
            m_arrRadios.push_back(std::move(radio));
            return handle;
        }
    }
    SetError(kNotInitialized);
    return -1;
}

int CHalcyraApp::AddDevice(std::shared_ptr<CDevice> device, std::uint64_t session) {
    {
        std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
        if (IsInitialized() && (session == 0 || session == m_nSession)) {
            m_arrDevices.push_back(device);
            return device->GetHandle();
        }
    }
    // Opened while the library shut down (or under a handle of a session
    // that has ended): it closes again.
    device->Close();
    device->AwaitClosed();
    SetError(kNotInitialized);
    return -1;
}

int CHalcyraApp::CreateRadio(std::uint16_t model, hcy::net::EntityId id,
                             std::uint16_t radioNumber) {
    auto radio = CreateRadioModel(model, std::make_shared<CNetPlayDevices>());
    radio->SetStatusDialog(std::make_unique<hcy::ui::RadioStatusDialog>());
    if (id == hcy::net::EntityId{}) id = DefaultEntityId();
    const int handle = AddRadio(radio, [&](int newHandle) {
        const auto number = radioNumber != 0 ? radioNumber : static_cast<std::uint16_t>(newHandle);
        radio->SetRadioId(id.site, id.application, id.entity, number);
        radio->StoreUserId(static_cast<std::uint32_t>(newHandle));
    });
    if (handle < 0) return -1;  // the library is shutting down
    // Outside the tables lock: in HLA mode this waits for the network
    // manager to register the radio's object.
    radio->SetUserId(static_cast<std::uint32_t>(handle));
    return handle;
}

int CHalcyraApp::CreateInterphone(int station, hcy::net::EntityId id) {
    auto interphone = CreateInterphoneModel();
    if (id == hcy::net::EntityId{}) id = DefaultEntityId();
    interphone->SetEntityID(id.site, id.application, id.entity);
    interphone->SetStationID(static_cast<std::uint16_t>(station));
    return AddInterphone(interphone);
}

int CHalcyraApp::SetRadioData(int handle, int id, void* value) {
    if (auto radio = FindRadio(handle)) return radio->SetRadioData(id, value);
    if (FindIntercom(handle)) return 1;
    SetError("Invalid radio handle in call to SetRadioData.");
    return 0;
}

int CHalcyraApp::GetRadioData(int handle, int id, void* out) {
    if (id == RD_MAX_RECV_VALUE) {
        const std::int32_t value = GetMaxRecvValue();
        std::memcpy(out, &value, sizeof value);
        return 1;
    }
    if (auto radio = FindRadio(handle)) return radio->GetRadioData(id, out);
    if (auto interphone = FindIntercom(handle))
        return interphone->GetData(id, static_cast<std::uint32_t*>(out));
    SetError("Invalid radio handle in call to GetRadioData.");
    return 0;
}

int CHalcyraApp::AddInterphone(std::shared_ptr<CICSModel> interphone) {
    {
        std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
        if (IsInitialized()) {
            const int handle = TakeHandle();
            interphone->SetHandle(static_cast<std::uint32_t>(handle));
            m_arrInterphones.push_back(std::move(interphone));
            return handle;
        }
    }
    SetError(kNotInitialized);
    return -1;
}

void CHalcyraApp::DetachRadioLocked(CRadioModel& radio) {
    for (auto& device : m_arrDevices) device->RemoveRadioXmitPath(&radio);
    radio.Shutdown();
}

void CHalcyraApp::DetachInterphoneLocked(CICSModel& interphone) {
    // No device may key or feed a station that is gone.
    for (auto& device : m_arrDevices) device->RemoveIntercomXmitPath(&interphone);
    interphone.RemoveAll();
}

plat::BOOL CHalcyraApp::DestroyComRadio(int handle) {
    std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    return detachAndErase(m_arrRadios, FindRadioLocked(handle),
                          [&](CRadioModel& radio) { DetachRadioLocked(radio); });
}

plat::BOOL CHalcyraApp::DestroyInterphone(int handle) {
    std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    return detachAndErase(m_arrInterphones, FindIntercomLocked(handle),
                          [&](CICSModel& interphone) { DetachInterphoneLocked(interphone); });
}

plat::BOOL CHalcyraApp::CloseDevice(int handle) {
    std::shared_ptr<CDevice> device;
    {
        std::unique_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
        device = FindDeviceLocked(handle);
        const bool found = detachAndErase(m_arrDevices, device, [&](CDevice& d) {
            for (auto& radio : m_arrRadios) radio->DetachDevice(&d);
            for (auto& interphone : m_arrInterphones) interphone->DetachDevice(&d);
            d.Close();
        });
        if (!found) return 0;
    }
    device->AwaitClosed();
    return 1;
}

// ---------------------------------------------------------------------------
// Entity identifiers

hcy::net::EntityId CHalcyraApp::DefaultEntityId() {
    return DefaultEntityIdFields(hcy::net::EntityId{});
}

hcy::net::EntityId CHalcyraApp::DefaultEntityIdFields(hcy::net::EntityId given) {
    plat::GUID guid{};
    plat::CoCreateGuid(&guid);
    auto pick = [&](std::uint16_t value, const char* key, std::uint16_t fromGuid) {
        if (value != 0) return value;
        const int configured = GetProfileInt("DIS_IDs", key, -1);
        return configured >= 0 ? static_cast<std::uint16_t>(configured & 0xFFFF) : fromGuid;
    };
    hcy::net::EntityId id;
    id.site = pick(given.site, "SiteID", static_cast<std::uint16_t>(guid.Data1 & 0xFFFF));
    id.application =
        pick(given.application, "HostID", static_cast<std::uint16_t>(guid.Data1 >> 16));
    id.entity = pick(given.entity, "EntityID", guid.Data2);
    return id;
}

// ---------------------------------------------------------------------------
// Host window

plat::BOOL CHalcyraApp::SetMsgWnd(int handle, HWND window) {
    if (handle < 1) {
        m_library.m_hMsgWnd = window;
        return 1;
    }
    if (auto radio = FindRadio(handle)) {
        radio->SetMsgWnd(window);
        return 1;
    }
    SetError("SetMsgWnd error. Invalid radio handle.\n");
    return 0;
}

// ---------------------------------------------------------------------------
// Version and copyright

const char* CHalcyraApp::GetLibraryVersion(std::uint32_t* version) {
    // Each thread keeps its own copy, valid until its next call.
    thread_local std::string copy;
    plat::ModuleVersion v;
    std::uint32_t packed = 0;
    if (plat::GetModuleVersion(kModuleName, v)) {
        const unsigned major = v.major & 0xFF, minor = v.minor & 0xFF, build = v.build & 0xFF;
        packed = (major << 16) | (minor << 8) | build;
        char text[64];
        std::snprintf(text, sizeof text, "Version %u.%u.%u", major, minor, build);
        copy = text;
    } else {
        copy.clear();
    }
    if (version) *version = packed;
    return copy.c_str();
}

const char* CHalcyraApp::GetLibraryCopyright() {
    // Each thread keeps its own copy, valid until its next call; a failed
    // look-up keeps the thread's last text.
    thread_local std::string copy;
    std::string text;
    if (plat::LoadString(kModuleName, kStringCopyright, text)) copy = std::move(text);
    return copy.c_str();
}

// ---------------------------------------------------------------------------
// Sound device lists

namespace {

struct EnumContext {
    std::vector<std::pair<std::string, plat::GUID>>* map;
};

plat::BOOL DirectSoundEnumProc(plat::GUID* guid, const char* description, const char*,
                               void* context) {
    if (!guid || !description) return 1;  // the primary driver entry has no GUID
    auto& map = *static_cast<EnumContext*>(context)->map;
    auto taken = [&](const std::string& key) {
        for (auto& entry : map)
            if (entry.first == key) return true;
        return false;
    };
    std::string key = description;
    for (int n = 2; taken(key); ++n)
        key = std::string(description) + " (" + std::to_string(n) + ")";
    map.emplace_back(key, *guid);
    return 1;
}

// Copies at most `size` characters and a NUL: the buffer holds size + 1.
void copyName(char* name, int size, const std::string& text) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), text.size());
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
}

}  // namespace

void CHalcyraApp::EnumerateSoundDevices() {
    std::lock_guard<std::mutex> lock(m_listMutex);
    EnumContext outputs{&m_mapOutputDevices};
    plat::DirectSoundEnumerate(&DirectSoundEnumProc, &outputs);
    EnumContext captures{&m_mapCaptureDevices};
    plat::DirectSoundCaptureEnumerate(&DirectSoundEnumProc, &captures);
    m_posOutputDevices = m_mapOutputDevices.size();
    m_posCaptureDevices = m_mapCaptureDevices.size();
    m_nInputDeviceIndex = kNoInputDevice;
}

void CHalcyraApp::ClearDeviceMaps() {
    std::lock_guard<std::mutex> lock(m_listMutex);
    m_mapOutputDevices.clear();
    m_mapCaptureDevices.clear();
    m_posOutputDevices = 0;
    m_posCaptureDevices = 0;
    m_nInputDeviceIndex = kNoInputDevice;
}

namespace {

int nextFromMap(const std::vector<std::pair<std::string, plat::GUID>>& map, std::size_t& cursor,
                int first, char* name, int nameSize, plat::GUID* guid, const char* message) {
    if (first) cursor = 0;
    if (cursor >= map.size()) {
        theApp.SetError(message);
        return 0;
    }
    const auto& entry = map[cursor++];
    copyName(name, nameSize, entry.first);
    *guid = entry.second;
    return cursor < map.size() ? 1 : 0;
}

}  // namespace

int CHalcyraApp::GetOutputDevices(int first, char* name, int nameSize, plat::GUID* guid) {
    std::lock_guard<std::mutex> lock(m_listMutex);
    return nextFromMap(m_mapOutputDevices, m_posOutputDevices, first, name, nameSize, guid,
                       "There are no compatible output devices present.");
}

int CHalcyraApp::GetCaptureDevices(int first, char* name, int nameSize, plat::GUID* guid) {
    std::lock_guard<std::mutex> lock(m_listMutex);
    return nextFromMap(m_mapCaptureDevices, m_posCaptureDevices, first, name, nameSize, guid,
                       "There are no compatible input devices present.");
}

int CHalcyraApp::GetInputDevices(int first, char* name, int nameSize, std::uint32_t* id) {
    std::lock_guard<std::mutex> lock(m_listMutex);
    if (first) m_nInputDeviceIndex = 0;
    const plat::UINT count = plat::waveInGetNumDevs();
    plat::WAVEINCAPS caps;
    if (count == 0 || m_nInputDeviceIndex >= count ||
        plat::waveInGetDevCaps(m_nInputDeviceIndex, &caps, sizeof caps) != plat::MMSYSERR_NOERROR) {
        SetError("There are no compatible input devices present.");
        return 0;
    }
    copyName(name, nameSize, caps.szPname);
    *id = m_nInputDeviceIndex++;
    return m_nInputDeviceIndex < count ? 1 : 0;
}
