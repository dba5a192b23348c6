#include "radio/secure_radio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/playback_device.h"
#include "base/library.h"
#include "halcyra/halcyra.h"
#include "radio/radio_data.h"
#include "radio/radio_prompt.h"
#include "radio/receive.h"

using hcy::radio::Read;

namespace {

// Hop-net record offsets [bytes] and the record's length.
constexpr std::size_t kNetId = 0, kHopSet = 2, kLockoutSet = 4, kStartOfMessage = 6,
                      kSyncOffset = 8, kTransecKey = 12, kClearChannel = 14, kRecordBytes = 16;

}  // namespace

double hcy::radio::RoundTo100Hz(double hertz) { return std::trunc(hertz * 0.01 + 0.5) * 100.0; }

CSecureRadioModel::CSecureRadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices)
    : m_playbackDevices(std::move(devices)) {
    // The generic radio's parameters are already the record with FH net id
    // 1; the rest is this model's.
    Params().noiseLevel = 1e-13;
    Params().system = 1;
    Params().receptionMode = RECEPTION_MODE_TAIL;
    Params().duplex = DUPLEX_HALF;
    Params().recvPathNoise = 1;
    Params().doCrypto = 1;
    Params().doHopNet = 1;
}

CSecureRadioModel::~CSecureRadioModel() { CSecureRadioModel::ReleasePlayback(); }

void CSecureRadioModel::Shutdown() {
    ReleasePlayback();
    CGenericRadioModel::Shutdown();
}

void CSecureRadioModel::ReleasePlayback() {
    CRadioPrompt* noFill;
    std::shared_ptr<CPlaybackDevice> preamble;
    {
        Guard lock(*this);
        noFill = m_pNoFill.get();
        preamble = m_pPreambleDevice;
        m_bNoFill = false;
    }
    if (noFill) noFill->Stop();
    ReleaseDevice(preamble);
}

std::shared_ptr<CPlaybackDevice> CSecureRadioModel::MakePlaybackDevice(bool keyPaths, bool notify,
                                                                       bool loop) const {
    auto device = m_playbackDevices->Make();
    device->SetHandle(hcy::Library().TakeHandle());
    device->SetKeyPaths(keyPaths);
    device->SetNotifyRadios(notify);
    device->SetLoop(loop);
    return device;
}

// Stopped first: a delivery under way takes the device's mutex, which the
// removal holds.
void CSecureRadioModel::ReleaseDevice(const std::shared_ptr<CPlaybackDevice>& device) {
    if (!device) return;
    device->StopPlayback();
    device->RemoveTransmitPath(this);
    device->Close();
}

void CSecureRadioModel::StartTone(const std::shared_ptr<CPlaybackDevice>& device,
                                  const std::string& file, std::function<void()> failed) {
    if (!device || device->IsPlaying()) return;
    AfterUnlock([this, device, file, failed = std::move(failed)] {
        if (device->StartPlayback(file.c_str(), 0) || !failed) return;
        Guard lock(*this);
        failed();
    });
}

void CSecureRadioModel::StopTone(const std::shared_ptr<CPlaybackDevice>& device) {
    if (device && device->IsPlaying()) AfterUnlock([device] { device->StopPlayback(); });
}

void CSecureRadioModel::AttachTone(const std::shared_ptr<CPlaybackDevice>& device, bool attached) {
    if (!device) return;
    const std::vector<CRadioModel*> listed = device->GetRadioXmitList();
    const bool onList = std::find(listed.begin(), listed.end(), this) != listed.end();
    if (attached) {
        if (!onList) device->AddTransmitPath(this);
        if (device->IsPlaying()) device->KeyTransmitPaths(1);
    } else {
        if (device->IsPlaying()) device->KeyTransmitPaths(0);
        device->RemoveTransmitPath(this);
    }
}

// ---------------------------------------------------------------------------
// Settings

int CSecureRadioModel::SetCryptoSystem(int value) {
    Guard lock(*this);
    const auto system = static_cast<std::uint16_t>(value);
    const bool changed = system != Params().cryptoSystem;
    Params().cryptoSystem = system;
    if (changed) NotifyAttribute(HLA_ATTR_CRYPTO_SYSTEM);
    return 1;
}

int CSecureRadioModel::SetCryptoKey(int value) {
    Guard lock(*this);
    const auto key = static_cast<std::uint16_t>(value);
    const bool changed = key != Params().cryptoKey;
    Params().cryptoKey = key;
    if (changed) NotifyAttribute(HLA_ATTR_ENCRYPTION_KEY_IDENTIFIER);
    return 1;
}

