// hcyhost's interphone station, in place of the radios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "hcyhost.h"

namespace hcyhost {

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
    // With --pause the host posts the speech itself: 1024 samples at a time,
    // at real time, and nothing in the pause.
    constexpr std::size_t kBlock = 1024;
    constexpr double kPostRate = 16000;  // the data device's [Hz]
    std::vector<std::int16_t> speech;
    std::size_t posted = 0;
    int talker = device;
    if (o.pause) {
        const WavAudio wav = ReadWav(o.transmitFile);
        if (wav.byteRate != 2 * kPostRate || wav.channels != 1)
            Fail("--pause needs a 16 kHz mono --transmit file");
        speech.resize(wav.bytes.size() / 2);
        std::memcpy(speech.data(), wav.bytes.data(), speech.size() * 2);
        talker = hcyOpenDataDeviceSimple(1);
        Check(talker > 0, "hcyOpenDataDeviceSimple");
    }
    Check(hcySetComRadioXmit(station, talker, 1), "hcySetComRadioXmit");
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
    bool keyed = false, alive = true, paused = false;
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
                    if (!o.transmitFile.empty() && !o.pause &&
                        !hcyplatSetInputWavFile(&microphone, o.transmitFile.c_str(), 0)) {
                        std::fprintf(stderr, "hcyhost: cannot play '%s'\n", o.transmitFile.c_str());
                        return 1;
                    }
                    Check(hcySetRadioPTT(talker, 1, 0), "hcySetRadioPTT");
                    keyed = true;
                }
            }
            if (inCall && w[0]) {
                inCall = false;
                std::printf("hcyhost: station %d call ended at %.2f s\n", *o.station, seconds(now));
            }
        }
        const double into = inCall || calls ? seconds(now) - seconds(callUp) : -1;
        if (keyed && o.pause) {
            const double spoken = into - std::clamp(into - o.pause->first, 0.0, o.pause->second);
            const std::size_t due =
                std::min(speech.size(), static_cast<std::size_t>(spoken * kPostRate));
            if (!paused && into >= o.pause->first) {
                paused = true;
                std::printf("hcyhost: station %d pauses at %.2f s\n", *o.station, seconds(now));
            }
            while (posted < due && (due - posted >= kBlock || due == speech.size())) {
                const std::size_t n = std::min(kBlock, due - posted);
                hcyPostDataDevice(talker, reinterpret_cast<intptr_t>(speech.data() + posted),
                                  static_cast<int>(n * 2));
                posted += n;
            }
        }
        const double pauseSeconds = o.pause ? o.pause->second : 0;
        if (keyed && into >= talkSeconds + pauseSeconds + (o.transmitFile.empty() ? 0 : 0.2)) {
            if (device) hcySetRadioPTT(talker, 0, 0);
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
    if (keyed && device) hcySetRadioPTT(talker, 0, 0);
    if (device) hcyCloseAudioDevice(device);
    std::printf("hcyhost: station %d made %d call%s, ended %s\n", *o.station, calls,
                calls == 1 ? "" : "s",
                !alive   ? "destroyed"
                : onHook ? "on hook"
                         : "off hook");
    return 0;
}

}  // namespace hcyhost
