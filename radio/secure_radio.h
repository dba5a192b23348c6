#pragma once
// The secure radio: communications security and frequency hopping. It keeps
// a crypto system and key, the spread-spectrum flags and the 16-byte hop-net
// record it sends as its Transmitter PDU's modulation parameters; on
// reception it decides whether a transmission can be decoded (crypto match)
// and whether the hop nets match; on keying it plays the no-fill prompt
// locally when no key is loaded, or transmits the crypto preamble before the
// voice. Models 2, 3, 4 and 1104, and the base of the ARC-164, ARC-186,
// ARC-190 and SINCGARS radios. Propagation and squelch are the generic
// radio's.
//
// Hop-net record (network byte order):
//   0 u16 FH net id        2 u16 hop set id     4 u16 lockout set id
//   6 u8  start of message 7 u8  0              8 u32 FH sync time offset
//  12 u16 TRANSEC key     14 u8  clear channel 15 u8  0
//
// Keying states with a crypto system:
//   idle --key, no crypto key (no plain)--> no-fill prompt (not keyed)
//   idle --key, "Preamble%dWav" set------> preamble (keyed by the preamble
//         device, reception mode 11; every other source that keys meanwhile
//         is held back, its audio unsent)
//         --file played out, a key held--> voice (keyed by the held sources)
//   idle --key, otherwise---------------> voice
//   a release ends each of them; the preamble ends when its last held
//   source lets go.
// The radio's own tones (the ARC radios') key it directly: no prompt, no
// preamble; without a crypto key they are refused.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "radio/generic_radio.h"
#include "radio/playback_devices.h"

class CPlaybackDevice;
class CRadioPrompt;

class CSecureRadioModel : public CGenericRadioModel {
public:
    // `devices` makes the radio's preamble and tone devices.
    explicit CSecureRadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices);
    ~CSecureRadioModel() override;

    int SetCryptoSystem(int value) override;
    int SetCryptoKey(int value) override;
    int SetSpreadSpectrum(int flags) override;
    int SetFreqHopKey(int value) override;
    int SetRadioData(int id, void* value) override;
    int SetOnOff(int on) override;
    int SetPTT(int on, std::uint32_t source) override;
    void SendTransmitterPdu() override;
    // The preamble has played out: the operator's keying, if still held.
    int OnPlaybackDone(std::uint32_t source) override;
    void Shutdown() override;

    void RoundEarthModel(CReceive& record) override;
    void TunerModel(CReceive& record) override;
    void CryptoModel(CReceive& record) override;
    void HopNetModel(CReceive& record) override;

protected:
    // Keying without prompt or preamble: the base's, then the receive paths'
    // noise muted and the heard transmitters blocked while the radio is
    // keyed (decided by the outcome, so a refused key or another source's
    // release changes nothing).
    int KeyDirect(int on, std::uint32_t source);
    void MuteWhileKeyed();
    // Both hop: the transmitter's modulation parameters name this radio's
    // hop net.
    virtual bool SameHopNet(const CReceive& record) const;
    // A source word of the radio's own tone devices: keyed without prompt
    // or preamble.
    virtual bool IsToneSource(std::uint32_t) const { return false; }
    static std::uint32_t SourceOf(const std::shared_ptr<CPlaybackDevice>& device);
    // Mutex held: a keying the radio refuses because its transmit frequency
    // is outside its band; leaves the reason as the last error. Returns 0.
    int RefuseOutOfBand();
    // "Preamble%dWav" and the like for the radio's crypto system, from the
    // radio's configuration section; empty: none.
    std::string PromptFile(const char* name) const;

    // Stores a field of the hop-net record [width bytes] in network order;
    // a radio without the record stores nothing.
    void SetRecordField(std::size_t offset, std::size_t width, std::uint32_t value);

    // A private playback device of the radio (tone or preamble): a handle of
    // the shared counter, not in the device table.
    std::shared_ptr<CPlaybackDevice> MakePlaybackDevice(bool keyPaths, bool notify,
                                                        bool loop) const;
    // Stops `device` and takes this radio off its transmit list (no lock of
    // the radio held; the radio is whole).
    void ReleaseDevice(const std::shared_ptr<CPlaybackDevice>& device);
    // Stops every prompt and private device before the radio goes (no lock
    // of the radio held). The ARC radios add their tone devices.
    virtual void ReleasePlayback();
    // A tone device keying this radio while it plays `file` (mutex held: it
    // starts or stops after the lock). A start that fails runs `failed`
    // under the radio's lock.
    void StartTone(const std::shared_ptr<CPlaybackDevice>& device, const std::string& file,
                   std::function<void()> failed = {});
    void StopTone(const std::shared_ptr<CPlaybackDevice>& device);
    // The radio joins (and is keyed by a playing tone) or leaves a tone
    // device's transmit list as it joins or leaves a device's (no lock of
    // the radio held).
    void AttachTone(const std::shared_ptr<CPlaybackDevice>& device, bool attached);

    std::uint32_t m_nSavedEndMode = RECEPTION_MODE_TAIL;
    std::uint32_t m_nLastPttSent = 0;  // keyed when the previous Transmitter PDU left
    // Sources that keyed while the preamble plays, in order: keyed when it
    // has played out.
    std::vector<std::uint32_t> m_heldSources;
    std::string m_strSection = "Secure";
    double m_fGuardFrequency = 0.0;  // also heard by the tuner; 0: none [Hz]
    // False for a radio whose modulation parameters are no hop-net record
    // (the ARC-164's HQ block): the record's fields are then neither written
    // nor compared.
    bool m_bHopNetRecord = true;

private:
    const std::shared_ptr<const hcy::radio::PlaybackDevices> m_playbackDevices;
    // Mutex held. `outcome` is SetPTT's result, which work queued for after
    // the lock may still correct.
    int Key(int on, std::uint32_t source, const std::shared_ptr<int>& outcome);
    bool StartPreamble(std::uint32_t source, const std::shared_ptr<int>& outcome);
    bool PlayNoFillPrompt(const std::shared_ptr<int>& outcome);
    // The preamble keying ends: unkeyed, reception as before it.
    void EndPreamble();
    // The held sources key the radio, the first of them first.
    int KeyHeld();
    std::uint32_t PreambleSource() const;

    std::shared_ptr<CPlaybackDevice> m_pPreambleDevice;  // made on first use
    std::unique_ptr<CRadioPrompt> m_pNoFill;             // made on first use
    bool m_bPreamble = false;                            // keyed by the preamble device
    int m_nPreambleStarts = 0;                           // starts queued and not yet made
    bool m_bNoFill = false;                              // the no-fill prompt plays
};

namespace hcy::radio {

// A frequency [Hz] rounded to whole 100 Hz steps, halves up for positive
// values: trunc(f x 0.01 + 0.5) x 100.
double RoundTo100Hz(double hertz);

}  // namespace hcy::radio
