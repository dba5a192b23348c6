// hcyhost's set-up phases: how long it runs, the sound cards, the library
// and its networks, the radios wired to their cards, and radio 1's other
// devices.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hcyhost.h"

namespace hcyhost {

WavAudio ReadWav(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return {};
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)),
                                 std::istreambuf_iterator<char>());
    auto u32 = [&](std::size_t at) {
        return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) |
               (static_cast<std::uint32_t>(d[at + 3]) << 24);
    };
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) || std::memcmp(&d[8], "WAVE", 4))
        return {};
    WavAudio wav;
    for (std::size_t at = 12; at + 8 <= d.size();) {
        const std::uint32_t size = u32(at + 4);
        if (!std::memcmp(&d[at], "fmt ", 4) && at + 8 + 16 <= d.size()) {
            wav.channels = static_cast<std::uint16_t>(d[at + 10] | d[at + 11] << 8);
            wav.byteRate = u32(at + 16);
        }
        if (!std::memcmp(&d[at], "data", 4)) {
            const std::size_t avail = std::min<std::size_t>(size, d.size() - at - 8);
            wav.bytes.assign(d.begin() + static_cast<std::ptrdiff_t>(at + 8),
                             d.begin() + static_cast<std::ptrdiff_t>(at + 8 + avail));
            return wav;
        }
        at += 8 + std::size_t{size} + (size & 1);
    }
    return {};
}

namespace {

// Seconds of audio in a 16-bit PCM WAV file, or a negative value when the
// file is not one.
double WavSeconds(const std::string& path) {
    const WavAudio wav = ReadWav(path);
    return wav.byteRate ? static_cast<double>(wav.bytes.size()) / wav.byteRate : -1;
}

// The inodes of this process's UDP sockets bound to `port`: its open
// descriptors that are sockets the system lists with that local port.
std::set<std::string> UdpSocketsOn(int port) {
    namespace fs = std::filesystem;
    std::set<std::string> inodes;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0)
            inodes.insert(target.substr(8, target.size() - 9));
    }
    std::set<std::string> bound;
    for (const char* table : {"/proc/self/net/udp", "/proc/self/net/udp6"}) {
        std::ifstream f(table);
        std::string line;
        std::getline(f, line);  // the column titles
        while (std::getline(f, line)) {
            // sl local_address rem_address st tx:rx tr:tm retrnsmt uid timeout inode
            std::istringstream fields(line);
            std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
                timeout >> inode;
            const std::size_t colon = local.rfind(':');
            if (colon == std::string::npos) continue;
            if (std::strtol(local.c_str() + colon + 1, nullptr, 16) == port && inodes.count(inode))
                bound.insert(inode);
        }
    }
    return bound;
}

// Waits (at most 5 s) until this process has a UDP socket on `port` that is
// none of `before`: the library reopens its socket for every port it is
// given, so a new one shows that the port change was carried out.
bool NewUdpSocketOn(int port, const std::set<std::string>& before) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        for (const auto& inode : UdpSocketsOn(port))
            if (!before.count(inode)) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Gives a network its port and waits until the library has opened its
// socket there.
void OpenPort(int (*setPort)(std::uint32_t), const char* what, int port) {
    const std::set<std::string> before = UdpSocketsOn(port);
    Check(setPort(static_cast<std::uint32_t>(port)), what);
    if (!NewUdpSocketOn(port, before)) {
        std::fprintf(stderr, "hcyhost: the library's socket on port %d did not open: %s\n", port,
                     hcyGetLastError());
        hcyExit();
        std::exit(1);
    }
}

// The FED file installed or built beside this program; empty when there is
// none (the library then looks in the working folder).
std::string DefaultFedFile(const char* argv0) {
    const std::filesystem::path here = std::filesystem::path(argv0).parent_path();
    for (const auto& candidate :
         {here / "hcyRprFom10.fed", here / ".." / "share" / "halcyra" / "hcyRprFom10.fed"}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
    }
    return "";
}

}  // namespace

// Prints what the platform reported (a refused priority, a failed sound
// device) since the last call.
void PrintPlatformReports() {
    char text[512];
    while (hcyplatTakeReport(text, sizeof text) >= 0) std::fprintf(stderr, "hcyhost: %s\n", text);
}

void Check(int ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "hcyhost: %s failed: %s\n", what, hcyGetLastError());
        hcyExit();
        std::exit(1);
    }
}

