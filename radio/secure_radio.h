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
//         device, reception mode 11, operator's audio held back)
//         --file played out, key held--> voice (keyed by the operator)
//   idle --key, otherwise---------------> voice
//   a release ends each of them.
#include <cstdint>
#include <string>

#include "radio/generic_radio.h"

class CSecureRadioModel : public CGenericRadioModel {
public:
    CSecureRadioModel();

    int SetCryptoSystem(int value) override;
    int SetCryptoKey(int value) override;
    int SetSpreadSpectrum(int flags) override;
    int SetFreqHopKey(int value) override;
    int SetRadioData(int id, void* value) override;
    int SetPTT(int on, std::uint32_t source) override;
    void SendTransmitterPdu() override;

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
    // Both hop: the transmitter's modulation parameters name this radio's
    // hop net.
    virtual bool SameHopNet(const CReceive& record) const;
    void MuteWhileKeyed();
    // The preamble of a keying by `source`: true when it started.
    virtual bool StartPreamble(std::uint32_t source);
    // The no-fill prompt: true when it plays.
    virtual bool PlayNoFillPrompt();
    // "Preamble%dWav" and the like for the radio's crypto system, from the
    // radio's configuration section; empty: none.
    std::string PromptFile(const char* keyFormat) const;

    // Stores a field of the hop-net record [width bytes] in network order;
    // a radio without the record stores nothing.
    void SetRecordField(std::size_t offset, std::size_t width, std::uint32_t value);

    std::uint32_t m_nSavedEndMode = RECEPTION_MODE_TAIL;
    std::uint32_t m_nLastPttSent = 0;  // keyed when the previous Transmitter PDU left
    int m_nPttRequested = 0;           // the operator still holds the key
    std::uint32_t m_nHeldSource = 0;   // the operator's source while the preamble plays
    std::string m_strSection = "Secure";
    double m_fGuardFrequency = 0.0;  // also heard by the tuner; 0: none [Hz]
    // False for a radio whose modulation parameters are no hop-net record
    // (the ARC-164's HQ block): the record's fields are then neither written
    // nor compared.
    bool m_bHopNetRecord = true;
};

namespace hcy::radio {

// A frequency [Hz] rounded to whole 100 Hz steps, halves up for positive
// values: trunc(f x 0.01 + 0.5) x 100.
double RoundTo100Hz(double hertz);

}  // namespace hcy::radio
