// CRadioModel's receive paths: wiring them to devices and channels, reusing
// stopped ones, their noise, and the local source. Every member takes the
// radio's mutex; the paths take only their own (radio/radio_model.h).
#include <algorithm>

#include "audio/device.h"
#include "audio/recv_path.h"
#include "radio/radio_model.h"

namespace {

bool IsDataDevice(const CDevice* device) {
    return device && device->GetKind() == CDevice::Kind::Data;
}

}  // namespace

void CRadioModel::UpdateNoise() {
    for (auto& path : m_paths) {
        if (!path->IsActive()) continue;
        path->PlaySquelchNoise(m_nOn && m_params.squelchLevel < 0.2);
        path->PlayBackgroundNoise(m_nOn && m_nBackgroundNoise);
    }
}

void CRadioModel::MutePathNoise(bool mute) {
    for (auto& path : m_paths)
        if (path->IsActive()) path->MuteNoise(mute);
}

int CRadioModel::AttachRecvPath(CDevice* device, int channel) {
    if (!device) return 0;
    Guard lock(*this);
    const bool data = IsDataDevice(device);
    for (auto& path : m_paths) {
        if (path->IsActive() && path->GetDevice() == device && path->GetChannel() == channel) {
            if (data) return 1;
            path->SetChannel(channel);
            path->UpdateNoiseVolume();
            UpdateNoise();
            return 1;
        }
    }
    CRecvPath* path = FreeRecvPath(m_paths, CRecvPath::Kind::Mono, device);
    path->AttachDevice(device);
    path->SetRadio(this);
    if (!data) {
        path->SetNoiseFlag(m_params.recvPathNoise != 0);
        path->SetChannel(channel);
        path->UpdateNoiseVolume();
        UpdateNoise();
    }
    return 1;
}

int CRadioModel::AddMultiRecvPath(CDevice* device, const float* gains, int count) {
    if (!device || count < 0 || (count > 0 && !gains)) return 0;
    Guard lock(*this);
    for (auto& path : m_paths)
        if (path->IsActive() && path->GetDevice() == device) {
            path->SetChannelGains(gains, count);
            return 1;
        }
    CRecvPath* path = FreeRecvPath(m_paths, CRecvPath::Kind::Multi, device);
    path->AttachDevice(device);
    path->SetRadio(this);
    path->SetChannelGains(gains, count);
    return 1;
}

// Every matching path stops (channel 0 matches each path to the device) and
// stays in the list, free for reuse.
int CRadioModel::StopRecvPath(CDevice* device, int channel) {
    if (!device) return 1;
    Guard lock(*this);
    const bool data = IsDataDevice(device);
    for (auto& path : m_paths) {
        if (path->GetDevice() != device) continue;
        if (path->GetChannel() == channel || channel == 0 || data) path->StopAll();
    }
    return 1;
}

// Removes the first path that goes to the device on that channel; paths
// that no longer have a device are discarded on the way, but never taken
// for the one asked for.
int CRadioModel::RemoveRecvPath(CDevice* device, int channel) {
    Guard lock(*this);
    for (std::size_t i = 0; i < m_paths.size(); ++i) {
        CRecvPath& path = *m_paths[i];
        if (device && path.GetDevice() == device &&
            (path.GetChannel() == channel || channel == 0 || IsDataDevice(device))) {
            path.StopAll();
            path.DetachAll();
            m_paths.erase(m_paths.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    for (std::size_t i = 0; i < m_paths.size();) {
        if (!m_paths[i]->GetDevice()) {
            m_paths[i]->DetachAll();
            m_paths.erase(m_paths.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    return 1;
}

// The paths to a closing device go with it: their output buffers were made
// on its sound object, and a device opened later is another object.
void CRadioModel::DetachDevice(CDevice* device) {
    if (!device) return;
    Guard lock(*this);
    std::erase(m_pendingReceiveEnd, device);
    std::erase_if(m_paths, [&](const std::unique_ptr<CRecvPath>& path) {
        if (path->GetDevice() != device) return false;
        path->DetachAll();
        return true;
    });
}

std::size_t CRadioModel::GetRecvPathCount() const {
    Guard lock(*this);
    return m_paths.size();
}

void CRadioModel::WriteLocalSource(const std::int16_t* samples, std::uint32_t bytes,
                                   std::uint32_t sampleRate) {
    Guard lock(*this);
    for (auto& path : m_paths)
        if (path->IsActive() && !IsDataDevice(path->GetDevice()))
            path->WriteAudio(nullptr, samples, bytes, sampleRate);
}

void CRadioModel::UpdateRecvPaths() {
    Guard lock(*this);
    for (auto& path : m_paths) path->StopIdleOutputBuffers();
}
