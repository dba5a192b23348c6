// hcyhost: a small simulator host. It drives the library through its
// exports the way a simulator would: radios, each on a sound card of its
// own or two to a split stereo card (a virtual one whose microphone reads a
// WAV file or a tone and whose speaker writes one, or the default devices
// of a real back end for a single card), keyed while the microphone file
// plays, for --key seconds, by a schedule, by a playback device that plays
// a WAV file into radio 1 or by a speech device that speaks a text into it,
// and a report of what each radio heard (radio 1's transmissions also
// transcribed by a speech device, when asked). A WAV record radio beside
// radio 1 can record what radio 1 sends. Or, instead of the radios, one
// interphone station that dials or answers and talks once its call is up.
//
// It says "radio N listening on port P" once it can hear: its radios are
// wired and the library's sockets are bound (the ports are set on the
// library's network thread, after hcySetNetworkPort has returned) and, in a
// federation, their objects are registered; only then it keys. At the end it
// prints when the first sample of each WAV file was captured or played, on
// the machine's monotonic clock, so that two hosts' files can be laid on one
// time line.
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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
#include <utility>
#include <vector>

#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"

namespace {

constexpr const char* kUsage =
    "usage: hcyhost [options]\n"
    "A simulator host on the Halcyra library: radios, or one interphone station, on\n"
    "sound cards, virtual (WAV files) or real.\n"
    "\n"
    "  --exercise N         DIS exercise id, 1 to 255 (default 1)\n"
    "  --port N             primary UDP port (default 3000)\n"
    "  --address A          destination address of the PDUs on both networks: a\n"
    "                       broadcast, multicast or host address (default 127.255.255.255)\n"
    "  --secondary-port N   open the secondary network's socket on UDP port N\n"
    "  --secondary-address A  destination on the secondary network (default: --address)\n"
    "  --ttl N              multicast time-to-live on both networks, 1 to 255 (default 25)\n"
    "  --network NAMES      the networks the radios send and hear on: a comma list of\n"
    "                       primary, secondary, loopback, signal-primary,\n"
    "                       signal-secondary (audio then goes only by the signal-*\n"
    "                       names) and hla; default: the library's\n"
    "  --radios N           radios on this host, 1 to 16 (default 1), each on a virtual\n"
    "                       sound card of its own (or two to a split card); radio i\n"
    "                       (from 1) tunes to --frequency + (i - 1) MHz\n"
    "  --card KIND          the radios' sound cards: plain (default: wave input),\n"
    "                       ds8 (DirectSound 8 capture) or split (a stereo card as two\n"
    "                       microphones: radio 1 on its left half, radio 2 on its\n"
    "                       right, and so on for the further radios; each radio\n"
    "                       speaks from its own channel of the microphone and is\n"
    "                       heard on its own channel of the speaker)\n"
    "  --frequency HZ       receive and transmit frequency [Hz] (default 30000000)\n"
    "  --model NAME         radio model: generic (default), secure (see --crypto),\n"
    "                       sincgars, 1008, raw-dis, intercom (hears exactly its\n"
    "                       frequency, at any distance), arc164, arc186, arc190 or\n"
    "                       scanner (hears every sender of its exercise on any\n"
    "                       frequency; what it hears shows only in its speaker file)\n"
    "  --channel N          model 1008's channel, 1 to 65519: radio i hears and sends on\n"
    "                       channel N + i - 1 (in place of --frequency)\n"
    "  --hear S,A,E,R       the one transmitter a raw-dis radio (listen-only) plays\n"
    "  --crypto SYSTEM,KEY  the radios' crypto system and key, 0 to 65535 each; a\n"
    "                       secure radio plays the prompts of section Secure of\n"
    "                       Tervale.cfg in the working folder (NoCode<SYSTEM>Wav in\n"
    "                       place of audio on another key)\n"
    "  --power W            transmit power [W] (default: the radio's)\n"
    "  --position LAT,LON,ALT  antenna position [deg, deg, m] (default 0,0,0)\n"
    "  --entity S,A,E       DIS site, application and entity; radio i is radio number i\n"
    "                       (default: generated)\n"
    "  --encoding NAME      pcm, mulaw, cvsd, cecom-cvsd or adpcm (default pcm)\n"
    "  --squelch LEVEL      squelch level (default: the radio's)\n"
    "  --sound NAME         sound card: virtual (default), or a real back end such as\n"
    "                       alsa: the system's default microphone and speaker\n"
    "  --transmit FILE      radio 1's virtual microphone reads this 16-bit PCM WAV file;\n"
    "                       the radio is keyed while it plays (on a split card a stereo\n"
    "                       file, left for radio 1 and right for radio 2, both keyed)\n"
    "  --receive FILE       radio 1's virtual speaker writes what it hears to this WAV file\n"
    "                       (on a split card radio 1 left, radio 2 right)\n"
    "  --key S              key radio 1 (on a split card radios 1 and 2) for S seconds\n"
    "                       from the start (speak now)\n"
    "  --play FILE          a playback device plays this WAV file into radio 1 from the\n"
    "                       start, keying it: 16-bit PCM, mu-law, IBM CVSD or ADPCM,\n"
    "                       mono or stereo (left channel); files at twice the library\n"
    "                       rate or more are decimated\n"
    "  --record FILE        a WAV record radio (model 1106) records what radio 1 sends\n"
    "                       (its microphone while keyed, --play's file and --speak's\n"
    "                       text) to this 16-bit PCM WAV file from the start to the\n"
    "                       end of the run\n"
    "  --speak TEXT         a speech device speaks TEXT (UTF-8) into radio 1 from the\n"
    "                       start, keying it while it speaks; the run ends 1 s after\n"
    "                       (unless --seconds)\n"
    "  --voice NAME         the voice that --speak speaks with (default: the engine's)\n"
    "  --transcribe         radio 1 also hears through a speech device, which prints\n"
    "                       each transmission it heard as text: \"radio H transcribed\n"
    "                       \"TEXT\"\" (the speech engines: espeak-ng and pocketsphinx\n"
    "                       when built in, else the stub; HCY_SPEECH_ENGINE=stub for\n"
    "                       the stub); speech files go to the working folder\n"
    "  --schedule R,START,SECONDS[,PERIOD]\n"
    "                       key radio R from START for SECONDS [s], again every PERIOD\n"
    "                       [s]; its virtual microphone hears a tone (may be given again)\n"
    "  --epoch T            Unix time [s] that the start of --transmit, --key, --play,\n"
    "                       schedules, --seconds and reported times count from\n"
    "                       (default: when the host is ready)\n"
    "  --seconds S          how long to run (default: the transmission and 1 s, or 10 s)\n"
    "  --recv-timeout S     drop a silent transmitter after S to 2 S seconds (default 9)\n"
    "  --status             show each radio's status dialog: a window on the display\n"
    "                       (DISPLAY), else text at the top of the terminal, redrawn\n"
    "                       as it changes; typing N and Enter selects transmitter N\n"
    "                       of the list, rN and Enter shows radio N's dialog\n"
    "  --federation NAME    join this HLA federation: rti://127.0.0.1:PORT/NAME through\n"
    "                       hcyrtihub (or thread:///NAME in this process); the radios\n"
    "                       then send and hear on it as well as on the primary network\n"
    "                       (--network hla: on it alone)\n"
    "  --fed-file PATH      the federation's FED file (default: hcyRprFom10.fed beside\n"
    "                       hcyhost, or in ../share/halcyra from it)\n"
    "  --heartbeat S        heartbeat period [s] of radios and stations (default 3)\n"
    "  --help               this text\n"
    "\n"
    "Each radio says what it hears: \"radio H hears N transmitters at T s\", and at the\n"
    "end of each transmission \"radio H heard S.A.E.R from T1 to T2 s, audio peak P\"\n"
    "(H the radio's number, from 1, S.A.E.R the transmitter's site, application, entity and\n"
    "radio number, P its largest audio level).\n"
    "\n"
    "Interphone station, instead of the radios (--exercise, --entity, --network,\n"
    "--encoding but cecom-cvsd, --card but split, --transmit, --receive and --key\n"
    "apply to it):\n"
    "  --station N          be station number N, 1 to 65535\n"
    "  --dial M             go off hook and dial station M at the start\n"
    "  --answer             go off hook when rung\n"
    "  --hang-up S          hang up S seconds after the call is up\n"
    "  --close-device S     close the sound card S seconds after the call is up\n"
    "  --destroy S          destroy the station S seconds after the call is up\n"
    "The station talks (its sound card keyed) from the moment the call is up, for\n"
    "the --transmit file or --key seconds. It prints its call words whenever they\n"
    "change, \"station N dial tone D, caller C, busy B, ringback R at T s\", and\n"
    "\"station N in a call at T s\" once its dial request was answered or it\n"
    "answered its caller.\n";

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

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

std::vector<double> Numbers(const std::string& option, const char* text, std::size_t count,
                            double low, double high) {
    std::vector<double> values;
    for (const auto& part : Split(text)) values.push_back(Number(option, part.c_str(), low, high));
    if (values.size() != count)
        Fail("'" + std::string(text) + "' for " + option + " needs " + std::to_string(count) +
             " values");
    return values;
}

std::uint32_t NetworkFlags(const std::string& text) {
    static constexpr std::pair<const char*, std::uint32_t> kNames[] = {
        {"primary", NET_PRIMARY},
        {"secondary", NET_SECONDARY},
        {"loopback", NET_LOOPBACK},
        {"signal-primary", NET_SIGNAL_PRIMARY},
        {"signal-secondary", NET_SIGNAL_SECONDARY},
        {"hla", NET_HLA},
    };
    std::uint32_t flags = 0;
    for (const auto& name : Split(text)) {
        const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                         [&](const auto& n) { return name == n.first; });
        if (found == std::end(kNames)) Fail("unknown network '" + name + "' in --network");
        flags |= found->second;
    }
    return flags;
}