int CSecureRadioModel::SetSpreadSpectrum(int flags) {
    Guard lock(*this);
    const auto value = static_cast<std::uint16_t>(flags);
    const std::uint16_t changed = value ^ Params().spreadSpectrum;
    Params().spreadSpectrum = value;
    if (changed & 1) NotifyAttribute(HLA_ATTR_FREQUENCY_HOP_IN_USE);
    if (changed & 2) NotifyAttribute(HLA_ATTR_PSEUDO_NOISE_SPECTRUM_IN_USE);
    if (changed & 4) NotifyAttribute(HLA_ATTR_TIME_HOP_IN_USE);
    return 1;
}

// The key is the FH net id's low byte.
int CSecureRadioModel::SetFreqHopKey(int value) {
    Guard lock(*this);
    SetRecordField(kNetId + 1, 1, static_cast<std::uint8_t>(value));
    return 1;
}

void CSecureRadioModel::SetRecordField(std::size_t offset, std::size_t width, std::uint32_t value) {
    if (!m_bHopNetRecord || Params().modulationParameters.size() < offset + width) return;
    for (std::size_t i = 0; i < width; ++i)
        Params().modulationParameters[offset + i] =
            static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

int CSecureRadioModel::SetRadioData(int id, void* value) {
    if (!value) return 0;
    Guard lock(*this);
    switch (id) {
    case RD_FH_NET_ID: SetRecordField(kNetId, 2, Read<std::uint16_t>(value)); return 1;
    case RD_FH_SYNC_OFFSET: SetRecordField(kSyncOffset, 4, Read<std::uint32_t>(value)); return 1;
    case RD_HOP_SET_ID: SetRecordField(kHopSet, 2, Read<std::uint16_t>(value)); return 1;
    case RD_LOCKOUT_SET_ID: SetRecordField(kLockoutSet, 2, Read<std::uint16_t>(value)); return 1;
    case RD_TRANSEC_KEY: SetRecordField(kTransecKey, 2, Read<std::uint16_t>(value)); return 1;
    case RD_CLEAR_CHANNEL: SetRecordField(kClearChannel, 1, Read<std::uint8_t>(value)); return 1;
    default: return CGenericRadioModel::SetRadioData(id, value);
    }
}

std::string CSecureRadioModel::PromptFile(const char* name) const {
    const std::string key = name + std::to_string(Params().cryptoSystem) + "Wav";
    return hcy::Library().GetProfileString(m_strSection.c_str(), key.c_str(), "");
}

// ---------------------------------------------------------------------------
// Keying

int CSecureRadioModel::SetOnOff(int on) {
    Guard lock(*this);
    if (!on && m_bNoFill) {
        m_bNoFill = false;
        CRadioPrompt* prompt = m_pNoFill.get();
        AfterUnlock([prompt] { prompt->Stop(); });
    }
    return CGenericRadioModel::SetOnOff(on);
}

// Prompts and preamble start and stop once the radio's lock is released;
// the result is corrected then if they fail (for a call made outside the
// radio's own lock, before it returns).
int CSecureRadioModel::SetPTT(int on, std::uint32_t source) {
    auto outcome = std::make_shared<int>(0);
    {
        Guard lock(*this);
        *outcome = Key(on, source, outcome);
    }
    return *outcome;
}

int CSecureRadioModel::Key(int on, std::uint32_t source, const std::shared_ptr<int>& outcome) {
    if (!IsOn()) return 0;
    const bool tone = IsToneSource(source);
    if (!on) {
        if (m_bNoFill && !tone) {
            m_bNoFill = false;
            CRadioPrompt* prompt = m_pNoFill.get();
            AfterUnlock([prompt] { prompt->Stop(); });
            return 1;
        }
        const auto held = std::find(m_heldSources.begin(), m_heldSources.end(), source);
        if (m_bPreamble && (held != m_heldSources.end() || source == PreambleSource())) {
            if (held != m_heldSources.end()) m_heldSources.erase(held);
            if (m_heldSources.empty() || source == PreambleSource()) {
                // Reception comes back at once; the device's end notice then
                // finds nothing to do.
                m_heldSources.clear();
                EndPreamble();
                AfterUnlock([device = m_pPreambleDevice] { device->StopPlayback(); });
            }
            return 1;
        }
        return KeyDirect(0, source);
    }
    // Nothing but the preamble goes out while it plays: a further source
    // waits for its end.
    if (m_bPreamble) {
        if (std::find(m_heldSources.begin(), m_heldSources.end(), source) == m_heldSources.end())
            m_heldSources.push_back(source);
        return 1;
    }
    // A second keying changes nothing, as for every radio.
    if (m_bNoFill && !tone) return 1;
    if (IsKeyed()) return KeyDirect(on, source);
    if (Params().cryptoSystem != 0) {
        // No key loaded: nothing is sent; the operator hears the no-fill
        // prompt.
        if (Params().cryptoKey == 0 && !Params().allowPlainXmit) {
            hcy::Library().SetErrorf("Radio %d: No crypto key loaded.", GetUserId());
            return !tone && PlayNoFillPrompt(outcome) ? 1 : 0;
        }
        if (!tone && StartPreamble(source, outcome)) {
            SetRecordsPttBlock(true);
            return CRadioModel::SetPTT(1, PreambleSource());
        }
        Params().receptionMode = m_nSavedEndMode;
        SetPromptSource(0);
    }
    return KeyDirect(on, source);
}

int CSecureRadioModel::RefuseOutOfBand() {
    hcy::Library().SetErrorf("Radio %d: Transmit frequency %.0f Hz is outside the radio's band.",
                             GetUserId(), Params().xmitFrequency);
    return 0;
}

int CSecureRadioModel::KeyDirect(int on, std::uint32_t source) {
    Guard lock(*this);
    const int result = CRadioModel::SetPTT(on, source);
    MuteWhileKeyed();
    return result;
}

void CSecureRadioModel::MuteWhileKeyed() {
    const bool keyed = IsKeyed();
    MutePathNoise(keyed);
    SetRecordsPttBlock(keyed);
}

std::uint32_t CSecureRadioModel::SourceOf(const std::shared_ptr<CPlaybackDevice>& device) {
    return device ? static_cast<std::uint32_t>(device->GetHandle()) * 2 : 0;
}

std::uint32_t CSecureRadioModel::PreambleSource() const { return SourceOf(m_pPreambleDevice); }

// The radio keys with the preamble device as its source and sends nothing
// else (prompt source); reception ends without tail (mode 11) until the
// file has played.
bool CSecureRadioModel::StartPreamble(std::uint32_t source, const std::shared_ptr<int>& outcome) {
    if (Params().allowPlainXmit && Params().cryptoKey == 0) return false;  // in clear: no preamble
    m_nSavedEndMode = Params().receptionMode;
    Params().receptionMode = RECEPTION_MODE_SILENT;
    const std::string file = PromptFile("Preamble");
    if (file.empty()) return false;
    const bool made = !m_pPreambleDevice;
    if (made) m_pPreambleDevice = MakePlaybackDevice(false, true, false);
    m_bPreamble = true;
    m_heldSources.assign(1, source);
    SetPromptSource(PreambleSource());
    ++m_nPreambleStarts;
    AfterUnlock([this, device = m_pPreambleDevice, file, made, outcome] {
        if (made) device->AddTransmitPath(this);
        const bool started = device->StartPlayback(file.c_str(), 0) != 0;
        Guard lock(*this);
        --m_nPreambleStarts;
        if (!m_bPreamble) {  // released meanwhile
            if (started) AfterUnlock([device] { device->StopPlayback(); });
            return;
        }
        if (started) return;
        // The file does not play: the held keyings instead.
        EndPreamble();
        *outcome = KeyHeld();
    });
    return true;
}

void CSecureRadioModel::EndPreamble() {
    m_bPreamble = false;
    CRadioModel::SetPTT(0, PreambleSource());
    Params().receptionMode = m_nSavedEndMode;
    SetPromptSource(0);
    MuteWhileKeyed();
}

int CSecureRadioModel::KeyHeld() {
    const std::vector<std::uint32_t> held = std::move(m_heldSources);
    m_heldSources.clear();
    int result = 0;
    for (std::uint32_t source : held) result = std::max(result, KeyDirect(1, source));
    return result;
}

int CSecureRadioModel::OnPlaybackDone(std::uint32_t source) {
    Guard lock(*this);
    if (!m_bPreamble || source != PreambleSource()) {
        CRadioModel::SetPTT(0, source);  // a tone's end only unkeys
        return 0;
    }
    // The end of a playback that a newer preamble replaced.
    if (m_nPreambleStarts > 0 || m_pPreambleDevice->IsPlaying()) return 0;
    EndPreamble();
    return KeyHeld();  // none: let go meanwhile
}

bool CSecureRadioModel::PlayNoFillPrompt(const std::shared_ptr<int>& outcome) {
    const std::string file = PromptFile("NoFill");
    if (file.empty()) return false;
    if (!m_pNoFill) m_pNoFill = std::make_unique<CRadioPrompt>(*this);
    m_bNoFill = true;
    AfterUnlock([this, prompt = m_pNoFill.get(), file, outcome] {
        const bool playing = prompt->Play(file, nullptr);  // after a stop under way
        Guard lock(*this);
        if (!m_bNoFill) {  // released meanwhile
            if (playing) AfterUnlock([prompt] { prompt->Stop(); });
        } else if (!playing) {
            m_bNoFill = false;
            *outcome = 0;
        }
    });
    return true;
}

// Only the first Transmitter PDU of a keying of a hopping radio marks the
// start of the message.
void CSecureRadioModel::SendTransmitterPdu() {
    Guard lock(*this);
    const std::uint32_t keyed = IsKeyed() ? 1 : 0;
    SetRecordField(kStartOfMessage, 1, (Params().spreadSpectrum & 1) && keyed && !m_nLastPttSent);
    m_nLastPttSent = keyed;
    CRadioModel::SendTransmitterPdu();
}

// ---------------------------------------------------------------------------
// Reception hooks

// Each end's height counts one metre more under the horizon's root.
void CSecureRadioModel::RoundEarthModel(CReceive& r) { LineOfSight(r, 1.0); }

// Heard within the radio's own bandwidth of its receive frequency (on the
// transmitter's curve) or of the guard frequency, in the radio's modulation;
// nothing while the receive frequency is 0.
void CSecureRadioModel::TunerModel(CReceive& r) {
    const double bw = Params().bandwidth;
    const double f = r.frequency;
    const double hb = 0.5 * r.bandwidth;
    if (Params().recvFrequency == 0.0) {
        r.tuner = 0.0;
    } else if (Params().recvFrequency - bw <= f && f <= Params().recvFrequency + bw) {
        if (hb == 0.0) {
            r.tuner = 1.0;
            r.frequencyOffset = 0.0;
        } else {
            TunerCurve(r, std::fabs(f - Params().recvFrequency), hb);
        }
    } else if (m_fGuardFrequency > 0.0 && m_fGuardFrequency - bw <= f &&
               f <= m_fGuardFrequency + bw) {
        r.tuner = 1.0;
    } else {
        r.tuner = 0.0;
    }
    if (r.majorModulation != Params().majorModulation ||
        r.detailModulation != Params().detailModulation)
        r.tuner = 0.0;
}

// Decodable with the same system and key, or sent in clear: without a key
// (plain transmission allowed here) or without a system.
void CSecureRadioModel::CryptoModel(CReceive& r) {
    const bool clear = Params().allowPlainXmit ? r.cryptoKey == 0 : r.cryptoSystem == 0;
    const bool same = r.cryptoSystem == Params().cryptoSystem && r.cryptoKey == Params().cryptoKey;
    r.decodeOk = same || clear;
}

// Hopping radios hear only hopping transmitters of their hop net, on any
// frequency; the others only the others.
void CSecureRadioModel::HopNetModel(CReceive& r) {
    r.status = RECV_STATUS_SILENT;
    const bool hops = Params().spreadSpectrum & 1;
    const bool theyHop = r.spreadSpectrum & 1;
    if (!hops || !theyHop) {
        if (!hops && !theyHop) r.status = RECV_STATUS_AUDIBLE;
        return;
    }
    r.tuner = 1.0;
    if (Params().doSquelch) SquelchModel(r);
    if (SameHopNet(r)) r.status = RECV_STATUS_AUDIBLE;
}

// Net id, hop set, lockout set, sync offset and TRANSEC key; start of
// message and clear channel play no part.
bool CSecureRadioModel::SameHopNet(const CReceive& r) const {
    if (Params().modulationParameters.size() < kRecordBytes) return false;
    // A shorter record than ours counts as zeros beyond its end.
    std::uint8_t theirs[kRecordBytes] = {};
    if (!r.modulationParameters.empty())
        std::memcpy(theirs, r.modulationParameters.data(),
                    std::min(r.modulationParameters.size(), kRecordBytes));
    const std::uint8_t* ours = Params().modulationParameters.data();
    return std::memcmp(theirs + kNetId, ours + kNetId, 6) == 0 &&
           std::memcmp(theirs + kSyncOffset, ours + kSyncOffset, 6) == 0;
}
