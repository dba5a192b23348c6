#include "radio/radio_prompt.h"

#include "audio/timer_wav_player.h"
#include "radio/radio_model.h"

CRadioPrompt::CRadioPrompt(CRadioModel& radio)
    : m_radio(radio), m_player(std::make_shared<CTimerWavPlayer>()) {
    m_player->SetSink(this);
    m_player->SetLoop(true);
    m_player->SetNotify(false);
}

CRadioPrompt::~CRadioPrompt() { Stop(); }

bool CRadioPrompt::Play(const std::string& path, const CReceive* record) {
    m_player->SetTransmitter(record);
    return m_player->Play(path.c_str(), 0) != 0;
}

bool CRadioPrompt::PlayIfIdle(const std::string& path, const CReceive* record) {
    return !m_player->IsPlaying() && Play(path, record);
}

void CRadioPrompt::Stop() { m_player->Stop(); }

void CRadioPrompt::WriteLocalSource(const std::int16_t* samples, std::uint32_t bytes,
                                    std::uint32_t sampleRate) {
    m_radio.WriteLocalSource(samples, bytes, sampleRate);
}