// Whether the system resolves `name` to an IPv4 address, as the library
// will (a name it cannot resolve leaves the PDUs without a destination).
bool ResolvesToIpv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const bool ok = getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found;
    if (found) freeaddrinfo(found);
    return ok;
}

// The radio models by the names --model takes.
constexpr std::pair<const char*, std::uint16_t> kModels[] = {
    {"generic", RADIO_TYPE_GENERIC},   {"secure", RADIO_TYPE_SECURE},
    {"sincgars", RADIO_TYPE_SINCGARS}, {"1008", RADIO_TYPE_MODEL1008},
    {"raw-dis", RADIO_TYPE_RAW_DIS},   {"intercom", RADIO_TYPE_INTERCOM},
    {"arc164", RADIO_TYPE_ARC164},     {"arc186", RADIO_TYPE_ARC186},
    {"arc190", RADIO_TYPE_ARC190},     {"scanner", RADIO_TYPE_SCANNER},
};

// The options that take a value: a name not among them is unknown, even
// as the last argument.
constexpr const char* kValueOptions[] = {
    "--exercise",  "--port",     "--address",    "--secondary-port", "--secondary-address",
    "--ttl",       "--network",  "--radios",     "--frequency",      "--power",
    "--squelch",   "--epoch",    "--seconds",    "--recv-timeout",   "--key",
    "--heartbeat", "--station",  "--dial",       "--hang-up",        "--close-device",
    "--destroy",   "--sound",    "--federation", "--fed-file",       "--card",
    "--transmit",  "--play",     "--speak",      "--voice",          "--receive",
    "--record",    "--position", "--crypto",     "--entity",         "--schedule",
    "--model",     "--encoding", "--channel",    "--hear",
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (a.rfind("--", 0) != 0) Fail("unexpected argument '" + a + "'");
        if (a == "--status" || a == "--transcribe") {
            (a == "--status" ? o.status : o.transcribe) = true;
            continue;
        }
        if (a == "--answer") {
            o.answer = true;
            continue;
        }
        if (std::none_of(std::begin(kValueOptions), std::end(kValueOptions),
                         [&](const char* name) { return a == name; }))
            Fail("unknown option '" + a + "'");
        if (i + 1 >= argc) Fail("missing value for " + a);
        const char* v = argv[++i];
        if (a == "--exercise")
            o.exercise = static_cast<int>(Number(a, v, 1, 255));
        else if (a == "--port")
            o.port = static_cast<int>(Number(a, v, 1, 65535));
        else if (a == "--address")
            o.address = v;
        else if (a == "--secondary-port")
            o.secondaryPort = static_cast<int>(Number(a, v, 1, 65535));
        else if (a == "--secondary-address")
            o.secondaryAddress = v;
        else if (a == "--ttl")
            o.ttl = static_cast<int>(Number(a, v, 1, 255));
        else if (a == "--network")
            o.network = NetworkFlags(v);
        else if (a == "--radios")
            o.radios = static_cast<int>(Number(a, v, 1, kMaxRadios));
        else if (a == "--frequency")
            o.frequency = Number(a, v, 1, 1e12);
        else if (a == "--power")
            o.power = Number(a, v, 0, 1e9);
        else if (a == "--squelch")
            o.squelch = Number(a, v, 0, 1e6);
        else if (a == "--epoch")
            o.epoch = Number(a, v, 0, 1e11);
        else if (a == "--seconds")
            o.seconds = Number(a, v, 0.1, 86400);
        else if (a == "--recv-timeout")
            o.recvTimeout = Number(a, v, 0.25, 3600);
        else if (a == "--key")
            o.key = Number(a, v, 0.1, 86400);
        else if (a == "--heartbeat")
            o.heartbeat = Number(a, v, 0.25, 3600);
        else if (a == "--channel")
            o.channel = static_cast<int>(Number(a, v, 1, 65535 - kMaxRadios));
        else if (a == "--station")
            o.station = static_cast<int>(Number(a, v, 1, 65535));
        else if (a == "--dial")
            o.dial = static_cast<int>(Number(a, v, 1, 65535));
        else if (a == "--hang-up")
            o.hangUp = Number(a, v, 0, 86400);
        else if (a == "--close-device")
            o.closeDevice = Number(a, v, 0, 86400);
        else if (a == "--destroy")
            o.destroy = Number(a, v, 0, 86400);
        else if (a == "--sound")
            o.sound = v;
        else if (a == "--federation")
            o.federation = v;
        else if (a == "--fed-file")
            o.fedFile = v;
        else if (a == "--card") {
            o.card = v;
            if (o.card != "plain" && o.card != "ds8" && o.card != "split")
                Fail("unknown card '" + o.card + "'");
        } else if (a == "--transmit")
            o.transmitFile = v;
        else if (a == "--play")
            o.playFile = v;
        else if (a == "--speak")
            o.speakText = v;
        else if (a == "--voice")
            o.voice = v;
        else if (a == "--receive")
            o.receiveFile = v;
        else if (a == "--record")
            o.recordFile = v;
        else if (a == "--position") {
            auto p = Numbers(a, v, 3, -1e8, 1e8);
            if (std::fabs(p[0]) > 90 || std::fabs(p[1]) > 180)
                Fail("position out of range: " + std::string(v));
            o.latitude = p[0], o.longitude = p[1], o.altitude = p[2];
        } else if (a == "--crypto") {
            const auto c = Numbers(a, v, 2, 0, 65535);
            if (c[0] != std::trunc(c[0]) || c[1] != std::trunc(c[1]))
                Fail("bad value '" + std::string(v) + "' for --crypto");
            o.crypto = {static_cast<int>(c[0]), static_cast<int>(c[1])};
        } else if (a == "--hear") {
            const auto h = Numbers(a, v, 4, 0, 65535);
            o.hear = {static_cast<int>(h[0]), static_cast<int>(h[1]), static_cast<int>(h[2]),
                      static_cast<int>(h[3])};
        } else if (a == "--entity") {
            auto e = Numbers(a, v, 3, 0, 65535);
            o.site = static_cast<int>(e[0]), o.application = static_cast<int>(e[1]),
            o.entity = static_cast<int>(e[2]);
        } else if (a == "--schedule") {
            const std::size_t count = Split(v).size();
            if (count != 3 && count != 4) Fail("--schedule needs R,START,SECONDS[,PERIOD]");
            const auto s = Numbers(a, v, count, 0, 86400);
            const Schedule k{static_cast<int>(s[0]), s[1], s[2], count == 4 ? s[3] : 0};
            if (k.radio < 1 || k.radio != s[0]) Fail("bad radio in --schedule " + std::string(v));
            if (k.seconds <= 0 || (k.period > 0 && k.period <= k.seconds))
                Fail("--schedule " + std::string(v) +
                     " needs SECONDS > 0 and a PERIOD longer than SECONDS");
            o.schedules.push_back(k);
        } else if (a == "--model") {
            const auto* found =
                std::find_if(std::begin(kModels), std::end(kModels),
                             [&](const auto& m) { return v == std::string(m.first); });
            if (found == std::end(kModels)) Fail("unknown model '" + std::string(v) + "'");
            o.model = found->second;
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
    const int perCard = o.card == "split" ? 2 : 1;
    if (o.sound != "virtual" && (o.radios > perCard || !o.schedules.empty()))
        Fail("more than one card and --schedule need the virtual sound card");
    if (int(bool(o.key)) + int(!o.transmitFile.empty()) + int(!o.playFile.empty()) +
            int(!o.speakText.empty()) >
        1)
        Fail("--key, --transmit, --play and --speak each key the radio: give one");
    if (!o.voice.empty() && o.speakText.empty()) Fail("--voice needs --speak");
    for (const auto& k : o.schedules) {
        if (k.radio > o.radios)
            Fail("--schedule keys radio " + std::to_string(k.radio) + " of " +
                 std::to_string(o.radios));
        if (k.radio <= perCard && (o.key || !o.transmitFile.empty()))
            Fail("--schedule keys radio " + std::to_string(k.radio) +
                 ", which --key or --transmit keys");
        if (k.radio == 1 && (!o.playFile.empty() || !o.speakText.empty()))
            Fail("--schedule keys radio 1, which --play or --speak keys");
    }
    for (const auto& [name, address] :
         {std::pair{"--address", o.address}, {"--secondary-address", o.secondaryAddress}})
        if (!address.empty() && !ResolvesToIpv4(address))
            Fail("cannot resolve " + std::string(name) + " '" + address + "' to an IPv4 address");
    if (!o.secondaryAddress.empty() && o.secondaryPort == 0)
        Fail("--secondary-address needs --secondary-port");
    const bool stationOnly = o.dial || o.answer || o.hangUp || o.closeDevice || o.destroy;
    if (stationOnly && !o.station)
        Fail("--dial, --answer, --hang-up, --close-device and --destroy need --station");
    const bool radiosOnly = o.radios > 1 || !o.schedules.empty() || o.model != RADIO_TYPE_GENERIC ||
                            o.card == "split" || !o.playFile.empty() || o.status ||
                            !o.federation.empty() || !o.recordFile.empty() ||
                            !o.speakText.empty() || o.transcribe || o.crypto;
    if (o.station && radiosOnly)
        Fail(
            "--station stands for the radios: no --radios, --model, --crypto, --schedule, "
            "--play, --record, --speak, --transcribe, --status, --federation or --card split");
    if (o.network && (*o.network & NET_HLA) && o.federation.empty())
        Fail("--network hla needs --federation: the radios would hear and send on nothing");
    if (!o.fedFile.empty() && o.federation.empty()) Fail("--fed-file needs --federation");
    if (o.channel.has_value() != (o.model == RADIO_TYPE_MODEL1008))
        Fail("--model 1008 tunes by --channel, and only it: give both or neither");
    if (o.hear.has_value() != (o.model == RADIO_TYPE_RAW_DIS))
        Fail(
            "--model raw-dis hears the one transmitter --hear names, and only it: give both or "
            "neither");
    if (o.station && o.encoding == ENCODING_CECOM_CVSD)
        Fail("an interphone station has no cecom-cvsd encoding");
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

// Reports each radio's own transmissions as the library announces them on
// the message window: 1 on the air, 0 off the air (repeats are dropped).
void DrainActivity(uintptr_t window, std::vector<Radio>& radios) {
    std::uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    while (hcyplatPeekWindowMessage(window, &message, &wParam, &lParam)) {
        if (message != WM_CLIENT_RADIO_ACTIVITY) continue;
        for (auto& r : radios) {
            if (static_cast<int>(wParam) != r.handle) continue;
            const int now = lParam ? 1 : 0;
            if (now == r.onAir) continue;
            r.onAir = now;
            std::printf("hcyhost: radio %d %s\n", r.number, now ? "on the air" : "off the air");
        }
    }
}

// What radio `r` hears at time `t` [s].
void Listen(Radio& r, double t) {
    std::uint32_t now = 0;
    if (hcyGetRadioData(r.handle, RD_AUDIBLE_COUNT, &now) && now != r.audible) {
        std::printf("hcyhost: radio %d hears %u transmitter%s at %.2f s\n", r.number, now,
                    now == 1 ? "" : "s", t);
        if (now > r.audible) r.heard += static_cast<int>(now - r.audible);
        r.audible = now;
        r.mostAudible = std::max(r.mostAudible, now);
    }
    std::array<std::uint16_t, 4> id{};
    std::optional<std::array<std::uint16_t, 4>> strongest;
    if (hcyGetRadioData(r.handle, RD_STRONGEST_XMIT_ID, id.data())) strongest = id;
    if (strongest != r.strongest) {
        if (r.strongest) {
            const auto& s = *r.strongest;
            std::printf(
                "hcyhost: radio %d heard %u.%u.%u.%u from %.2f to %.2f s, audio peak %.3f\n",
                r.number, s[0], s[1], s[2], s[3], r.strongestSince, t, r.audioPeak);
        }
        r.strongest = strongest;
        r.strongestSince = t;
        r.audioPeak = 0;
    }
    float level = 0;
    if (r.strongest && hcyGetRadioData(r.handle, RD_MAX_AUDIO_LEVEL, &level))
        r.audioPeak = std::max(r.audioPeak, level);
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

// Device data that reads as an int32 (the speech device's flags), 0 when
// refused.
int DeviceFlag(int device, int code) {
    std::int32_t value = 0;
    return hcyGetDeviceData(device, code, reinterpret_cast<intptr_t>(&value)) ? value : 0;
}

// Prints, once, what a transcribing speech device made of the last
// transmission that radio `number` heard; true when it printed.
bool PrintTranscription(int device, int number) {
    if (device <= 0 || !DeviceFlag(device, DEVDATA_SPEECH_RESULT_READY)) return false;
    char text[1024] = "";
    hcyGetDeviceData(device, DEVDATA_SPEECH_RESULT_TEXT, reinterpret_cast<intptr_t>(text));
    std::printf("hcyhost: radio %d transcribed \"%s\"\n", number, text);
    return true;
}

// The status dialog of one radio as the platform draws it in text, redrawn
// when it changes: on a terminal in the top rows, above the log lines,
// which scroll beneath it; one frame after another otherwise. Lines on
// standard input choose: "N" selects row N (from 1; 0: none) of the
// transmitter list, so that PDU Data and Model Results show that
// transmitter, and "rN" shows radio N's dialog.
class StatusScreen {
public:
    explicit StatusScreen(int radios) : m_radios(radios) {
        if (m_terminal) {
            winsize size{};
            if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0)
                m_rows = size.ws_row;
        }
    }
    ~StatusScreen() {
        if (m_frameRows)
            std::printf("\x1b[r\x1b[%d;1H\n", m_rows);  // the whole screen scrolls again
    }

    void Draw() {
        ReadInput();
        const int n = hcyplatGetDialogText(m_shown, nullptr, 0);
        if (n < 0) return;
        std::vector<char> text(static_cast<std::size_t>(n) + 1);
        hcyplatGetDialogText(m_shown, text.data(), n + 1);
        char hint[160];
        std::snprintf(hint, sizeof hint,
                      "radio %d of %d: N Enter selects transmitter N, rN Enter shows radio N\n",
                      m_shown + 1, m_radios);
        const std::string frame = std::string(text.data()) + hint;
        if (frame == m_last) return;
        m_last = frame;
        const int lines = static_cast<int>(std::count(frame.begin(), frame.end(), '\n'));
        if (!m_terminal || lines + 3 > m_rows) {
            std::fputs(frame.c_str(), stdout);
        } else {
            if (lines != m_frameRows) {
                // Clear, keep the top rows for the frame, log lines below.
                m_frameRows = lines;
                std::printf("\x1b[2J\x1b[%d;%dr\x1b[%d;1H", lines + 1, m_rows, m_rows);
            }
            std::fputs(
                "\x1b"
                "7\x1b[H",
                stdout);  // save the cursor, go home
            for (std::size_t at = 0; at < frame.size();) {
                const std::size_t end = frame.find('\n', at);
                std::printf("%s\x1b[K\n", frame.substr(at, end - at).c_str());
                at = end + 1;
            }
            std::fputs(
                "\x1b"
                "8",
                stdout);  // back to the log lines
        }
        std::fflush(stdout);
    }

private:
    // Standard output is a terminal when it is one of the system's tty devices.
    static bool OutputIsTerminal() {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink("/proc/self/fd/1", ec).string();
        return !ec && (target.rfind("/dev/pts/", 0) == 0 || target.rfind("/dev/tty", 0) == 0);
    }

    void ReadInput() {
        // Read only what is there: a terminal hands over whole lines.
        pollfd in{STDIN_FILENO, POLLIN, 0};
        while (m_input && poll(&in, 1, 0) == 1) {
            char buffer[256];
            const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) m_input = false;
            if (got > 0) m_typed.append(buffer, static_cast<std::size_t>(got));
        }
        for (std::size_t end; (end = m_typed.find('\n')) != std::string::npos;) {
            const std::string line = m_typed.substr(0, end);
            m_typed.erase(0, end + 1);
            char* rest = nullptr;
            const bool radio = !line.empty() && line[0] == 'r';
            const long n = std::strtol(line.c_str() + (radio ? 1 : 0), &rest, 10);
            if (rest == line.c_str() + (radio ? 1 : 0) || *rest != '\0') continue;
            if (radio && n >= 1 && n <= m_radios)
                m_shown = static_cast<int>(n) - 1;
            else if (!radio)
                hcyplatChooseDialogRow(m_shown, static_cast<int>(n) - 1);
        }
    }

    const int m_radios;
    const bool m_terminal = OutputIsTerminal();
    int m_rows = 24;      // of the terminal
    int m_frameRows = 0;  // kept for the frame at the top (0: none yet)
    bool m_input = true;  // standard input not yet at its end
    int m_shown = 0;      // the dialog shown: radio m_shown + 1's
    std::string m_typed;  // input up to its next line end
    std::string m_last;
};

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

// An interphone station on the sound card: dials or answers as told, talks
// once the call is up and reports its call words. The host sees only the
// four words, so "in a call" is read from them: after a dial, ringback (or
// busy) that clears with the station still off hook; after answering, the
// caller word that clears.
int RunStation(const Options& o, int device, const hcyplat_guid& microphone, double talkSeconds,
               double runSeconds) {
    const int station = hcyCreateInterphone(*o.station, static_cast<std::uint16_t>(o.site),
                                            static_cast<std::uint16_t>(o.application),
                                            static_cast<std::uint16_t>(o.entity), 0);
    Check(station > 0, "hcyCreateInterphone");
    Check(hcySetExerciseID(station, static_cast<std::uint32_t>(o.exercise)), "hcySetExerciseID");
    Check(hcySetEncoding(station, o.encoding), "hcySetEncoding");
    if (o.network) Check(hcySetNetwork(station, *o.network), "hcySetNetwork");
    // A new station is silent: it plays its callers at full volume here.
    Check(hcySetMasterVolume(station, 1.0f), "hcySetMasterVolume");
    Check(hcySetComRadioRecv(station, device, 0, 1), "hcySetComRadioRecv");
    Check(hcySetComRadioXmit(station, device, 1), "hcySetComRadioXmit");
    std::printf("hcyhost: station %d (handle %d), exercise %d, port %d\n", *o.station, station,
                o.exercise, o.port);
    std::printf("hcyhost: station %d listening on port %d\n", *o.station, o.port);
    std::fflush(stdout);

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto end = start + std::chrono::duration<double>(runSeconds);
    auto seconds = [&](clock::time_point t) {
        return std::chrono::duration<double>(t - start).count();
    };
    bool onHook = true, dialed = false, answered = false, awaited = false, inCall = false;
    bool keyed = false, alive = true;
    int calls = 0;
    clock::time_point callUp;
    if (o.dial) {
        Check(hcyInterphoneSetHook(station, 0), "hcyInterphoneSetHook");
        Check(hcyInterphoneDial(station, *o.dial), "hcyInterphoneDial");
        onHook = false;
        dialed = true;
        std::printf("hcyhost: station %d dials %d\n", *o.station, *o.dial);
    }
    std::uint32_t words[4] = {0, 0, 0, 0};
    bool first = true;
    for (auto now = clock::now(); now < end; now = clock::now()) {
        if (alive) {
            std::uint32_t w[4] = {0, 0, 0, 0};
            for (int i = 0; i < 4; ++i) hcyGetRadioData(station, ICS_DATA_DIAL_TONE + i, &w[i]);
            if (first || !std::equal(w, w + 4, words)) {
                std::printf(
                    "hcyhost: station %d dial tone %u, caller %u, busy %u, ringback %u at "
                    "%.2f s\n",
                    *o.station, w[0], w[1], w[2], w[3], seconds(now));
                std::copy(w, w + 4, words);
                first = false;
            }
            const bool quiet = !w[0] && !w[1] && !w[2] && !w[3];
            if (o.answer && onHook && w[1]) {
                Check(hcyInterphoneSetHook(station, 0), "hcyInterphoneSetHook");
                onHook = false;
                answered = true;
                std::printf("hcyhost: station %d answers %u\n", *o.station, w[1]);
            }
            if ((dialed && (w[2] || w[3])) || (answered && w[1])) awaited = true;
            if (!inCall && !onHook && awaited && quiet) {
                inCall = true;
                awaited = false;
                ++calls;
                callUp = now;
                std::printf("hcyhost: station %d in a call at %.2f s\n", *o.station, seconds(now));
                if (talkSeconds > 0 && device) {
                    if (!o.transmitFile.empty() &&
                        !hcyplatSetInputWavFile(&microphone, o.transmitFile.c_str(), 0)) {
                        std::fprintf(stderr, "hcyhost: cannot play '%s'\n", o.transmitFile.c_str());
                        return 1;
                    }
                    Check(hcySetRadioPTT(device, 1, 0), "hcySetRadioPTT");
                    keyed = true;
                }
            }
            if (inCall && w[0]) {
                inCall = false;
                std::printf("hcyhost: station %d call ended at %.2f s\n", *o.station, seconds(now));
            }
        }
        const double into = inCall || calls ? seconds(now) - seconds(callUp) : -1;
        if (keyed && into >= talkSeconds + (o.transmitFile.empty() ? 0 : 0.2)) {
            if (device) hcySetRadioPTT(device, 0, 0);
            keyed = false;
            std::printf("hcyhost: station %d sent %.2f s of audio\n", *o.station, talkSeconds);
        }
        if (alive && inCall && o.hangUp && into >= *o.hangUp) {
            Check(hcyInterphoneSetHook(station, 1), "hcyInterphoneSetHook");
            onHook = true;
            inCall = false;
            std::printf("hcyhost: station %d hangs up at %.2f s\n", *o.station, seconds(now));
        }
        if (device && calls && o.closeDevice && into >= *o.closeDevice) {
            Check(hcyCloseAudioDevice(device), "hcyCloseAudioDevice");
            device = 0;
            keyed = false;
            std::printf("hcyhost: station %d closed its sound card at %.2f s\n", *o.station,
                        seconds(now));
        }
        if (alive && calls && o.destroy && into >= *o.destroy) {
            Check(hcyDestroyInterphone(station), "hcyDestroyInterphone");
            alive = false;
            std::printf("hcyhost: station %d destroyed at %.2f s\n", *o.station, seconds(now));
        }
        PrintPlatformReports();
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (keyed && device) hcySetRadioPTT(device, 0, 0);
    if (device) hcyCloseAudioDevice(device);
    std::printf("hcyhost: station %d made %d call%s, ended %s\n", *o.station, calls,
                calls == 1 ? "" : "s",
                !alive   ? "destroyed"
                : onHook ? "on hook"
                         : "off hook");
    return 0;
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

    // The sound cards: a virtual speaker and microphone of our own for each
    // radio (each pair of radios on a split card), or the default devices of
    // a real back end. The right half's radio shares its card with the left.
    const bool virtualCard = o.sound == "virtual";
    const bool split = o.card == "split";
    std::vector<Radio> radios(static_cast<std::size_t>(o.radios));
    Radio& first = radios.front();
    if (virtualCard) {
        for (std::size_t i = 0; i < radios.size(); ++i) {
            Radio& r = radios[i];
            if (split && i % 2 == 1) continue;
            if (hcyplatCreateOutputEndpoint("hcyhost speaker", 16000, 2, &r.speaker) < 0 ||
                hcyplatCreateInputEndpoint("hcyhost microphone", &r.microphone, &r.waveIn) < 0) {
                std::fprintf(stderr, "hcyhost: cannot create the virtual sound card\n");
                return 1;
            }
            hcyplatSetOutputNull(&r.speaker);
        }
        if (!o.receiveFile.empty() &&
            !hcyplatSetOutputWavFile(&first.speaker, o.receiveFile.c_str())) {
            std::fprintf(stderr, "hcyhost: cannot write '%s'\n", o.receiveFile.c_str());
            return 1;
        }
    } else if (!hcyplatUseSoundBackend(o.sound.c_str())) {
        std::fprintf(stderr, "hcyhost: the sound back end '%s' is not there or finds no device\n",
                     o.sound.c_str());
        return 1;
    }

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
        const std::string fedFile = o.fedFile.empty() ? DefaultFedFile(argv[0]) : o.fedFile;
        Check(hcyHLAInitEx(1, 1, o.federation.c_str(), 1,
                           fedFile.empty() ? nullptr : fedFile.c_str(), 10),
              "hcyHLAInitEx");
        std::printf("hcyhost: joined federation %s\n", o.federation.c_str());
        if (!network) network = NET_PRIMARY | NET_HLA;
    }

    if (o.station) {
        first.device = OpenCard(o.card, first, virtualCard);
        Check(first.device > 0, "opening the sound card");
        const int rc =
            RunStation(o, first.device, first.microphone, keySeconds, o.seconds ? *o.seconds : 10);
        hcyExit();
        hcyplatDestroyWindow(window);
        return rc;
    }

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
            std::printf("hcyhost: speaker %s, microphone %s\n", out, in);
            // ALSA's null device stands in where the system has no card.
            if (std::strstr(out, "[null]")) {
                std::fprintf(stderr,
                             "hcyhost: the default sound device of '%s' is the null device, "
                             "which plays nothing and hears silence: no sound card here, or "
                             "none chosen (ALSA_CARD, ~/.asoundrc)\n",
                             o.sound.c_str());
                hcyExit();
                return 1;
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
    for (const auto& r : radios) {
        if (o.secondaryPort)
            std::printf("hcyhost: radio %d listening on port %d and secondary port %d\n", r.number,
                        o.port, o.secondaryPort);
        else
            std::printf("hcyhost: radio %d listening on port %d\n", r.number, o.port);
    }
    std::fflush(stdout);

    // The time line: seconds since --epoch, or since now.
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    if (o.epoch) {
        const double late =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count() -
            *o.epoch;
        start -= std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(late));
    }
    auto seconds = [&] { return std::chrono::duration<double>(clock::now() - start).count(); };
    if (seconds() < -1)
        std::printf("hcyhost: waiting %.1f s for the --epoch %.3f to come\n", -seconds(), *o.epoch);

    // --key and --transmit key radio 1 (and its partner on a split card)
    // from the time line's start, --play radio 1 alone.
    const bool keyFirst = o.key || !o.transmitFile.empty() || player > 0 || speaker > 0;
    const std::size_t firstKeyed =
        keyFirst ? std::min<std::size_t>(split && player < 0 ? 2 : 1, radios.size()) : 0;
    while (keyFirst && seconds() < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (recorder > 0) {
        std::int32_t create = 0;
        std::uint32_t recording = 0;
        hcySetRadioData(recorder, RD_WAV_RECORD_START, reinterpret_cast<intptr_t>(&create));
        hcyGetRadioData(recorder, RD_WAV_RECORDING, &recording);
        Check(recording == 1, "recording to --record's file");
    }
    // The microphone is read only while capturing: the file's first sample
    // is the first one captured after keying.
    if (!o.transmitFile.empty() &&
        !hcyplatSetInputWavFile(&first.microphone, o.transmitFile.c_str(), 0)) {
        std::fprintf(stderr, "hcyhost: cannot play '%s'\n", o.transmitFile.c_str());
        hcyExit();
        return 1;
    }
    // The playback device keys its radio while the file plays and unkeys it
    // at the end of the file.
    if (player > 0)
        Check(hcyStartPlayback(player, reinterpret_cast<intptr_t>(o.playFile.c_str()), 0),
              "hcyStartPlayback");
    // The speech device speaks the text into its file first (the call
    // returns then), then keys the radio while it plays the file out.
    bool speaking = false;
    if (speaker > 0) {
        Check(hcyPostDataDevice(speaker, reinterpret_cast<intptr_t>(o.speakText.c_str()),
                                static_cast<int>(o.speakText.size() + 1)),
              "hcyPostDataDevice");
        if (DeviceFlag(speaker, DEVDATA_VOICE_NOT_FOUND))
            std::printf("hcyhost: no voice '%s': the default voice speaks\n", o.voice.c_str());
        if (DeviceFlag(speaker, DEVDATA_SPEAK_FAILED))
            std::printf("hcyhost: the speech device could not speak the text\n");
        speaking = DeviceFlag(speaker, DEVDATA_KEYED) != 0;
        if (speaking) std::printf("hcyhost: radio %d speaking\n", first.number);
        if (!speaking && !o.seconds) runSeconds = seconds() + 1;
    }
    for (std::size_t i = 0; i < firstKeyed && speaker < 0; ++i) {
        if (player < 0)
            Check(hcySetRadioPTT(radios[i].device, 1, radios[i].channel), "hcySetRadioPTT");
        radios[i].keyed = true;
        radios[i].keyedAt = seconds();
    }
    const double firstKeyEnd = first.keyedAt + keySeconds + (o.key ? 0 : 0.2);
    auto unkey = [&](Radio& r, double t) {
        hcySetRadioPTT(r.device, 0, r.channel);
        r.keyed = false;
        if (static_cast<std::size_t>(&r - radios.data()) < firstKeyed)
            std::printf("hcyhost: radio %d sent %.2f s of audio\n", r.number, keySeconds);
        else
            std::printf("hcyhost: radio %d keyed from %.2f to %.2f s\n", r.number, r.keyedAt, t);
    };
    std::optional<StatusScreen> status;
    if (statusText) status.emplace(o.radios);
    int transcriptions = 0;
    for (double t = seconds(); t < runSeconds; t = seconds()) {
        if (speaking && !DeviceFlag(speaker, DEVDATA_KEYED)) {
            speaking = false;
            std::printf("hcyhost: radio %d spoke until %.2f s\n", first.number, t);
            if (!o.seconds) runSeconds = t + 1;
        }
        transcriptions += PrintTranscription(transcriber, first.number);
        for (std::size_t i = 0; i < radios.size(); ++i) {
            Radio& r = radios[i];
            if (i < firstKeyed) {
                if (r.keyed && t >= firstKeyEnd) unkey(r, t);
                continue;
            }
            const bool due =
                std::any_of(o.schedules.begin(), o.schedules.end(), [&](const Schedule& k) {
                    return k.radio == static_cast<int>(i) + 1 && k.Keyed(t);
                });
            if (due && !r.keyed) {
                Check(hcySetRadioPTT(r.device, 1, r.channel), "hcySetRadioPTT");
                r.keyed = true;
                r.keyedAt = t;
            } else if (!due && r.keyed) {
                unkey(r, t);
            }
        }
        DrainActivity(window, radios);
        for (auto& r : radios) Listen(r, t);
        if (status) status->Draw();
        PrintPlatformReports();
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double end = seconds();
    for (auto& r : radios)
        if (r.keyed) unkey(r, end);
    DrainActivity(window, radios);
    for (auto& r : radios) Listen(r, end);
    double firstSample = 0;
    if (!o.transmitFile.empty() && hcyplatGetStreamStart(&first.microphone, &firstSample))
        std::printf("hcyhost: microphone file started at %.6f s\n", firstSample);
    if (!o.receiveFile.empty() && hcyplatGetStreamStart(&first.speaker, &firstSample))
        std::printf("hcyhost: speaker file started at %.6f s\n", firstSample);

    // The recogniser works on after a transmission has ended: a heard one
    // whose text has not come yet is waited for, at most 30 s.
    const auto transcribed = clock::now() + std::chrono::seconds(30);
    while (!PrintTranscription(transcriber, first.number) && transcriber > 0 &&
           first.heard > transcriptions && clock::now() < transcribed)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (recorder > 0) {
        std::uint32_t ms = 0;
        hcySetRadioData(recorder, RD_WAV_RECORD_STOP, 0);
        hcyGetRadioData(recorder, RD_WAV_RECORD_LENGTH, &ms);
        std::printf("hcyhost: recorded %.2f s to %s\n", ms / 1000.0, o.recordFile.c_str());
    }
    if (player > 0) hcyClosePlaybackDevice(player);
    for (int device : {speaker, transcriber})
        if (device > 0) hcyCloseDataDevice(device);
    for (std::size_t i = 0; i < radios.size(); ++i) {
        if (split && i % 2 == 1) continue;  // the left half's radio closes the card
        if (split)
            hcyCloseSplitDevice(radios[i].device);
        else
            hcyCloseAudioDevice(radios[i].device);
    }
    hcyExit();
    hcyplatDestroyWindow(window);
    PrintPlatformReports();
    for (auto& r : radios) {
        // A transmission still heard at the end is reported as heard so far.
        if (r.strongest) {
            const auto& s = *r.strongest;
            std::printf(
                "hcyhost: radio %d heard %u.%u.%u.%u from %.2f to %.2f s, audio peak %.3f\n",
                r.number, s[0], s[1], s[2], s[3], r.strongestSince, end, r.audioPeak);
        }
        std::printf("hcyhost: radio %d heard %d transmission%s, at most %u at once\n", r.number,
                    r.heard, r.heard == 1 ? "" : "s", r.mostAudible);
    }
    return 0;
}
