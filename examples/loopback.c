/*
 * Two radios talking over loopback DIS, without a sound card.
 *
 *   loopback                  runs both ends itself, as two processes, and
 *                             exits 0 only when the listener heard the talker
 *   loopback listen [SECONDS] a radio that listens and judges what it heard
 *   loopback talk [WAV]       a radio that keys for 2 s and speaks a generated
 *                             1 kHz tone, or the WAV file (16-bit PCM) given
 *
 * Each end is its own host: a sound card of the platform's virtual sound
 * system (hcyplat/hcyplatform.h: a microphone fed by a tone or a WAV file, a
 * speaker that plays into memory), a radio on 30 MHz wired to it, and the
 * library sending to 127.255.255.255, the broadcast address of loopback, on
 * the DIS port (3000, or HCY_EXAMPLE_PORT). Nothing leaves the machine.
 */
#define _POSIX_C_SOURCE 200809L
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"

enum { kRate = 16000, kFrame = 320 }; /* [Hz], samples of 20 ms */
static const double kPi = 3.14159265358979323846;
static const double kToneHz = 1000.0;
static const double kFrequencyHz = 30e6;
static const double kTalkSeconds = 2.0;

static void Sleep(double seconds) {
    struct timespec t = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    nanosleep(&t, NULL);
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

static int Fail(const char* what) {
    fprintf(stderr, "loopback: %s failed: %s\n", what, hcyGetLastError());
    hcyExit();
    return 1;
}

/* One end: the virtual card, the library, a radio wired to the card. The
 * endpoints are made before hcyInit, which lists the sound devices. */
struct End {
    hcyplat_guid speaker, microphone;
    uint32_t waveIn;
    uintptr_t window;
    int device, radio;
};

static int StartEnd(struct End* end, uint16_t entity) {
    if (hcyplatCreateOutputEndpoint("example speaker", kRate, 1, &end->speaker) < 0 ||
        hcyplatCreateInputEndpoint("example microphone", &end->microphone, &end->waveIn) < 0) {
        fprintf(stderr, "loopback: no virtual sound endpoints\n");
        return 0;
    }
    hcyplatSetOutputMemory(&end->speaker);
    end->window = hcyplatCreateWindow();
    if (!hcyInit(end->window, "127.255.255.255")) return !Fail("hcyInit");
    const char* port = getenv("HCY_EXAMPLE_PORT");
    if (port && *port) {
        if (!hcySetNetworkPort((uint32_t)atoi(port))) return !Fail("hcySetNetworkPort");
        Sleep(0.25); /* the socket reopens on the library's network thread */
    }
    end->device = hcyOpenAudioDeviceSimple(end->waveIn, (const HCYGUID*)&end->speaker);
    if (end->device < 0) return !Fail("hcyOpenAudioDeviceSimple");
    /* Site 1, application = entity = the end's number, radio number 1. */
    end->radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, entity, entity, 1);
    if (end->radio < 0) return !Fail("hcyCreateComRadio");
    if (!hcySetRadioFrequency(end->radio, kFrequencyHz, kFrequencyHz))
        return !Fail("hcySetRadioFrequency");
    if (!hcySetComRadioRecv(end->radio, end->device, 0, 1)) return !Fail("hcySetComRadioRecv");
    if (!hcySetComRadioXmit(end->radio, end->device, 1)) return !Fail("hcySetComRadioXmit");
    return 1;
}

static void PrintMessages(uintptr_t window, double seconds) {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    const double end = Now() + seconds;
    for (double left = seconds; left > 0; left = end - Now()) {
        if (!hcyplatWaitWindowMessage(window, (uint32_t)(left * 1000) + 1, &message, &wParam,
                                      &lParam))
            continue;
        if (message == WM_CLIENT_RADIO_ACTIVITY)
            printf("talker: radio %d %s\n", (int)wParam,
                   lParam ? "is on the air" : "is not transmitting");
    }
}

static int Talk(const char* wav) {
    struct End end;
    if (!StartEnd(&end, 1)) return 1;
    if (wav ? !hcyplatSetInputWavFile(&end.microphone, wav, 0)
            : !hcyplatSetInputTone(&end.microphone, kToneHz, 8000.0 /* of 32767 */)) {
        fprintf(stderr, "loopback: cannot feed the microphone from %s\n", wav ? wav : "a tone");
        hcyExit();
        return 1;
    }
    /* Push-to-talk keys the radios on the device's transmit list. */
    if (!hcySetRadioPTT(end.device, 1, 0)) return Fail("hcySetRadioPTT");
    printf("talker: keyed for %.1f s\n", kTalkSeconds);
    fflush(stdout);
    PrintMessages(end.window, kTalkSeconds);
    hcySetRadioPTT(end.device, 0, 0);
    PrintMessages(end.window, 0.5); /* the "off" message */
    hcyExit();
    hcyplatDestroyWindow(end.window);
    return 0;
}