// Opens the card of a radio as `kind` (the virtual card's endpoints, or the
// default devices).
int OpenCard(const std::string& kind, const Radio& r, bool virtualCard) {
    HCYGUID output, input;
    std::memcpy(&output, &r.speaker, sizeof output);
    std::memcpy(&input, &r.microphone, sizeof input);
    const HCYGUID* out = virtualCard ? &output : nullptr;
    if (kind == "ds8") return hcyOpenAudioDeviceDS(virtualCard ? &input : nullptr, out);
    if (kind == "split") return hcyOpenSplitDeviceSimple(r.waveIn, out);
    return hcyOpenAudioDeviceSimple(r.waveIn, out);
}

RunPlan PlanRun(const Options& o) {
    double transmitSeconds = 0;
    if (!o.transmitFile.empty()) {
        transmitSeconds = WavSeconds(o.transmitFile);
        if (transmitSeconds < 0)
            Fail("cannot read '" + o.transmitFile + "' as a 16-bit PCM WAV file");
    }
    // A playback device sends its file about 2.5 % faster than real time.
    if (!o.playFile.empty()) {
        const double fileSeconds = WavSeconds(o.playFile);
        if (fileSeconds < 0) Fail("cannot read '" + o.playFile + "' as a WAV file");
        transmitSeconds = 0.975 * fileSeconds;
    }
    const double keySeconds = o.key ? *o.key : transmitSeconds;
    // A text is spoken for as long as it takes: the run then ends 1 s after.
    constexpr double kLongestSpeech = 600;  // [s]
    double runSeconds = o.seconds              ? *o.seconds
                        : !o.speakText.empty() ? kLongestSpeech
                        : keySeconds > 0       ? keySeconds + 1
                                               : 10;
    return {keySeconds, runSeconds};
}

bool MakeSoundCards(const Options& o, std::vector<Radio>& radios) {
    // The sound cards: a virtual speaker and microphone of our own for each
    // radio (each pair of radios on a split card), or the default devices of
    // a real back end. The right half's radio shares its card with the left.
    const bool virtualCard = o.sound == "virtual";
    const bool split = o.card == "split";
    Radio& first = radios.front();
    if (virtualCard) {
        for (std::size_t i = 0; i < radios.size(); ++i) {
            Radio& r = radios[i];
            if (split && i % 2 == 1) continue;
            if (hcyplatCreateOutputEndpoint("hcyhost speaker", 16000, 2, &r.speaker) < 0 ||
                hcyplatCreateInputEndpoint("hcyhost microphone", &r.microphone, &r.waveIn) < 0) {
                std::fprintf(stderr, "hcyhost: cannot create the virtual sound card\n");
                return false;
            }
            hcyplatSetOutputNull(&r.speaker);
        }
        if (!o.receiveFile.empty() &&
            !hcyplatSetOutputWavFile(&first.speaker, o.receiveFile.c_str())) {
            std::fprintf(stderr, "hcyhost: cannot write '%s'\n", o.receiveFile.c_str());
            return false;
        }
    } else if (!hcyplatUseSoundBackend(o.sound.c_str())) {
        std::fprintf(stderr, "hcyhost: the sound back end '%s' is not there or finds no device\n",
                     o.sound.c_str());
        return false;
    }
    return true;
}

Library StartLibrary(const Options& o, const char* argv0) {
    // The status dialogs show as windows where a display is, else as text
    // drawn here.
    const char* display = std::getenv("DISPLAY");
    const bool statusText = o.status && (!display || !*display);
    if (o.status && !statusText) std::printf("hcyhost: status dialogs on display %s\n", display);
    const uintptr_t window = hcyplatCreateWindow();
    Check(hcyInit(window, o.address.c_str()), "hcyInit");
    PrintPlatformReports();
    if (o.recvTimeout) hcySetRecvTimeout(static_cast<float>(*o.recvTimeout));
    if (o.heartbeat) hcySetHeartbeat(static_cast<float>(*o.heartbeat));
    // Destinations and the time-to-live first: the sockets bind and join
    // their groups when the ports open them.
    if (!o.secondaryAddress.empty())
        Check(hcySetSubNet(NET_SECONDARY, o.secondaryAddress.c_str()), "hcySetSubNet");
    if (o.ttl) Check(hcySetMulticastTTL(NET_PRIMARY | NET_SECONDARY, *o.ttl), "hcySetMulticastTTL");
    OpenPort(hcySetNetworkPort, "hcySetNetworkPort", o.port);
    if (o.secondaryPort) OpenPort(hcySetSecondaryPort, "hcySetSecondaryPort", o.secondaryPort);
    std::optional<std::uint32_t> network = o.network;
    if (!o.federation.empty()) {
        const std::string fedFile = o.fedFile.empty() ? DefaultFedFile(argv0) : o.fedFile;
        Check(hcyHLAInitEx(1, 1, o.federation.c_str(), 1,
                           fedFile.empty() ? nullptr : fedFile.c_str(), 10),
              "hcyHLAInitEx");
        std::printf("hcyhost: joined federation %s\n", o.federation.c_str());
        if (!network) network = NET_PRIMARY | NET_HLA;
    }
    return {window, network, statusText};
}

