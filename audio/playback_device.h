#pragma once
// The playback device as radios and the exports use it: a device without
// sound hardware that plays a WAV file into the transmit paths of its
// radios as if the file were a microphone.
//
//   timer (the file's own rate) --> file chunk --> [decimate,
//     16-bit PCM at >= 2 x the library rate] --> one channel (playback
//     channel 8 left, else right) --> decode by format tag (PCM, mu-law,
//     IBM CVSD, ADPCM) --> every radio of the transmit list, as a captured
//     block: TransmitAudio (block, device rate, handle x 2)
//   StartPlayback --> [key paths: SetPTT (1, handle x 2) on every radio]
//   StopPlayback, or the end of the data without loop --> [key paths:
//     SetPTT (0, handle x 2)] --> [notify radios: OnPlaybackDone (handle x 2)]
//
// media/ builds it (media/net_play_device.h); the radio models that send
// tones and preambles make their own through the hcy::radio::PlaybackDevices
// they were created with (radio/playback_devices.h):
//
//   auto tone = devices->Make();
//   tone->SetHandle(handle);                 // a number of the shared counter
//   tone->SetKeyPaths(true); tone->SetNotifyRadios(true); tone->SetLoop(false);
//   tone->AddTransmitPath(this);
//   tone->StartPlayback(path, 0);            // the radio is keyed with handle x 2
//   ...                                      // OnPlaybackDone (handle x 2) at the end
//   tone->Close();                           // before the radio goes
//
// Contract:
// - The three flags are set while the device is idle.
// - StopPlayback (and StartPlayback, which stops a running playback first,
//   and Close) waits for a chunk being delivered, and delivery takes the
//   device's mutex and then each radio's: call them without holding a
//   radio's lock or the device's mutex (a radio queues them for after its
//   lock is released). OnPlaybackDone comes on the timer thread (or the
//   stopping thread) with the device's mutex held, after the radios were
//   unkeyed and the file closed; from it a radio may add, remove or key
//   paths and start the device again.
// - IsPlaying takes no lock.
#include "audio/device.h"

class CPlaybackDevice : public CDevice {
public:
    Kind GetKind() const override { return Kind::Playback; }

    // Appends the radio to the transmit list (not keyed); a duplicate fails
    // with "Transmit path already established for this device".
    virtual int AddTransmitPath(CRadioModel* radio) = 0;
    // Unkeys a listed radio (handle x 2) and removes it; 1.
    virtual int RemoveTransmitPath(CRadioModel* radio) = 0;
    // SetPTT (on, handle x 2) on every radio of the transmit list; 1.
    virtual int KeyTransmitPaths(int on) = 0;

    // Key the radios at start and unkey them at stop (default on).
    virtual void SetKeyPaths(bool on) = 0;
    // OnPlaybackDone on every radio when the playback ends (default off).
    virtual void SetNotifyRadios(bool on) = 0;
    // Start again at the first sample at the end of the data (default off).
    virtual void SetLoop(bool on) = 0;
    virtual bool IsPlaying() const = 0;
};
