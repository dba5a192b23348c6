#pragma once
// The ARC-164 radio (model 1101): a UHF aircraft radio with a guard
// receiver and word-of-day frequency hopping ("HQ"). Band, guard frequency
// and tone files come from the configuration's "ARC164" section; tuned in
// 100 Hz steps, to 0 Hz outside the band in the main mode; frequency modes
// 0 main, 1 main and guard, 2 guard only; keyed inside the band or while
// hopping. Otherwise the secure radio, except that its modulation
// parameters are the HQ block, which hopping receivers must match word for
// word:
//
//   word 0     net word (0xFFFF while the radio sends a time-of-day tone)
//   word 1     HQ mode (0: off), taken over from a heard time-of-day
//              transmission while the 60 s time-of-day window is open
//   words 2-7  the six word-of-day segments
//
// The words are kept and sent in the machine's own byte order.
//
// Two private playback devices key the radio while they play into its
// transmission: the time-of-day tone ("TODToneWav", in HQ mode; word 0 is
// 0xFFFF meanwhile) and the looping test tone ("TestToneWav", otherwise),
// both switched by RD_TONE.
#include <string>

#include "radio/secure_radio.h"

class CArc164RadioModel : public CSecureRadioModel {
public:
    explicit CArc164RadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices);
    ~CArc164RadioModel() override;

    int SetFrequency(double receiveHz, double transmitHz) override;
    int SetPTT(int on, std::uint32_t source) override;
    int SetRadioData(int id, void* value) override;
    int GetRadioData(int id, void* out) override;
    void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) override;
    void SetXmitAttached(int attached) override;
    // The time-of-day tone has played out: the net word is the host's again.
    int OnPlaybackDone(std::uint32_t source) override;

    // The time-of-day window: how long a window stays open [ms].
    static constexpr std::uint32_t kTodWindowMs = 60000;

protected:
    bool SameHopNet(const CReceive& record) const override;
    bool IsToneSource(std::uint32_t source) const override;
    void ReleasePlayback() override;

private:
    std::uint16_t HqWord(std::size_t index) const;
    void SetHqWord(std::size_t index, std::uint16_t value);
    bool InBand(double hertz) const { return m_fMinFreq <= hertz && hertz <= m_fMaxFreq; }
    void SetTone(bool on);
    void ReleaseTones();

    double m_fSavedMainRx = 0.0, m_fSavedMainTx = 0.0;  // the main setting [Hz]
    std::string m_strTestToneWav;
    std::string m_strTodToneWav;
    double m_fMinFreq = 0.0, m_fMaxFreq = 0.0;  // the band [Hz]
    double m_fPresetFreq = 0.0;                 // the guard of modes 1 and 2 [Hz]
    std::int32_t m_nFreqMode = 0;
    std::uint16_t m_nSavedNetWord = 0;  // word 0 as the host set it
    bool m_bTodWindowOpen = false;
    std::uint32_t m_nTodWindowStart = 0;                 // tick count at the opening [ms]
    std::shared_ptr<CPlaybackDevice> m_pTodDevice;       // notifies, plays once
    std::shared_ptr<CPlaybackDevice> m_pTestToneDevice;  // loops
    bool m_bTonePathsAttached = false;  // on the tone devices' lists with a device's
};