/* The power of one frequency in a frame (Goertzel), over the frame's power:
 * near 0.5 for a pure tone, near 0 for silence or other sounds. */
static double ToneShare(const int16_t* x, int n, double hz) {
    const double c = 2.0 * cos(2.0 * kPi * hz / kRate);
    double s1 = 0, s2 = 0, energy = 0;
    for (int i = 0; i < n; ++i) {
        const double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += (double)x[i] * x[i];
    }
    const double tone = s1 * s1 + s2 * s2 - c * s1 * s2;
    return energy > 0 ? tone / (energy * n) : 0.0;
}

static double Rms(const int16_t* x, int n) {
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += (double)x[i] * x[i];
    return sqrt(sum / n);
}

/* Listens for the given time, then says how much of the talker it heard:
 * 20 ms frames of the tone (or, with judgeLoud, of any sound above
 * -40 dBFS). Exits 0 when at least 3/4 of the talk was heard. */
static int Listen(double seconds, int judgeLoud) {
    struct End end;
    if (!StartEnd(&end, 2)) return 1;
    printf("listener: listening for %.1f s\n", seconds);
    fflush(stdout);
    int16_t frame[kFrame];
    int filled = 0, heard = 0;
    const double until = Now() + seconds;
    while (Now() < until) {
        const int got = hcyplatReadOutputMemory(&end.speaker, frame + filled, kFrame - filled);
        if (got < 0) return Fail("hcyplatReadOutputMemory");
        filled += got;
        if (filled < kFrame) {
            Sleep(0.005);
            continue;
        }
        const int loud = Rms(frame, kFrame) > 327.0;
        if (loud && (judgeLoud || ToneShare(frame, kFrame, kToneHz) > 0.25)) ++heard;
        filled = 0;
    }
    hcyExit();
    hcyplatDestroyWindow(end.window);
    const double heardSeconds = heard * (double)kFrame / kRate;
    printf("listener: heard %.2f s of %s in %.2f s of talk\n", heardSeconds,
           judgeLoud ? "sound" : "the 1 kHz tone", kTalkSeconds);
    return heardSeconds >= 0.75 * kTalkSeconds ? 0 : 1;
}

/* Starts this program again as one end; its output comes back through
 * *out when out is not null. */
static pid_t Start(const char* role, const char* argument, FILE** out) {
    int fds[2];
    if (out && pipe(fds) != 0) return -1;
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        if (out) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
        }
        execl("/proc/self/exe", "loopback", role, argument, (char*)NULL);
        _exit(127);
    }
    if (out) {
        close(fds[1]);
        *out = fdopen(fds[0], "r");
    }
    return child;
}

static int Succeeded(pid_t child) {
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

/* Both ends, each a process of its own (one library per process): the
 * talker starts once the listener says it listens. */
static int Both(void) {
    FILE* listenerOut = NULL;
    const pid_t listener = Start("listen", "5", &listenerOut);
    if (listener < 0 || !listenerOut) {
        perror("loopback");
        return 1;
    }
    pid_t talker = -1;
    char line[256];
    while (fgets(line, sizeof line, listenerOut)) {
        fputs(line, stdout);
        if (talker < 0 && strncmp(line, "listener: listening", 19) == 0)
            talker = Start("talk", NULL, NULL);
    }
    fclose(listenerOut);
    const int talked = Succeeded(talker);
    const int heard = Succeeded(listener);
    printf("loopback: %s\n", talked && heard ? "the far end heard the talker" : "FAILED");
    return talked && heard ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 1) return Both();
    if (strcmp(argv[1], "talk") == 0) return Talk(argc > 2 ? argv[2] : NULL);
    if (strcmp(argv[1], "listen") == 0) {
        const double seconds = argc > 2 ? atof(argv[2]) : 5.0;
        return Listen(seconds > 0 ? seconds : 5.0, argc > 3 && strcmp(argv[3], "any") == 0);
    }
    fprintf(stderr, "usage: loopback [listen [SECONDS [any]] | talk [WAV]]\n");
    return 2;
}