bool WireRadios(const Options& o, std::vector<Radio>& radios,
                std::optional<std::uint32_t> network) {
    const bool virtualCard = o.sound == "virtual";
    const bool split = o.card == "split";
    for (std::size_t i = 0; i < radios.size(); ++i) {
        Radio& r = radios[i];
        r.number = static_cast<int>(i) + 1;
        if (split) r.channel = i % 2 == 0 ? CHANNEL_LEFT : CHANNEL_RIGHT;
        if (split && i % 2 == 1) {
            const Radio& left = radios[i - 1];
            r.device = left.device, r.speaker = left.speaker, r.microphone = left.microphone;
        } else {
            r.device = OpenCard(o.card, r, virtualCard);
            Check(r.device > 0, "opening the sound card");
        }
        if (!virtualCard && i == 0) {
            // The first device of each list is the default one, which it opened.
            char out[128] = "", in[128] = "";
            HCYGUID g;
            std::uint32_t id = 0;
            hcyGetOutputDevices(1, out, sizeof out - 1, &g);
            hcyGetInputDevices(1, in, sizeof in - 1, &id);
            // A wave input's name stops at 31 characters: the capture
            // device it begins has the whole one.
            char capture[128] = "";
            for (int more = hcyGetCaptureDevices(1, capture, sizeof capture - 1, &g);;
                 more = hcyGetCaptureDevices(0, capture, sizeof capture - 1, &g)) {
                if (std::strncmp(capture, in, std::strlen(in)) == 0) {
                    std::snprintf(in, sizeof in, "%s", capture);
                    break;
                }
                if (!more) break;
            }
            std::printf("hcyhost: speaker %s, microphone %s\n", out, in);
            // ALSA's null device stands in where the system has no card.
            if (std::strstr(out, "[null]")) {
                std::fprintf(stderr,
                             "hcyhost: the default sound device of '%s' is the null device, "
                             "which plays nothing and hears silence: no sound card here, or "
                             "none chosen (ALSA_CARD, ~/.asoundrc)\n",
                             o.sound.c_str());
                hcyExit();
                return false;
            }
        }
        const bool entityGiven = o.site || o.application || o.entity;
        r.handle = hcyCreateComRadio(o.model, static_cast<std::uint16_t>(o.site),
                                     static_cast<std::uint16_t>(o.application),
                                     static_cast<std::uint16_t>(o.entity),
                                     static_cast<std::uint16_t>(entityGiven ? i + 1 : 0));
        Check(r.handle > 0, "hcyCreateComRadio");
        const double frequency = o.frequency + kRadioSpacing * static_cast<double>(i);
        Check(hcySetExerciseID(r.handle, static_cast<std::uint32_t>(o.exercise)),
              "hcySetExerciseID");
        // Model 1008 is tuned to channel numbers, given as negative values.
        if (o.channel)
            Check(hcySetRadioFrequency(r.handle, -(*o.channel + static_cast<double>(i)),
                                       -(*o.channel + static_cast<double>(i))),
                  "hcySetRadioFrequency");
        else
            Check(hcySetRadioFrequency(r.handle, frequency, frequency), "hcySetRadioFrequency");
        if (o.hear)
            Check(hcySetSNR(r.handle, (*o.hear)[0], (*o.hear)[1], (*o.hear)[2], (*o.hear)[3], 1.0f),
                  "hcySetSNR");
        Check(hcySetEncoding(r.handle, o.encoding), "hcySetEncoding");
        Check(hcySetAntWorldPosn(r.handle, o.latitude, o.longitude, o.altitude),
              "hcySetAntWorldPosn");
        // In a federation this waits until the radio's object is registered.
        if (network) Check(hcySetNetwork(r.handle, *network), "hcySetNetwork");
        if (o.power) Check(hcySetRadioXmitPower(r.handle, *o.power), "hcySetRadioXmitPower");
        if (o.squelch)
            Check(hcySetSquelchLevel(r.handle, static_cast<float>(*o.squelch)),
                  "hcySetSquelchLevel");
        if (o.crypto) {
            Check(hcySetRadioCryptoSystem(r.handle, o.crypto->first), "hcySetRadioCryptoSystem");
            Check(hcySetRadioCryptoKey(r.handle, o.crypto->second), "hcySetRadioCryptoKey");
        }
        Check(hcySetComRadioRecv(r.handle, r.device, r.channel, 1), "hcySetComRadioRecv");
        if (r.channel)
            Check(hcySetComStereoXmit(r.handle, r.device, r.channel, 1), "hcySetComStereoXmit");
        else
            Check(hcySetComRadioXmit(r.handle, r.device, 1), "hcySetComRadioXmit");
        if (o.status) Check(hcyShowRadioData(r.handle), "hcyShowRadioData");
        const bool scheduled =
            std::any_of(o.schedules.begin(), o.schedules.end(),
                        [&](const Schedule& k) { return k.radio == static_cast<int>(i) + 1; });
        if (scheduled) hcyplatSetInputTone(&r.microphone, kToneHz, kToneAmplitude);
        // The file's radios: radio 1, and on a split card radio 2.
        const bool transmits = !o.transmitFile.empty() && i < (split ? 2u : 1u);
        const bool plays = !o.playFile.empty() && i == 0;
        char tuned[32];
        if (o.channel)
            std::snprintf(tuned, sizeof tuned, "channel %d", *o.channel + static_cast<int>(i));
        else
            std::snprintf(tuned, sizeof tuned, "%.0f Hz", frequency);
        std::printf("hcyhost: radio %d on %s, exercise %d, port %d, handle %d%s%s\n", r.number,
                    tuned, o.exercise, o.port, r.handle,
                    transmits || plays ? ", transmitting " : "",
                    transmits ? o.transmitFile.c_str()
                    : plays   ? o.playFile.c_str()
                              : "");
    }
    return true;
}

