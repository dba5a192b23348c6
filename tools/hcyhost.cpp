// hcyhost: a small simulator host. It drives the library through its
// exports the way a simulator would: a sound card (a virtual one whose
// microphone reads a WAV file and whose speaker writes one, or the default
// devices of a real back end), one radio wired to it, keyed while the
// microphone file plays (or for --key seconds), and a report of what it
// heard.
//
// It says "radio N listening on port P" once it can hear: its radio is
// wired and the library's socket is bound (the port is set on the
// library's network thread, after hcySetNetworkPort has returned), and
// only then keys. At the end it prints when the first sample of each WAV
// file was captured or played, on the machine's monotonic clock, so that
// two hosts' files can be laid on one time line.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"

namespace {

constexpr const char* kUsage =
    "usage: hcyhost [options]\n"
    "A simulator host on the Halcyra library: one radio on a sound card, virtual\n"
    "(WAV files) or real.\n"
    "\n"
    "  --exercise N         DIS exercise id, 1 to 255 (default 1)\n"
    "  --port N             primary UDP port (default 3000)\n"
    "  --address A          destination address of the PDUs (default 127.255.255.255)\n"
    "  --frequency HZ       receive and transmit frequency [Hz] (default 30000000)\n"
    "  --power W            transmit power [W] (default: the radio's)\n"
    "  --position LAT,LON,ALT  antenna position [deg, deg, m] (default 0,0,0)\n"
    "  --entity S,A,E       DIS site, application and entity (default: generated)\n"
    "  --encoding NAME      pcm, mulaw, cvsd, cecom-cvsd or adpcm (default pcm)\n"
    "  --squelch LEVEL      squelch level (default: the radio's)\n"
    "  --sound NAME         sound card: virtual (default), or a real back end such as\n"
    "                       alsa: the system's default microphone and speaker\n"
    "  --transmit FILE      virtual microphone reads this 16-bit PCM WAV file; the\n"
    "                       radio is keyed while it plays\n"
    "  --receive FILE       virtual speaker writes what the radio hears to this WAV file\n"
    "  --key S              key the radio for S seconds from the start (speak now)\n"
    "  --seconds S          how long to run (default: the transmission and 1 s, or 10 s)\n"
    "  --recv-timeout S     drop a silent transmitter after S to 2 S seconds (default 9)\n"
    "  --help               this text\n";

struct Options {
    int exercise = 1;
    int port = 3000;
    std::string address = "127.255.255.255";
    double frequency = 30e6;
    std::optional<double> power;
    double latitude = 0, longitude = 0, altitude = 0;
    int site = 0, application = 0, entity = 0;
    int encoding = ENCODING_PCM16;
    std::optional<double> squelch;
    std::string sound = "virtual";
    std::string transmitFile;
    std::string receiveFile;
    std::optional<double> key;
    std::optional<double> seconds;
    std::optional<double> recvTimeout;
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "hcyhost: %s\n%s", message.c_str(), "Try 'hcyhost --help'.\n");
    std::exit(2);
}

double Number(const std::string& option, const char* text, double low, double high) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < low || v > high)
        Fail("bad value '" + std::string(text) + "' for " + option);
    return v;
}

std::vector<double> Numbers(const std::string& option, const char* text, std::size_t count,
                            double low, double high) {
    std::vector<double> values;
    std::string s = text;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = s.find(',', start);
        values.push_back(Number(option, s.substr(start, comma - start).c_str(), low, high));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (values.size() != count)
        Fail("'" + s + "' for " + option + " needs " + std::to_string(count) + " values");
    return values;
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (a.rfind("--", 0) != 0) Fail("unexpected argument '" + a + "'");
        if (i + 1 >= argc) Fail("missing value for " + a);
        const char* v = argv[++i];
        if (a == "--exercise")
            o.exercise = static_cast<int>(Number(a, v, 1, 255));
        else if (a == "--port")
            o.port = static_cast<int>(Number(a, v, 1, 65535));
        else if (a == "--address")
            o.address = v;
        else if (a == "--frequency")
            o.frequency = Number(a, v, 1, 1e12);
        else if (a == "--power")
            o.power = Number(a, v, 0, 1e9);
        else if (a == "--squelch")
            o.squelch = Number(a, v, 0, 1e6);
        else if (a == "--seconds")
            o.seconds = Number(a, v, 0.1, 86400);
        else if (a == "--recv-timeout")
            o.recvTimeout = Number(a, v, 0.25, 3600);
        else if (a == "--key")
            o.key = Number(a, v, 0.1, 86400);
        else if (a == "--sound")
            o.sound = v;
        else if (a == "--transmit")
            o.transmitFile = v;
        else if (a == "--receive")
            o.receiveFile = v;
        else if (a == "--position") {
            auto p = Numbers(a, v, 3, -1e8, 1e8);
            if (std::fabs(p[0]) > 90 || std::fabs(p[1]) > 180)
                Fail("position out of range: " + std::string(v));
            o.latitude = p[0], o.longitude = p[1], o.altitude = p[2];
        } else if (a == "--entity") {
            auto e = Numbers(a, v, 3, 0, 65535);
            o.site = static_cast<int>(e[0]), o.application = static_cast<int>(e[1]),
            o.entity = static_cast<int>(e[2]);
        } else if (a == "--encoding") {
            const std::string n = v;
            if (n == "pcm")
                o.encoding = ENCODING_PCM16;
            else if (n == "mulaw")
                o.encoding = ENCODING_MULAW;
            else if (n == "cvsd")
                o.encoding = ENCODING_CVSD;
            else if (n == "cecom-cvsd")
                o.encoding = ENCODING_CECOM_CVSD;
            else if (n == "adpcm")
                o.encoding = ENCODING_ADPCM;
            else
                Fail("unknown encoding '" + n + "'");
        } else {
            Fail("unknown option '" + a + "'");
        }
    }
    if (o.sound != "virtual" && (!o.transmitFile.empty() || !o.receiveFile.empty()))
        Fail("--transmit and --receive need the virtual sound card");
    if (o.key && !o.transmitFile.empty()) Fail("--key and --transmit both key the radio");
    return o;
}

