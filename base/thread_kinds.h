#pragma once
// What each of the library's threads is doing when its thread boundary
// (plat::ThreadBoundary, hcyplat/thread_boundary.h) catches an exception.
// The last error then reads "HCY ERROR: Error while <what>: <text>".
//
//   thread                      boundary around                 afterwards
//   network manager             start-up, each message, stop    next message
//                               each tick of a federation       next tick
//   audio PDU worker            each received PDU               next PDU
//   Transmitter PDU worker      each received PDU               next PDU
//   receive thread (per socket) each datagram                   next datagram
//   capture thread (per device) each captured block             next block
//   update tick (timer)         each tick                       next tick
//   delay queue (timer)         each service                    next service
//   WAV writer (per open file)  each message                    next message
//   WAV player (timer)          each chunk                      next chunk
//   playback device (timer)     each chunk                      next chunk
//   data device worker          each message, each host call    next message
//   speech playout (timer)      each chunk                      next chunk
// Threads of later subsystems add their line here and wrap their bodies
// the same way. Tests arm plat::InjectThreadFaultForTest with these texts.
namespace hcy::boundary {

inline constexpr const char* kNetMgrStartUp = "starting the network manager";
inline constexpr const char* kNetMgrMessage = "handling a network manager message";
inline constexpr const char* kNetMgrHlaTick = "ticking the HLA federation";
inline constexpr const char* kNetMgrShutDown = "stopping the network manager";
inline constexpr const char* kAudioWorker = "dispatching a received audio PDU";
inline constexpr const char* kXmitWorker =
    "dispatching a received Transmitter, Entity State or interphone control PDU";
inline constexpr const char* kReceiveDatagram = "receiving a DIS datagram";
inline constexpr const char* kCapture = "delivering a captured sound block";
inline constexpr const char* kUpdateTick = "running the update tick";
inline constexpr const char* kDelayQueue = "sending delayed PDUs";
inline constexpr const char* kWavWriter = "writing a WAV file";
inline constexpr const char* kWavPlayer = "playing a WAV file";
inline constexpr const char* kPlayback = "playing a WAV file into radios";
inline constexpr const char* kDataDevice = "handling a data device's message";
inline constexpr const char* kHostCallback = "calling a data device's host callback";
inline constexpr const char* kSpeechPlayout = "speaking text into radios";

}  // namespace hcy::boundary
