// hcyhost's parts: the options, the set-up phases, the radios' run and the
// interphone station's (each in a file of its own), and main, which calls
// them in turn.
#pragma once
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"

namespace hcyhost {

constexpr int kMaxRadios = 16;
constexpr double kRadioSpacing = 1e6;  // between the radios' frequencies [Hz]
constexpr double kToneHz = 700.0;      // what a scheduled microphone hears
constexpr double kToneAmplitude = 8000.0;

// Radio r (from 1) keyed from `start` for `seconds`, again every `period`
// (0: once) [s].
struct Schedule {
    int radio;
    double start, seconds, period;
    bool Keyed(double t) const {
        if (t < start) return false;
        const double into = period > 0 ? std::fmod(t - start, period) : t - start;
        return into < seconds;
    }
};

struct Options {
    int exercise = 1;
    int port = 3000;
    std::string address = "127.255.255.255";
    int secondaryPort = 0;
    std::string secondaryAddress;
    std::optional<int> ttl;
    std::optional<std::uint32_t> network;
    int radios = 1;
    std::string card = "plain";
    double frequency = 30e6;
    std::uint16_t model = RADIO_TYPE_GENERIC;
    std::optional<double> power;
    double latitude = 0, longitude = 0, altitude = 0;
    int site = 0, application = 0, entity = 0;
    int encoding = ENCODING_PCM16;
    std::optional<double> squelch;
    std::optional<std::pair<int, int>> crypto;  // system, key
    std::optional<int> channel;                 // of model 1008
    std::optional<std::array<int, 4>> hear;     // the raw DIS radio's transmitter
    std::string sound = "virtual";
    std::string federation;
    std::string fedFile;
    std::string transmitFile;
    std::string playFile;
    std::string speakText;
    std::string voice;
    bool transcribe = false;
    std::string receiveFile;
    std::string recordFile;
    std::optional<double> key;
    std::vector<Schedule> schedules;
    std::optional<double> epoch;
    std::optional<double> seconds;
    std::optional<double> recvTimeout;
    bool status = false;
    std::optional<double> heartbeat;
    std::optional<int> station;
    std::optional<int> dial;
    bool answer = false;
    std::optional<double> hangUp, closeDevice, destroy;  // [s] into the call
    std::optional<std::pair<double, double>> pause;      // [s] into the talk, [s]
};

// hcyhost_options.cpp: the command line, checked as a whole (a wrong one
// ends the process with 2 and a message).
Options Parse(int argc, char** argv);
[[noreturn]] void Fail(const std::string& message);

// One radio on a sound card (of its own, or a half of a split card), and
// what it hears.
struct Radio {
    int number = 0;  // from 1, as the help and every line name it
    int handle = 0;
    int device = 0;
    int channel = 0;  // the half of a split card (8 left, 9 right), else 0
    hcyplat_guid speaker{}, microphone{};
    std::uint32_t waveIn = 0xFFFFFFFFu;  // the default input
    bool keyed = false;
    double keyedAt = 0;
    int onAir = 0;  // as the library last announced it
    // Transmitters heard: how many now, at most, and in all.
    std::uint32_t audible = 0, mostAudible = 0;
    int heard = 0;
    // The strongest transmitter now heard, since when and its loudest audio.
    std::optional<std::array<std::uint16_t, 4>> strongest;
    double strongestSince = 0;
    float audioPeak = 0;
};

// How long the radios transmit and the host runs [s].
struct RunPlan {
    double keySeconds = 0;  // radio 1 keyed (the file, --key), 0: not
    double runSeconds = 0;  // the run, before speech lengthens or ends it
};

// The library once started: its message window, the radios' networks and
// whether the status dialogs are drawn here as text.
struct Library {
    uintptr_t window = 0;
    std::optional<std::uint32_t> network;
    bool statusText = false;
};

// Radio 1's devices besides its sound card (each 0 or less: none).
struct Devices {
    int player = -1, speaker = -1, transcriber = -1, recorder = 0;
};

// hcyhost_setup.cpp: the set-up phases, in the order main runs them. A
// failed library call ends the process with 1 and the library's text.
void Check(int ok, const char* what);
void PrintPlatformReports();
// The audio bytes of a WAV file, with its byte rate and channels; no byte
// rate when the file is not one.
struct WavAudio {
    std::vector<unsigned char> bytes;
    std::uint32_t byteRate = 0;
    std::uint16_t channels = 0;
};
WavAudio ReadWav(const std::string& path);
RunPlan PlanRun(const Options& o);
bool MakeSoundCards(const Options& o, std::vector<Radio>& radios);
Library StartLibrary(const Options& o, const char* argv0);
int OpenCard(const std::string& kind, const Radio& r, bool virtualCard);
bool WireRadios(const Options& o, std::vector<Radio>& radios, std::optional<std::uint32_t> network);
Devices OpenDevices(const Options& o, const Radio& first);
void PrintListening(const Options& o, const std::vector<Radio>& radios);

// hcyhost_run.cpp: keys, listens and reports until the run's end, then
// closes the devices and the library. The process's exit code.
int RunRadios(const Options& o, const RunPlan& plan, std::vector<Radio>& radios,
              const Devices& devices, const Library& library);

// hcyhost_station.cpp: an interphone station in place of the radios.
int RunStation(const Options& o, int device, const hcyplat_guid& microphone, double talkSeconds,
               double runSeconds);

}  // namespace hcyhost
