/*
 * A radio in an HLA federation (RPR FOM 1.0), through the library's own
 * RTI hub on this machine:
 *
 *   hcyrtihub --port 15013 &
 *   hla rti://127.0.0.1:15013/Radios listen 20 &
 *   hla rti://127.0.0.1:15013/Radios talk 5
 *
 * A listener prints how many transmitters it hears; a talker keys its radio
 * for SECONDS, speaking a generated 1 kHz tone through the platform's
 * virtual sound system. Both radios are on the federation only (NET_HLA):
 * no DIS PDU carries their voice. The FED file is hcyRprFom10.fed: the
 * fourth argument, else HCY_FED_FILE from the environment, else the one the
 * build named, else the working folder's.
 */
#define _POSIX_C_SOURCE 200809L
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"

static int Fail(const char* what) {
    fprintf(stderr, "hla: %s failed: %s\n", what, hcyGetLastError());
    hcyExit();
    return 1;
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc < 3 || (strcmp(argv[2], "talk") != 0 && strcmp(argv[2], "listen") != 0)) {
        fprintf(stderr, "usage: hla FEDERATION talk|listen [SECONDS [FED-FILE]]\n");
        return 2;
    }
    const int talk = strcmp(argv[2], "talk") == 0;
    const double seconds = argc > 3 ? atof(argv[3]) : 10.0;
    const char* fedFile = argc > 4 ? argv[4] : getenv("HCY_FED_FILE");
#ifdef HCY_EXAMPLE_FED_FILE
    if (!fedFile) fedFile = HCY_EXAMPLE_FED_FILE;
#endif

    /* A virtual card: a microphone that says a tone, a speaker into nothing. */
    hcyplat_guid speaker, microphone;
    uint32_t waveIn;
    if (hcyplatCreateOutputEndpoint("hla speaker", 16000, 1, &speaker) < 0 ||
        hcyplatCreateInputEndpoint("hla microphone", &microphone, &waveIn) < 0)
        return 1;
    hcyplatSetInputTone(&microphone, 1000.0, 8000.0); /* amplitude in sample units */

    const uintptr_t window = hcyplatCreateWindow();
    if (!hcyInit(window, "127.255.255.255")) return Fail("hcyInit");
    /* Radios created from now on send and hear on the federation alone. */
    hcySetDefaultNetwork(NET_HLA);
    /* Create the federation if it is not there, then join: 10 tries. */
    if (!hcyHLAInitEx(1, 1, argv[1], 1, fedFile, 10)) return Fail("hcyHLAInitEx");
    printf("hla: joined %s\n", argv[1]);

    const int device = hcyOpenAudioDeviceSimple(waveIn, (const HCYGUID*)&speaker);
    if (device < 0) return Fail("hcyOpenAudioDeviceSimple");
    /* Distinct identities: the talker is entity 1, the listener entity 2. */
    const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 1, talk ? 1 : 2, 1);
    if (radio < 0) return Fail("hcyCreateComRadio");
    if (!hcySetRadioFrequency(radio, 30e6, 30e6)) return Fail("hcySetRadioFrequency");
    if (!hcySetComRadioRecv(radio, device, 0, 1)) return Fail("hcySetComRadioRecv");
    if (!hcySetComRadioXmit(radio, device, 1)) return Fail("hcySetComRadioXmit");

    if (talk && !hcySetRadioPTT(device, 1, 0)) return Fail("hcySetRadioPTT");
    printf("hla: radio %d %s for %.1f s\n", radio, talk ? "talks" : "listens", seconds);
    fflush(stdout);
    uint32_t audible = 0;
    for (const double end = Now() + seconds; Now() < end;) {
        uint32_t count = 0;
        if (hcyGetRadioData(radio, RD_AUDIBLE_COUNT, &count) && count != audible) {
            audible = count;
            printf("hla: hearing %u transmitter(s)\n", count);
            fflush(stdout);
        }
        const struct timespec tick = {0, 50000000};
        nanosleep(&tick, NULL);
    }
    if (talk) hcySetRadioPTT(device, 0, 0);
    hcyExit(); /* resigns from the federation */
    hcyplatDestroyWindow(window);
    return 0;
}
