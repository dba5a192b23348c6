// hcyhost's run of the radios: the time line, keying by the files, --key
// and the schedules, what each radio hears, the status screen, and the
// closing reports.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hcyhost.h"

namespace hcyhost {
namespace {

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
                // What the screen shows scrolls away into the terminal's
                // history; then the top rows are kept for the frame and the
                // log lines scroll below it.
                m_frameRows = lines;
                std::printf("\x1b[%d;1H%s\x1b[%d;%dr\x1b[%d;1H", m_rows,
                            std::string(static_cast<std::size_t>(m_rows), '\n').c_str(), lines + 1,
                            m_rows, m_rows);
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

}  // namespace

int RunRadios(const Options& o, const RunPlan& plan, std::vector<Radio>& radios,
              const Devices& devices, const Library& library) {
    Radio& first = radios.front();
    const bool split = o.card == "split";
    const int player = devices.player, speaker = devices.speaker;
    const int transcriber = devices.transcriber, recorder = devices.recorder;
    const uintptr_t window = library.window;
    const double keySeconds = plan.keySeconds;
    double runSeconds = plan.runSeconds;

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
    if (library.statusText) status.emplace(o.radios);
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

}  // namespace hcyhost
