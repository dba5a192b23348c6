/*
 * A radio on the default sound card, keyed from the keyboard.
 *
 *   radio [ADDRESS [MHZ]]
 *
 * ADDRESS is where the radio's PDUs go: 127.255.255.255 (the default) keeps
 * them on this machine; your network's broadcast address (192.168.1.255,
 * say) reaches the other hosts of that network. MHZ is the frequency
 * (default 30). Press Enter to key the radio and speak into the microphone,
 * Enter again to release it; q and Enter (or end of input) quits. It prints
 * the window messages the library posts and how many transmitters it hears.
 */
#define _POSIX_C_SOURCE 200809L
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/select.h>
#include <unistd.h>

#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"

static int Fail(const char* what) {
    fprintf(stderr, "radio: %s failed: %s\n", what, hcyGetLastError());
    hcyExit();
    return 1;
}

/* Waits at most 50 ms for a line on standard input: 1 a line, 0 none yet,
 * -1 quit (q or end of input). */
static int ReadKey(void) {
    fd_set in;
    FD_ZERO(&in);
    FD_SET(STDIN_FILENO, &in);
    struct timeval wait = {0, 50000};
    if (select(STDIN_FILENO + 1, &in, NULL, NULL, &wait) <= 0) return 0;
    char line[64];
    if (!fgets(line, sizeof line, stdin) || line[0] == 'q') return -1;
    return 1;
}

int main(int argc, char** argv) {
    const char* address = argc > 1 ? argv[1] : "127.255.255.255";
    const double hertz = (argc > 2 ? atof(argv[2]) : 30.0) * 1e6;

    /* The library posts WM_CLIENT_RADIO_ACTIVITY to this window. */
    const uintptr_t window = hcyplatCreateWindow();
    if (!hcyInit(window, address)) return Fail("hcyInit");

    /* The system's default sound card (a silent null device where there is
     * none; HCY_AUDIO_BACKEND=virtual forces that). */
    const int device = hcyOpenAudioDeviceDefault();
    if (device < 0) return Fail("hcyOpenAudioDeviceDefault");

    /* A generic radio; DIS identity from Tervale.cfg [DIS_IDs] or generated. */
    const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 0, 0, 0, 0);
    if (radio < 0) return Fail("hcyCreateComRadio");
    if (!hcySetRadioFrequency(radio, hertz, hertz)) return Fail("hcySetRadioFrequency");
    /* Wired both ways: it plays what it hears on the card's speaker (centred),
     * and the card's microphone feeds it while the card is keyed. */
    if (!hcySetComRadioRecv(radio, device, 0, 1)) return Fail("hcySetComRadioRecv");
    if (!hcySetComRadioXmit(radio, device, 1)) return Fail("hcySetComRadioXmit");

    printf("radio %d on %.3f MHz, sending to %s: Enter keys and releases, q quits\n", radio,
           hertz / 1e6, address);
    fflush(stdout);
    int keyed = 0;
    uint32_t audible = 0;
    for (;;) {
        const int key = ReadKey();
        if (key < 0) break;
        if (key > 0) {
            keyed = !keyed;
            /* Push-to-talk takes the device: it keys every radio wired to
             * it for transmission. */
            if (!hcySetRadioPTT(device, keyed, 0)) return Fail("hcySetRadioPTT");
            printf("%s\n", keyed ? "keyed: speak" : "released");
        }
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
        while (hcyplatPeekWindowMessage(window, &message, &wParam, &lParam)) {
            if (message == WM_CLIENT_RADIO_ACTIVITY)
                /* One per Transmitter PDU of its own heard back: keyed or
                 * not (each heartbeat while released posts a 0). */
                printf("message: radio %d %s\n", (int)wParam,
                       lParam ? "is on the air" : "is not transmitting");
            else
                printf("message %u (%lu, %ld)\n", message, (unsigned long)wParam, (long)lParam);
        }
        uint32_t count = 0;
        if (hcyGetRadioData(radio, RD_AUDIBLE_COUNT, &count) && count != audible) {
            audible = count;
            printf("hearing %u transmitter(s)\n", count);
        }
        fflush(stdout);
    }
    if (keyed) hcySetRadioPTT(device, 0, 0);
    hcyExit(); /* destroys the radio, closes the device */
    hcyplatDestroyWindow(window);
    return 0;
}
