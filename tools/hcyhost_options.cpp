// hcyhost's command line: the help text, each option read and checked, and
// the checks of the options as a whole.
#include <netdb.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hcyhost.h"

namespace hcyhost {
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
    "  --channel N          model 1008's channel, 1 to 65519: radio i hears and sends\n"
    "                       on channel N + i - 1 (in place of --frequency)\n"
    "  --hear S,A,E,R       the one transmitter a raw-dis radio (listen-only) plays\n"
    "  --crypto SYSTEM,KEY  the radios' crypto system and key, 0 to 65535 each; a\n"
    "                       secure radio plays the prompts of section Secure of\n"
    "                       Tervale.cfg in the working folder (NoCode<SYSTEM>Wav in\n"
    "                       place of audio on another key)\n"
    "  --power DBM          transmit power [dBm] (default: the radio's, 19.68)\n"
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
    "                       the RTI's server on that port (hcyrtihub, or a real RTI's\n"
    "                       rtinode), a plain NAME through the local server on its\n"
    "                       default port, thread:///NAME in this process; the radios\n"
    "                       then send and hear on it as well as on the primary network\n"
    "                       (--network hla: on it alone)\n"
    "  --fed-file PATH      the federation's FED file (default: hcyRprFom10.fed beside\n"
    "                       hcyhost, or in ../share/halcyra from it)\n"
    "  --heartbeat S        heartbeat period [s] of radios and stations (default 3)\n"
    "  --help               this text\n"
    "\n"
    "Each radio says what it hears: \"radio H hears N transmitters at T s\", and at the\n"
    "end of each transmission \"radio H heard S.A.E.R from T1 to T2 s, audio peak P\"\n"
    "(H the radio's number, from 1; S.A.E.R the transmitter's site, application,\n"
    "entity and radio number; P its largest audio level).\n"
    "\n"
    "Interphone station, instead of the radios (--exercise, --entity, --network,\n"
    "--encoding but cecom-cvsd, --card but split, --transmit, --receive and --key\n"
    "apply to it):\n"
    "  --station N          be station number N, 1 to 65535\n"
    "  --dial M             go off hook and dial station M at the start\n"
    "  --answer             go off hook when rung\n"
    "  --hang-up S          hang up S seconds after the call is up\n"
    "  --close-device S     close the sound card S seconds after the call is up\n"
    "  --pause AT,S         the talk pauses for S seconds AT seconds in: the host\n"
    "                       posts the --transmit file (16 kHz mono) itself, through\n"
    "                       a data device, and posts nothing in the pause\n"
    "  --destroy S          destroy the station S seconds after the call is up\n"
    "The station talks (its sound card keyed) from the moment the call is up, for\n"
    "the --transmit file or --key seconds. It prints its call words whenever they\n"
    "change, \"station N dial tone D, caller C, busy B, ringback R at T s\", and\n"
    "\"station N in a call at T s\" once its dial request was answered or it\n"
    "answered its caller.\n";

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
    "--model",     "--encoding", "--channel",    "--hear",           "--pause",
};

// The options as a whole: those that exclude or need each other, and
// names that must resolve.
void CheckTogether(const Options& o) {
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
    const bool stationOnly =
        o.dial || o.answer || o.hangUp || o.closeDevice || o.destroy || o.pause;
    if (stationOnly && !o.station)
        Fail("--dial, --answer, --hang-up, --close-device, --destroy and --pause need --station");
    if (o.pause && o.transmitFile.empty()) Fail("--pause needs --transmit");
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
}

}  // namespace

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "hcyhost: %s\n%s", message.c_str(), "Try 'hcyhost --help'.\n");
    std::exit(2);
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
            o.power = Number(a, v, -300, 300);
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
        } else if (a == "--pause") {
            const auto p = Numbers(a, v, 2, 0, 86400);
            o.pause = {p[0], p[1]};
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
    CheckTogether(o);
    return o;
}

}  // namespace hcyhost