Devices OpenDevices(const Options& o, const Radio& first) {
    int player = -1;
    if (!o.playFile.empty()) {
        player = hcyOpenPlaybackDevice();
        Check(player > 0, "hcyOpenPlaybackDevice");
        Check(hcySetComRadioXmit(first.handle, player, 1), "hcySetComRadioXmit");
    }
    // Speech devices: one speaks into radio 1, one transcribes what it hears.
    int speaker = -1, transcriber = -1;
    if (!o.speakText.empty()) {
        speaker = hcyOpenDataDevice(DATADEV_TYPE_SPEECH, nullptr, nullptr);
        Check(speaker > 0, "hcyOpenDataDevice");
        if (!o.voice.empty()) {
            std::vector<char> name(4 + o.voice.size() + 1);
            const auto count = static_cast<std::uint32_t>(o.voice.size() + 1);
            std::memcpy(name.data(), &count, 4);
            std::memcpy(name.data() + 4, o.voice.c_str(), count);
            Check(hcySetDeviceData(speaker, DEVDATA_VOICE_NAME,
                                   reinterpret_cast<intptr_t>(name.data())),
                  "hcySetDeviceData");
        }
        Check(hcySetComRadioXmit(first.handle, speaker, 1), "hcySetComRadioXmit");
    }
    if (o.transcribe) {
        transcriber = hcyOpenDataDevice(DATADEV_TYPE_SPEECH, nullptr, nullptr);
        Check(transcriber > 0, "hcyOpenDataDevice");
        Check(hcySetComRadioRecv(first.handle, transcriber, 0, 1), "hcySetComRadioRecv");
    }
    // The recorder is wired as a second radio to radio 1's sound card (its
    // half of a split card) and to the playback and speaking devices.
    int recorder = 0;
    if (!o.recordFile.empty()) {
        recorder = hcyCreateComRadio(RADIO_TYPE_WAV_RECORD, 0, 0, 0, 0);
        Check(recorder > 0, "hcyCreateComRadio (the WAV record radio)");
        if (first.channel)
            Check(hcySetComStereoXmit(recorder, first.device, first.channel, 1),
                  "hcySetComStereoXmit (the WAV record radio)");
        else
            Check(hcySetComRadioXmit(recorder, first.device, 1),
                  "hcySetComRadioXmit (the WAV record radio)");
        for (int device : {player, speaker})
            if (device > 0)
                Check(hcySetComRadioXmit(recorder, device, 1),
                      "hcySetComRadioXmit (the WAV record radio)");
        Check(hcySetRadioData(recorder, RD_WAV_RECORD_FILE,
                              reinterpret_cast<intptr_t>(o.recordFile.c_str())),
              "hcySetRadioData (RD_WAV_RECORD_FILE)");
    }
    return {player, speaker, transcriber, recorder};
}

void PrintListening(const Options& o, const std::vector<Radio>& radios) {
    for (const auto& r : radios) {
        if (o.secondaryPort)
            std::printf("hcyhost: radio %d listening on port %d and secondary port %d\n", r.number,
                        o.port, o.secondaryPort);
        else
            std::printf("hcyhost: radio %d listening on port %d\n", r.number, o.port);
    }
    std::fflush(stdout);
}

}  // namespace hcyhost
