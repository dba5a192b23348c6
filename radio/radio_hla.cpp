// CRadioModel's HLA object: its registration, which waits for the network
// thread, and the attribute notices the radio's changes post to it.
#include <mutex>
#include <string>

#include "base/library.h"
#include "base/messages.h"
#include "hcyplat/clock.h"
#include "net/net_mgr.h"
#include "radio/radio_model.h"
#include "radio/radio_post.h"

namespace {

// HLA registration: the handle is polled this often, this many times.
constexpr plat::DWORD kRegisterPollMs = 200;
constexpr int kRegisterPolls = 101;

}  // namespace

// HLA registration waits for the network thread, so it runs without the
// radio's lock. The radio is named by its user id, never by its address.
int CRadioModel::RegisterHlaObject() {
    if (!(m_nNetworkMode.load() & NET_HLA) || m_nHlaHandle.load() != 0xFFFFFFFFu) return 1;
    auto netMgr = hcy::net::CurrentNetMgr();
    if (!netMgr || netMgr->HlaState() != HLA_STATE_RUNNING) return 1;
    m_bHlaRefused = false;
    hcy::radio::PostNetMgrMessage(hcy::WM_NETMGR_HLA_REGISTER_OBJECT, 1,
                                  static_cast<plat::LPARAM>(m_nUserId.load()));
    int polls = 0;
    while (m_nHlaHandle.load() == 0xFFFFFFFFu) {
        if (m_bHlaRefused.load()) {
            std::string reason;
            {
                std::lock_guard<std::mutex> lock(m_hlaRefusalMutex);
                reason = m_strHlaRefusal;
            }
            hcy::Library().SetError(
                ("Could not register transmitter object " + GetName() + ": " + reason + "\n")
                    .c_str());
            return 0;
        }
        if (++polls > kRegisterPolls) {
            hcy::Library().SetError(
                "Timed out waiting for HLA manager to register transmitter object.\n");
            return 0;
        }
        plat::Sleep(kRegisterPollMs);
    }
    hcy::radio::PostNetMgrMessage(hcy::WM_NETMGR_HLA_REQUEST_UPDATE, 0, HLA_ATTR_ALL);
    return 1;
}

void CRadioModel::RefuseHlaObject(const char* reason) {
    {
        std::lock_guard<std::mutex> lock(m_hlaRefusalMutex);
        m_strHlaRefusal = reason ? reason : "";
    }
    m_bHlaRefused = true;
}

void CRadioModel::NotifyAttribute(std::uint32_t bit) {
    if (!(m_nNetworkMode.load() & NET_HLA) || !(m_nHlaMask & bit)) return;
    hcy::radio::PostNetMgrMessage(hcy::WM_NETMGR_HLA_UPDATE_ATTRIBUTES, m_nHlaHandle.load(), bit);
}

int CRadioModel::SetHlaAttributeMask(int add, std::uint32_t bits) {
    Guard lock(*this);
    if (add) {
        m_nHlaMask |= bits;
        if (!m_nFullUpdateSent && (m_nNetworkMode.load() & NET_HLA)) {
            hcy::radio::PostNetMgrMessage(hcy::WM_NETMGR_HLA_UPDATE_ATTRIBUTES, m_nHlaHandle.load(),
                                          HLA_ATTR_ALL);
            hcy::radio::PostNetMgrMessage(hcy::WM_NETMGR_HLA_REQUEST_UPDATE, 0, HLA_ATTR_ALL);
        }
        m_nFullUpdateSent = 1;
    } else {
        m_nHlaMask &= ~bits & HLA_ATTR_ALL;
    }
    return 1;
}

int CRadioModel::SetHlaRadioValue(std::int32_t value) {
    Guard lock(*this);
    m_nHlaRadioValue = value;
    return 1;
}