// Seconds of audio in a 16-bit PCM WAV file, or a negative value when the
// file is not one.
double WavSeconds(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return -1;
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)),
                                 std::istreambuf_iterator<char>());
    auto u32 = [&](std::size_t at) {
        return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) |
               (static_cast<std::uint32_t>(d[at + 3]) << 24);
    };
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) || std::memcmp(&d[8], "WAVE", 4))
        return -1;
    std::uint32_t byteRate = 0;
    for (std::size_t at = 12; at + 8 <= d.size();) {
        const std::uint32_t size = u32(at + 4);
        if (!std::memcmp(&d[at], "fmt ", 4) && at + 8 + 16 <= d.size()) byteRate = u32(at + 16);
        if (!std::memcmp(&d[at], "data", 4)) {
            const std::size_t avail = std::min<std::size_t>(size, d.size() - at - 8);
            return byteRate ? static_cast<double>(avail) / byteRate : -1;
        }
        at += 8 + size + (size & 1);
    }
    return -1;
}

void Check(int ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "hcyhost: %s failed: %s\n", what, hcyGetLastError());
        hcyExit();
        std::exit(1);
    }
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

// Reports the radio's own transmissions as the library announces them on
// the message window: 1 on the air, 0 off the air (repeats are dropped).
void DrainActivity(uintptr_t window, int radio, int& onAir) {
    std::uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    while (hcyplatPeekWindowMessage(window, &message, &wParam, &lParam)) {
        if (message != WM_CLIENT_RADIO_ACTIVITY || static_cast<int>(wParam) != radio) continue;
        const int now = lParam ? 1 : 0;
        if (now == onAir) continue;
        onAir = now;
        std::printf("hcyhost: radio %d %s\n", radio, now ? "on the air" : "off the air");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    double transmitSeconds = 0;
    if (!o.transmitFile.empty()) {
        transmitSeconds = WavSeconds(o.transmitFile);
        if (transmitSeconds < 0)
            Fail("cannot read '" + o.transmitFile + "' as a 16-bit PCM WAV file");
    }
    const double keySeconds = o.key ? *o.key : transmitSeconds;
    const double runSeconds = o.seconds ? *o.seconds : (keySeconds > 0 ? keySeconds + 1 : 10);

    // The sound card: a virtual speaker and microphone of our own, or the
    // default devices of a real back end.
    const bool virtualCard = o.sound == "virtual";
    hcyplat_guid speaker{}, microphone{};
    std::uint32_t waveIn = 0xFFFFFFFFu;  // the default input
    if (virtualCard) {
        if (hcyplatCreateOutputEndpoint("hcyhost speaker", 16000, 2, &speaker) < 0 ||
            hcyplatCreateInputEndpoint("hcyhost microphone", &microphone, &waveIn) < 0) {
            std::fprintf(stderr, "hcyhost: cannot create the virtual sound card\n");
            return 1;
        }
        if (!o.receiveFile.empty() && !hcyplatSetOutputWavFile(&speaker, o.receiveFile.c_str())) {
            std::fprintf(stderr, "hcyhost: cannot write '%s'\n", o.receiveFile.c_str());
            return 1;
        }
        if (o.receiveFile.empty()) hcyplatSetOutputNull(&speaker);
    } else if (!hcyplatUseSoundBackend(o.sound.c_str())) {
        std::fprintf(stderr, "hcyhost: the sound back end '%s' is not there or finds no device\n",
                     o.sound.c_str());
        return 1;
    }

    const uintptr_t window = hcyplatCreateWindow();
    Check(hcyInit(window, o.address.c_str()), "hcyInit");
    if (o.recvTimeout) hcySetRecvTimeout(static_cast<float>(*o.recvTimeout));
    const std::set<std::string> initialSockets = UdpSocketsOn(o.port);
    Check(hcySetNetworkPort(static_cast<std::uint32_t>(o.port)), "hcySetNetworkPort");
    if (!NewUdpSocketOn(o.port, initialSockets)) {
        std::fprintf(stderr, "hcyhost: the library's socket on port %d did not open: %s\n", o.port,
                     hcyGetLastError());
        hcyExit();
        return 1;
    }

    HCYGUID output;
    std::memcpy(&output, &speaker, sizeof output);
    const int device = hcyOpenAudioDeviceSimple(waveIn, virtualCard ? &output : nullptr);
    Check(device > 0, "hcyOpenAudioDeviceSimple");
    if (!virtualCard) {
        // The first device of each list is the default one, which it opened.
        char out[128] = "", in[128] = "";
        HCYGUID g;
        std::uint32_t id = 0;
        hcyGetOutputDevices(1, out, sizeof out - 1, &g);
        hcyGetInputDevices(1, in, sizeof in - 1, &id);
        std::printf("hcyhost: speaker %s, microphone %s\n", out, in);
    }

    const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, static_cast<std::uint16_t>(o.site),
                                        static_cast<std::uint16_t>(o.application),
                                        static_cast<std::uint16_t>(o.entity), 0);
    Check(radio > 0, "hcyCreateComRadio");
    Check(hcySetExerciseID(radio, static_cast<std::uint32_t>(o.exercise)), "hcySetExerciseID");
    Check(hcySetRadioFrequency(radio, o.frequency, o.frequency), "hcySetRadioFrequency");
    Check(hcySetEncoding(radio, o.encoding), "hcySetEncoding");
    Check(hcySetAntWorldPosn(radio, o.latitude, o.longitude, o.altitude), "hcySetAntWorldPosn");
    if (o.power) Check(hcySetRadioXmitPower(radio, *o.power), "hcySetRadioXmitPower");
    if (o.squelch)
        Check(hcySetSquelchLevel(radio, static_cast<float>(*o.squelch)), "hcySetSquelchLevel");
    Check(hcySetComRadioRecv(radio, device, 0, 1), "hcySetComRadioRecv");
    Check(hcySetComRadioXmit(radio, device, 1), "hcySetComRadioXmit");

    std::printf("hcyhost: radio %d on %.0f Hz, exercise %d, port %d%s%s\n", radio, o.frequency,
                o.exercise, o.port, o.transmitFile.empty() ? "" : ", transmitting ",
                o.transmitFile.c_str());
    std::printf("hcyhost: radio %d listening on port %d\n", radio, o.port);
    std::fflush(stdout);

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto end = start + std::chrono::duration<double>(runSeconds);
    const auto keyEnd = start + std::chrono::duration<double>(keySeconds + (o.key ? 0 : 0.2));
    bool keyed = false;
    if (o.key) {
        Check(hcySetRadioPTT(device, 1, 0), "hcySetRadioPTT");
        keyed = true;
    } else if (!o.transmitFile.empty()) {
        // The microphone is read only while capturing: the file's first
        // sample is the first one captured after keying.
        if (!hcyplatSetInputWavFile(&microphone, o.transmitFile.c_str(), 0)) {
            std::fprintf(stderr, "hcyhost: cannot play '%s'\n", o.transmitFile.c_str());
            hcyExit();
            return 1;
        }
        Check(hcySetRadioPTT(device, 1, 0), "hcySetRadioPTT");
        keyed = true;
    }
    // What the radio hears: the number of transmitters it receives at once.
    int heard = 0;
    int onAir = 0;
    std::uint32_t audible = 0, mostAudible = 0;
    auto poll = [&] {
        DrainActivity(window, radio, onAir);
        std::uint32_t now = 0;
        if (!hcyGetRadioData(radio, RD_AUDIBLE_COUNT, &now) || now == audible) return;
        const double t = std::chrono::duration<double>(clock::now() - start).count();
        std::printf("hcyhost: radio %d hears %u transmitter%s at %.2f s\n", radio, now,
                    now == 1 ? "" : "s", t);
        if (now > audible) heard += static_cast<int>(now - audible);
        audible = now;
        mostAudible = std::max(mostAudible, now);
    };
    while (clock::now() < end) {
        if (keyed && clock::now() >= keyEnd) {
            hcySetRadioPTT(device, 0, 0);
            keyed = false;
            std::printf("hcyhost: radio %d sent %.2f s\n", radio, keySeconds);
        }
        poll();
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (keyed) hcySetRadioPTT(device, 0, 0);
    poll();
    double first = 0;
    if (!o.transmitFile.empty() && hcyplatGetStreamStart(&microphone, &first))
        std::printf("hcyhost: microphone file started at %.6f s\n", first);
    if (!o.receiveFile.empty() && hcyplatGetStreamStart(&speaker, &first))
        std::printf("hcyhost: speaker file started at %.6f s\n", first);

    hcyCloseAudioDevice(device);
    hcyExit();
    hcyplatDestroyWindow(window);
    std::printf("hcyhost: radio %d heard %d transmission%s, at most %u at once\n", radio, heard,
                heard == 1 ? "" : "s", mostAudible);
    return 0;
}
