#pragma once
// A radio's prompt: a WAV file played over and over into the radio's own
// receive paths as their local source, heard by the operator and never
// sent: the no-code prompt that replaces audio the radio cannot decode, and
// the secure radio's no-fill prompt.
//
//   player timer --chunk--> WriteLocalSource --> radio (its mutex)
//       --> every active receive path's local source
//
// Threads: the player's delivery takes the radio's mutex, and Stop waits
// for a delivery under way; so Stop, and Play on a player that may be
// stopping, run with no lock of the radio held (the radio queues them for
// after its lock). PlayIfIdle may run under the radio's mutex: an idle
// player waits for nothing.
#include <cstdint>
#include <memory>
#include <string>

#include "audio/wav_player.h"

class CRadioModel;
class CReceive;

class CRadioPrompt final : public CWavPlayerSink {
public:
    explicit CRadioPrompt(CRadioModel& radio);
    ~CRadioPrompt();  // stops
    CRadioPrompt(const CRadioPrompt&) = delete;
    CRadioPrompt& operator=(const CRadioPrompt&) = delete;

    // Plays `path` for the heard transmitter `record` (null: none); false
    // with the last error set when the file does not play.
    bool Play(const std::string& path, const CReceive* record);
    bool PlayIfIdle(const std::string& path, const CReceive* record);
    void Stop();
    bool IsPlaying() const { return m_player->IsPlaying(); }
    bool IsPlayingFor(const CReceive* record) const { return m_player->IsPlayingFor(record); }

private:
    void WriteLocalSource(const std::int16_t* samples, std::uint32_t bytes,
                          std::uint32_t sampleRate) override;
    void StopLocalSource() override {}  // the prompts do not notify

    CRadioModel& m_radio;
    const std::shared_ptr<CWavPlayer> m_player;
};
