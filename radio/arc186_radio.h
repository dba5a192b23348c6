#pragma once
// The ARC-186 radio (model 1102): a VHF radio with an FM band (tried
// first) and an AM band, read from the configuration's "ARC186" section,
// each with its modulation (read again at each tuning), squelch level and
// disable flag; tuned in 100 Hz steps, to 0 Hz outside both bands; three
// frequency modes (0 main, 1 AM guard, 2 FM guard); keyed only inside a
// band. Otherwise the secure radio. A private playback device plays the
// looping test tone ("TestToneWav", RD_TONE) into its transmission.
#include <string>

#include "radio/secure_radio.h"

class CArc186RadioModel : public CSecureRadioModel {
public:
    explicit CArc186RadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices);
    ~CArc186RadioModel() override;

    int SetFrequency(double receiveHz, double transmitHz) override;
    int SetPTT(int on, std::uint32_t source) override;
    int SetRadioData(int id, void* value) override;
    void SetXmitAttached(int attached) override;

protected:
    void ReleasePlayback() override;
    bool IsToneSource(std::uint32_t source) const override;

private:
    static constexpr int kAmBand = 3, kFmBand = 4;

    // The band's modulation of the configuration file and its squelch level.
    void TuneBand(int band);

    std::string m_strTestToneWav;
    std::shared_ptr<CPlaybackDevice> m_pTestToneDevice;
    double m_fSavedMainRx = 0.0, m_fSavedMainTx = 0.0;  // the main setting [Hz]
    double m_fMinAmFreq = 0.0, m_fMaxAmFreq = 0.0;      // [Hz]
    double m_fMinFmFreq = 0.0, m_fMaxFmFreq = 0.0;      // [Hz]
    double m_fAmGuardFreq = 0.0;                        // frequency mode 1 [Hz]
    double m_fFmGuardFreq = 0.0;                        // frequency mode 2 [Hz]
    int m_nBand = kFmBand;                              // of the last tuning into a band
    float m_fAmSquelch = 0.2f, m_fFmSquelch = 0.2f;
    std::int32_t m_nAmModeFlag = 0, m_nFmModeFlag = 0;  // non-zero: band and guard mode off
    std::int32_t m_nFreqMode = 0;
};
