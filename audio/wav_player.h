#pragma once
// The WAV player as devices and radios use it. A player plays a 16-bit PCM
// WAV file, mono or stereo, in real time: a periodic timer reads one chunk
// (the library's capture block, twice that for stereo) per period and hands
// it on as mono audio, either to an output buffer of its own on a device's
// DirectSound object (a device player) or to a sink (a radio's prompt
// player: the local source of the radio's receive paths).
//
//   timer (every chunk / byte rate) --chunk--> [stereo: l/2 + r/2]
//       --> output buffer on the device          (SetOutput)
//       --> CWavPlayerSink::WriteLocalSource     (SetSink)
//   end of data (no loop) --> Stop --> [notify: owner's OnWavPlayerDone,
//       sink's StopLocalSource]
//
// The player is CTimerWavPlayer (audio/timer_wav_player.h); devices and
// radio prompts make their own.
//
// Contract:
// - Settings (SetLoop, SetNotify, SetOwner, SetSink, SetTransmitter,
//   SetOutput) are made while the player is idle, before Play.
// - Play and Stop may come from any thread. Stop (and Play on a playing
//   player, which stops it first) waits for a chunk being delivered, so it
//   must be called without holding a lock the player's output takes (the
//   sink's lock, a device's mutex in OnWavPlayerDone); from the player's
//   own notices it may be called freely, and Play on an idle player
//   anywhere.
// - IsPlaying and IsPlayingFor take no lock and may be asked under any.
// - The owner device and the sink are not owned: their owner stops the
//   player before they go.
#include <cstdint>

#include "hcyplat/dsound.h"

class CDevice;
class CReceive;

// Where a radio's prompt player delivers instead of an output buffer: the
// local source (no receive record) of every receive path of the radio.
class CWavPlayerSink {
public:
    // A chunk of mono 16-bit samples [bytes] at `sampleRate` [Hz], on the
    // player's timer thread.
    virtual void WriteLocalSource(const std::int16_t* samples, std::uint32_t bytes,
                                  std::uint32_t sampleRate) = 0;
    // A player with its notify flag set has stopped: stop the local source
    // (no squelch tail).
    virtual void StopLocalSource() = 0;

protected:
    ~CWavPlayerSink() = default;
};

class CWavPlayer {
public:
    virtual ~CWavPlayer() = default;

    // Opens `path` and starts at `startSeconds`; 1, or 0 with the last
    // error set (the player stays idle). A playing player is stopped first.
    virtual int Play(const char* path, int startSeconds) = 0;
    // Stops if playing: timer, file, then the notices; 1 in every case.
    virtual int Stop() = 0;
    virtual bool IsPlaying() const = 0;
    // Playing and bound to that receive record.
    virtual bool IsPlayingFor(const CReceive* record) const = 0;

    // A device player's output: on first use an output buffer on `ds`; every
    // time its volume (0 to 1) and channel (8 left, 9 right, else centre).
    virtual int SetOutput(const plat::LPDIRECTSOUND& ds, float volume, int channel) = 0;
    // Start again at the first sample when the data ends.
    virtual void SetLoop(bool loop) = 0;
    // Tell the owner device (and stop the sink's local source) at the stop.
    virtual void SetNotify(bool notify) = 0;
    virtual void SetOwner(CDevice* owner) = 0;
    // Deliver to the sink instead of the output buffer (null: no sink).
    virtual void SetSink(CWavPlayerSink* sink) = 0;
    // The receive record a radio prompt belongs to (null: none).
    virtual void SetTransmitter(const CReceive* record) = 0;
};
