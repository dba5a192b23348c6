/* SPDX-License-Identifier: Apache-2.0 */
/**
 * @file
 * @brief Halcyra: a live radio voice channel for simulator hosts.
 *
 * The host drives the library (libHalcyra.so) through the 120 functions of
 * this header, from C or C++. The platform library's header
 * hcyplat/hcyplatform.h adds the message windows the library posts to, the
 * clock and the virtual sound system.
 *
 * @par Results
 * 1 for success and 0 for failure; a handle (1 or more) or -1 for the
 * functions that create or open something; texts for the text getters.
 * Where a function says otherwise, its own documentation tells.
 *
 * @par The last error
 * On failure the library keeps a text, "HCY ERROR: " followed by the
 * message, that hcyGetLastError() returns. Success never clears it; only a
 * successful hcyInit() does. The messages quoted below are the texts after
 * "HCY ERROR: "; some end in a line feed, kept as peers expect them.
 * "Tervale" in a message is this library's own name.
 * Two messages can come from any call that does work: "Out of memory." and
 * "Unexpected internal error."; a call that gives up on an internal
 * exception stores that exception's text. A function that returns 0 "without
 * a message" leaves the last error as it was.
 *
 * @par Handles
 * Radios, devices and interphones share one handle counter, which restarts
 * at 1 with each successful hcyInit(). Each kind is looked up in its own
 * table: a device handle passed where a radio is expected fails like a
 * handle that names nothing. A failed open still uses up a handle number.
 *
 * @par Threads
 * Every function may be called from any thread of the host, from several at
 * once, and from inside a data-device callback (a callback may close its own
 * device). The library runs threads of its own: a network manager thread
 * (every RTI call and callback of an HLA federation runs on it), one receive
 * thread per open socket, two PDU worker threads that hand received PDUs to
 * the radios, a 250 ms update-tick thread (heartbeats, receive time-outs,
 * status dialogs), one capture thread per open sound card or record device,
 * one worker thread per data device, and timer threads of WAV players.
 * The host is called back only by data devices (DataDeviceAudioProc,
 * DataDeviceNotifyProc), from the device's own thread, with no lock of the
 * library held. Window messages (#WM_CLIENT_RADIO_ACTIVITY) are posted from
 * the PDU worker threads, the update-tick thread and (HLA) the network
 * manager thread; the host reads them from
 * any thread with hcyplatPeekWindowMessage() or hcyplatWaitWindowMessage().
 *
 * @par Texts
 * Texts passed in are NUL-terminated 8-bit strings, copied before the call
 * returns. Texts returned belong to the library: each text getter hands the
 * calling thread a copy that stays valid until that thread's next call of
 * the same getter.
 *
 * @par Pointers
 * Arguments that carry pointers (radio data, device data, posted data, host
 * sound objects, channel flag arrays) are pointer-sized (intptr_t or void*).
 * A host sound object is passed as a pointer to the platform's shared
 * pointer that holds it (plat::LPDIRECTSOUND, plat::LPDIRECTSOUNDBUFFER); the
 * host keeps ownership. Values behind a pointer are read and written
 * byte-wise: the host's pointer need not be aligned.
 *
 * @par Configuration
 * Besides the calls, settings come from the file Tervale.cfg in the working
 * folder (its sections [Network], [Radio], [DIS_IDs], [Secure], [ARC164],
 * [ARC186] and [ARC190]); README.md lists every key.
 */
#ifndef HALCYRA_HALCYRA_H
#define HALCYRA_HALCYRA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** @cond INTERNAL */
#if defined(HCY_BUILDING_LIBRARY)
#define HCY_API __attribute__((visibility("default")))
#else
#define HCY_API
#endif
/** @endcond */

/** A message window of the platform library (hcyplatCreateWindow()); 0 means
 * none. The library posts #WM_CLIENT_RADIO_ACTIVITY to it. */
typedef uintptr_t HCYHWND;

/** A sound device identifier, as the device lists deliver it (laid out like
 * the platform's hcyplat_guid). */
typedef struct HCYGUID {
    uint32_t Data1;   /**< First 4 bytes. */
    uint16_t Data2;   /**< Next 2 bytes. */
    uint16_t Data3;   /**< Next 2 bytes. */
    uint8_t Data4[8]; /**< Last 8 bytes. */
} HCYGUID;

/* The code tables are enumeration constants, not macros, so that they
 * never replace a name inside a C++ namespace. */

/** @name Network flags
 * In a radio's or interphone's network mask (hcySetNetwork(),
 * hcySetDefaultNetwork()) they say which sources it hears and where its PDUs
 * go. With any of bits 16 to 23 set, Signal traffic (the voice) uses the high
 * half of the mask instead of the low half.
 * @{ */
/** Network flags. */
enum {
    /** The primary DIS network (UDP port 3000 by default). */
    NET_PRIMARY = 0x1,
    /** The secondary DIS network (hcySetSecondaryPort()). */
    NET_SECONDARY = 0x2,
    /** PDUs go back into this library's own receive road. */
    NET_LOOPBACK = 0x4,
    /** The HLA federation joined by hcyHLAInit(). */
    NET_HLA = 0x8,
    /** Signal PDUs (voice) on the primary network only. */
    NET_SIGNAL_PRIMARY = 0x10000,
    /** Signal PDUs (voice) on the secondary network only. */
    NET_SIGNAL_SECONDARY = 0x20000
};
/** @} */

/** @name Radio models
 * Model codes of hcyCreateComRadio(). Codes 1, 3, 4 and 1104 also name the
 * generic (1) and secure (3, 4, 1104) models; any other code creates a
 * generic radio.
 * @{ */
/** Radio model codes. */
enum {
    /** Free-space loss, round-earth line of sight, tuner curve, squelch. */
    RADIO_TYPE_GENERIC = 0,
    /** Generic plus crypto system and key, frequency hopping. */
    RADIO_TYPE_SECURE = 2,
    /** Secure radio tuned in 100 Hz steps, no squelch tail. */
    RADIO_TYPE_SINCGARS = 5,
    /** Six-channel set: channel slots 0 to 5 by negative frequency codes. */
    RADIO_TYPE_MODEL1008 = 1008,
    /** Listen-only: plays the one sender hcySetSNR() names. */
    RADIO_TYPE_RAW_DIS = 1010,
    /** Full duplex; hears its own receive frequency at any distance. */
    RADIO_TYPE_INTERCOM = 1100,
    /** Secure UHF radio with guard receiver and word-of-day hopping ([ARC164]). */
    RADIO_TYPE_ARC164 = 1101,
    /** Secure radio on an FM and an AM band ([ARC186]). */
    RADIO_TYPE_ARC186 = 1102,
    /** Secure radio on one HF band ([ARC190]). */
    RADIO_TYPE_ARC190 = 1103,
    /** Plays every Signal PDU of its exercises, any frequency. */
    RADIO_TYPE_SCANNER = 1105,
    /** Transmits nothing; records what its devices hand it into a WAV file. */
    RADIO_TYPE_WAV_RECORD = 1106
};
/** @} */

/** @name Encodings
 * Encoding codes of hcySetEncoding(): how a radio or interphone codes its
 * voice in Signal PDUs.
 * @{ */
/** Encoding codes. */
enum {
    /** 8-bit G.711 mu-law. */
    ENCODING_MULAW = 1,
    /** CVSD, first sample in the most significant bit. */
    ENCODING_CVSD = 2,
    /** 4-bit IMA-style ADPCM. */
    ENCODING_ADPCM = 3,
    /** 16-bit linear PCM (the default; code 0 means it too). */
    ENCODING_PCM16 = 4,
    /** CVSD, first sample in the least significant bit (sent as 2). */
    ENCODING_CECOM_CVSD = 7
};
/** @} */

/** @name Reception status
 * Reception status of a heard transmitter.
 * @{ */
/** Reception status values. */
enum {
    /** The transmitter is heard. */
    RECV_STATUS_AUDIBLE = 15,
    /** The transmitter is not heard (hop net or crypto mismatch). */
    RECV_STATUS_SILENT = 16
};
/** @} */

/** @name Window messages
 * @{ */
/** Window messages the library posts to the host's message window. */
enum {
    /** Posted to the library-wide message window (hcyInit(), hcySetMsgWnd() with a
     * handle below 1) with wParam = the radio's handle, for each of the
     * radio's own Transmitter PDUs heard back from the network: lParam 1 when
     * it says the radio transmits, 0 when it says it does not (so while the
     * radio is not keyed, each of its heartbeats posts a 0). A raw DIS radio
     * (#RADIO_TYPE_RAW_DIS) posts 1 on each Signal PDU of its sender and 0
     * after a receive time-out without one. Posted from a PDU worker thread,
     * the update-tick thread or (HLA) the network manager thread. 0x500 =
     * 1280. */
    WM_CLIENT_RADIO_ACTIVITY = 0x500
};
/** @} */

/** @name Radio data ids
 * Ids of hcySetRadioData() and hcyGetRadioData(). The value is behind a
 * pointer, of the type given here: "set" ids are read from it, "get" ids
 * written to it. Ids a model does not handle return 0 without a message.
 * "Records" are the transmitters the radio hears: over DIS, or on a radio
 * with #NET_HLA in its mask, those of the federation.
 * @{ */
/** Radio data ids. */
enum {
    /** get, int32, any handle: the largest receive value of all radios, -1 when none. */
    RD_MAX_RECV_VALUE = 11,
    /** get, float: the largest signal (0 to 1) of the heard transmitters; 0.0 when none. */
    RD_MAX_SIGNAL = 101,
    /** get, uint32: 1 while keyed and its own transmission is heard back (HLA radio: while keyed).
     */
    RD_IS_TRANSMITTING = 102,
    /** get, float: the largest received audio level of the heard transmitters; 0.0 when none. */
    RD_MAX_AUDIO_LEVEL = 103,
    /** get, float: the level of the audio it transmits while keyed, else 0.0. */
    RD_XMIT_LEVEL = 104,
    /** get, uint16, ARC-164: HQ word 1, non-zero in HQ mode (set as #RD_FH_SYNC_OFFSET). */
    RD_HQ_MODE = 105,
    /** get, four uint16 (in: the first holds index n): site, application, entity and radio number
       of the n-th heard transmitter by descending signal; returns 0 when it exists, 1 and zeros
       when n is past the end. */
    RD_XMIT_ID = 106,
    /** set, double [Hz]: ARC-164 guard/preset frequency; ARC-186 FM guard frequency. */
    RD_MODE2_FREQ = 202,
    /** set, double [Hz]: ARC-186 AM guard frequency. */
    RD_MODE1_FREQ = 203,
    /** set, int32: ARC-164 1 main + guard, 2 guard only, other main; ARC-186 1 AM guard, 2 FM
       guard, other main. */
    RD_FREQ_MODE = 204,
    /** set, uint32 bits: 0 background noise, 1 inhibit receive and transmit, 2 transmitted samples
       shifted right by 4, 3 transmitted samples zeroed. */
    RD_RADIO_FLAGS = 205,
    /** set, int32, ARC-164/186: non-zero starts the looping test tone (ARC-164 in HQ mode the
       time-of-day tone), 0 stops it. */
    RD_TONE = 206,
    /** set, text, ARC-164/186: the WAV file of the test tone (a playing tone stops). */
    RD_TEST_TONE_WAV = 207,
    /** set, float, ARC-186: squelch level of the AM band. */
    RD_AM_SQUELCH = 210,
    /** set, float, ARC-186: squelch level of the FM band. */
    RD_FM_SQUELCH = 211,
    /** set, int32, ARC-186: the AM band's mode flag (0 disables the band). */
    RD_AM_MODE_FLAG = 213,
    /** set, int32, ARC-186: the FM band's mode flag (0 disables the band). */
    RD_FM_MODE_FLAG = 214,
    /** set, uint16: secure radios: FH net id of the hop-net record; ARC-164: HQ word 0. */
    RD_FH_NET_ID = 215,
    /** set: secure radios uint32 sync offset of the hop-net record; ARC-164 uint16 HQ word 1 (HQ
       mode). */
    RD_FH_SYNC_OFFSET = 216,
    /** set, uint32, ARC-164: high 16 bits index 0 to 5, low 16 bits the word-of-day segment. */
    RD_HQ_SET_WOD = 217,
    /** set, int32, ARC-164: non-zero opens the 60 s time-of-day window, 0 closes it. */
    RD_TOD_WINDOW = 218,
    /** get, uint32: crypto system of the last heard transmitter that has one; 0 when none. */
    RD_RECV_CRYPTO_SYSTEM = 219,
    /** set, uint32: hop-noise threshold (default 8000). */
    RD_HOP_NOISE_THRESHOLD = 220,
    /** set, uint32: hop-noise burst length [bytes] (default 32). */
    RD_HOP_NOISE_BYTES = 221,
    /** set, uint32: hop-noise shift, 0 to 31 (default 9). */
    RD_HOP_NOISE_SHIFT = 222,
    /** set, uint32: non-zero lets a secure radio send and hear in clear without a key. */
    RD_ALLOW_PLAIN_XMIT = 223,
    /** set, float: gain on transmitted samples (default 1.0). */
    RD_XMIT_GAIN = 224,
    /** set, float [dBm]: receiver noise floor (default -80 dBm = 1e-11 W). */
    RD_NOISE_LEVEL_DBM = 225,
    /** get, uint32: the number of transmitters heard now. */
    RD_AUDIBLE_COUNT = 226,
    /** get, four uint16: site, application, entity, radio number of the strongest heard
       transmitter; returns 0 (nothing written) when none. */
    RD_STRONGEST_XMIT_ID = 227,
    /** set, uint32: non-zero band-pass filters this radio's audio (band: #DEVDATA_FILTER_BAND). */
    RD_XMIT_FILTER = 228,
    /** set, uint32: non-zero full duplex, 0 half duplex. */
    RD_FULL_DUPLEX = 229,
    /** set, uint16, secure radios: hop set id of the hop-net record. */
    RD_HOP_SET_ID = 230,
    /** set, uint16, secure radios: lockout set id of the hop-net record. */
    RD_LOCKOUT_SET_ID = 231,
    /** set, uint16, secure radios: TRANSEC key of the hop-net record. */
    RD_TRANSEC_KEY = 232,
    /** set, uint8, secure radios: clear-channel byte of the hop-net record. */
    RD_CLEAR_CHANNEL = 233,
    /** set, uint32: non-zero hears its own entity's transmitters like any other. */
    RD_NO_OWN_ENTITY_TEST = 234,
    /** set, double: CVSD step smoothing (both CVSD codecs of the radio). */
    RD_CVSD_STEP_SMOOTHING = 235,
    /** set, double: CVSD integrator leak. */
    RD_CVSD_INTEGRATOR_LEAK = 236,
    /** set, double: CVSD largest step. */
    RD_CVSD_MAX_STEP = 237,
    /** set, double: CVSD smallest step times 16. */
    RD_CVSD_MIN_STEP_X16 = 238,
    /** set, double: CVSD decoder low-pass factor. */
    RD_CVSD_DECODER_LOWPASS = 239,
    /** set, double: CVSD decoder gain. */
    RD_CVSD_DECODER_GAIN = 240,
    /** set, uint32: non-zero counts every radio of its own entity as its own. */
    RD_OWN_ENTITY_ANY_RADIO = 241,
    /** set, uint32 count then count uint32 exercise ids: further exercises it hears (0s skipped).
     */
    RD_EXTRA_EXERCISES = 242,
    /** set, int32, WAV record radio: start recording; 2 appends to the file, other values create
       it. */
    RD_WAV_RECORD_START = 380,
    /** set, WAV record radio: stop recording (value ignored, may be null). */
    RD_WAV_RECORD_STOP = 381,
    /** get, uint32 [ms], WAV record radio: the length recorded. */
    RD_WAV_RECORD_LENGTH = 382,
    /** get, uint32, WAV record radio: 1 while recording. */
    RD_WAV_RECORDING = 383,
    /** set, text of at most 260 bytes, WAV record radio: the file to record into. */
    RD_WAV_RECORD_FILE = 384
};
/** @} */

/** @name Interphone call words
 * Read with hcyGetRadioData() on an interphone handle, as uint32: 1 or 0,
 * and the number of the station that rings it. An interphone tells the host
 * nothing by itself: the host polls these.
 * @{ */
/** Interphone call words. */
enum {
    /** 1 while off hook with no call pending. */
    ICS_DATA_DIAL_TONE = 301,
    /** The station ringing this one; 0: none. */
    ICS_DATA_CALLER = 302,
    /** 1 when the dialed station answered busy. */
    ICS_DATA_BUSY = 303,
    /** 1 while the dialed station rings (or answered busy). */
    ICS_DATA_RINGBACK = 304
};
/** @} */

/** @name Device data codes
 * Codes of hcySetDeviceData(), hcyGetDeviceData() and the notify callback.
 * The value is behind a pointer, of the type given here.
 * @{ */
/** Device data codes. */
enum {
    /** set, two doubles [Hz]: low and high edge of the transmit band-pass filter. */
    DEVDATA_FILTER_BAND = 401,
    /** notify callback, double: the new gain of a heard transmitter or station. */
    DEVDATA_RECV_GAIN = 403,
    /** set, int32: non-zero: one source feeds every channel (multi-channel devices). */
    DEVDATA_SHARED_SOURCE = 404,
    /** get, int32, speech device: 1 when a recognised text waits. */
    DEVDATA_SPEECH_RESULT_READY = 405,
    /** get, char[1024], speech device: the last recognised text; clears the ready flag. */
    DEVDATA_SPEECH_RESULT_TEXT = 406,
    /** set, speech device: uint32 n (the name's buffer size with its NUL) then the voice name. */
    DEVDATA_VOICE_NAME = 407,
    /** get, int32, speech device: 1 when the last text found no voice of that name. */
    DEVDATA_VOICE_NOT_FOUND = 408,
    /** get, int32, speech device: 1 when the last text could not be spoken. */
    DEVDATA_SPEAK_FAILED = 409,
    /** set, int32, speech device: non-zero: posted texts are speech markup (SSML). */
    DEVDATA_TEXT_IS_XML = 410,
    /** get, uint32: 1 while the device is keyed. */
    DEVDATA_KEYED = 450
};
/** @} */

/** @name Channels
 * Output channels of receive paths and halves of a split stereo device;
 * any other channel plays centred.
 * @{ */
/** Channel codes. */
enum {
    /** The left channel, the left half of a split device. */
    CHANNEL_LEFT = 8,
    /** The right channel, the right half of a split device. */
    CHANNEL_RIGHT = 9
};
/** @} */

/** @name Data device types
 * @{ */
/** Data device types of hcyOpenDataDevice(). */
enum {
    /** The speech device: speaks posted texts, transcribes what its radios hear. */
    DATADEV_TYPE_SPEECH = 500
};
/** @} */

/**
 * @brief Audio callback of a data device: one decoded block its radios or
 * interphones heard.
 *
 * Called on the device's own thread, in the order of the blocks, with no
 * lock of the library held; it may call any function, its own device's
 * close included.
 * @param radio Handle of the radio or interphone that heard it.
 * @param record The heard transmitter (opaque; compare, never dereference).
 * @param samples 16-bit mono samples, valid during the call only.
 * @param byteCount Size of the samples [bytes].
 * @param sampleRate Rate of the samples [Hz].
 */
typedef void (*DataDeviceAudioProc)(int32_t radio, void* record, const int16_t* samples,
                                    uint32_t byteCount, uint32_t sampleRate);
/**
 * @brief Notify callback of a data device: a change of a heard transmitter.
 *
 * Called on the device's own thread, in order with the audio callback, with
 * no lock of the library held.
 * @param radio Handle of the radio or interphone that heard it.
 * @param record The heard transmitter (opaque).
 * @param code #DEVDATA_RECV_GAIN.
 * @param value The new gain, valid during the call only.
 */
typedef void (*DataDeviceNotifyProc)(int32_t radio, void* record, int32_t code, double* value);

/** @name Library
 * @{ */

/**
 * @brief Starts the library: the network manager and its primary socket,
 * the device lists and the 250 ms update tick.
 *
 * Called again while running it keeps what runs (network, tick, handles),
 * takes the new window and destination, clears the last error and returns 1.
 * @param window The message window that receives #WM_CLIENT_RADIO_ACTIVITY
 *        (hcyplatCreateWindow()); 0: none (the messages are dropped until
 *        hcySetMsgWnd()).
 * @param destinationAddress Where both networks send their PDUs: an IPv4
 *        broadcast, subnet-broadcast, multicast (224 to 239) or host address
 *        or a host name. "" means 255.255.255.255 (the limited broadcast,
 *        which leaves the machine on every interface); NULL keeps each
 *        network's current destination. A 127.x address binds the socket to
 *        loopback. [Network] PrimBroadcast and SecBroadcast win when set.
 * @return 1; 0 on failure, with "Could not find a window handle.",
 *         "Timed out waiting for net manager to initialize.\n" (the primary
 *         socket did not open within 30 s) or "Setting update timer
 *         failed.\n".
 * @par Thread
 * Any; it waits for the network manager thread to start.
 */
HCY_API int hcyInit(HCYHWND window, const char* destinationAddress);
/**
 * @brief Joins an HLA 1.3 federation on the RPR FOM 1.0 as the federate
 * "hcy@<host name>": hcyHLAInitEx() with create 1, the default FED file and
 * 10 join tries.
 * @param tickMode 2: the RTI is ticked without limits, then 3 ms of sleep;
 *        other values: ticks of at most 0.1 s.
 * @param fomType 1 (RPR FOM 1.0), the only one.
 * @param federation The federation: "thread:///Name" (this process),
 *        "rti://HOST:PORT/Name" through the RTI server listening there
 *        (hcyrtihub: 127.0.0.1 only), or "Name" through the server of this
 *        machine on its default port (hcyrtihub 15013).
 * @return 1 when joined; 0 with "Tervale has not been initialized", "Invalid
 *         FOM type sent to HLAInit", "Could not find FED file <file>",
 *         "Could not read FED file <file>", "Could not create federation
 *         <name> using FED file <file>", "Tervale is already a federate in
 *         <name> federation: <reason>\n", "Tervale timed out trying to join
 *         <name> federation", "Timed out waiting for HLA manager to
 *         initialize.\n" (no outcome within about 100 s), the RTI's reason, or
 *         no message when the federation does not exist and create is 0. A
 *         federation that exists already leaves "Federation execution <name>
 *         already exists: <reason>\n" and is joined.
 * @par Thread
 * Any; the join runs on the network manager thread, which then runs every
 * RTI call and callback.
 */
HCY_API int hcyHLAInit(int tickMode, int fomType, const char* federation);
/**
 * @brief Joins an HLA federation, as hcyHLAInit(), with the create flag, the
 * FED file and the join tries given.
 * @param tickMode As hcyHLAInit().
 * @param fomType 1 (RPR FOM 1.0).
 * @param federation As hcyHLAInit().
 * @param createFederation Non-zero: create the federation execution first
 *        (an existing one is joined); 0: join only.
 * @param fedFilePath The FED file; NULL: hcyRprFom10.fed in the working
 *        folder (installed in share/halcyra/).
 * @param maxJoinTries Failed join attempts before giving up.
 * @return As hcyHLAInit().
 * @par Thread
 * As hcyHLAInit().
 */
HCY_API int hcyHLAInitEx(int tickMode, int fomType, const char* federation, int createFederation,
                         const char* fedFilePath, int maxJoinTries);
/**
 * @brief Stops the library: destroys every radio (closing its status
 * dialog), interphone and device, stops the tick, resigns from the
 * federation (deleting the radios' objects) and stops the network manager.
 * @return 1 always; "Timed out waiting for net manager to stop.\n" is left
 *         when the network manager did not stop within its limit.
 * @par Thread
 * Any; no callback runs once it returned.
 */
HCY_API int hcyExit(void);
/**
 * @brief The library's version.
 * @param version Out: (major << 16) | (minor << 8) | build; may be NULL.
 * @return "Version <major>.<minor>.<build>"; "" when it cannot be read.
 * @par Thread
 * Any; the text is the calling thread's until its next call.
 */
HCY_API const char* hcyGetHCYVersion(uint32_t* version);
/**
 * @brief The library's copyright text.
 * @return The text; valid until the calling thread's next call.
 * @par Thread
 * Any.
 */
HCY_API const char* hcyGetHCYCopyright(void);
/**
 * @brief The last error: "HCY ERROR: " and the message, or "" before any.
 * @return A copy valid until the calling thread's next call of it.
 * @par Thread
 * Any; the last error is one for the whole library, not per thread.
 */
HCY_API const char* hcyGetLastError(void);
/**
 * @brief Sets the heartbeat: how often each radio and interphone sends its
 * Transmitter PDU (spread over the period in 250 ms ticks).
 * @param seconds The period [s], in whole 250 ms ticks (default 3 s); a
 *        positive value below 0.25 is one tick, 0 or less turns heartbeats
 *        off. The first call also sets
 *        the receive time-out to three periods unless hcySetRecvTimeout()
 *        set one.
 * @return 1.
 * @par Thread
 * Any.
 */
HCY_API int hcySetHeartbeat(float seconds);
/**
 * @brief Sets the receive time-out: a heard transmitter that sent nothing
 * for this long is dropped.
 * @param seconds The time-out [s], in whole 250 ms ticks, at least one tick
 *        (default 9 s).
 * @par Thread
 * Any.
 */
HCY_API void hcySetRecvTimeout(float seconds);
/**
 * @brief Switches the heartbeat of the radios' HLA objects.
 * @param flag Non-zero: every Transmitter PDU of a radio on #NET_HLA (each
 *        heartbeat and keying) also updates all of its object's attributes
 *        in the federation; 0 (the default): attributes are sent when they
 *        change.
 * @return 1.
 * @par Thread
 * Any.
 */
HCY_API int hcySetHLAHeartbeat(int flag);
/**
 * @brief Sets the network mask of radios and interphones created from now on.
 * @param networkFlags NET_* flags (default #NET_PRIMARY).
 * @return 1.
 * @par Thread
 * Any.
 */
HCY_API int hcySetDefaultNetwork(uint32_t networkFlags);
/**
 * @brief Switches the optional PDUs.
 * @param flags Bit 0: radios also send Receiver PDUs; other bits are dropped.
 * @return 1.
 * @par Thread
 * Any.
 */
HCY_API int hcyEnablePDUs(int flags);
/**
 * @brief Sets the DIS protocol version written into every PDU from now on.
 * @param version The version byte (default 6), unchecked.
 * @return 1.
 * @par Thread
 * Any.
 */
HCY_API int hcySetProtocolVersion(uint32_t version);
/**
 * @brief Names the message window.
 * @param handle Below 1: the library-wide window that receives
 *        #WM_CLIENT_RADIO_ACTIVITY; a radio's handle: stored for that radio
 *        (messages still go to the library-wide window).
 * @param window The window (hcyplatCreateWindow()); 0: none.
 * @return 1; 0 with "SetMsgWnd error. Invalid radio handle.\n".
 * @par Thread
 * Any.
 */
HCY_API int hcySetMsgWnd(int handle, HCYHWND window);
/** @} */

/** @name Network and identifiers
 * The network functions need a running library (hcyInit()).
 * @{ */

/**
 * @brief Reopens the primary socket on a UDP port.
 * @param port 0 to 65535 (default 3000); [Network] PrimPort wins when set.
 * @return 1 once the request is queued to the network manager; 0 with
 *         "Tervale has not been initialized" or "Invalid port <port> sent
 *         to SetNetworkPort.".
 * @par Thread
 * Any; the socket reopens on the network manager thread.
 */
HCY_API int hcySetNetworkPort(uint32_t port);
/**
 * @brief Opens the secondary socket on a UDP port.
 * @param port 0 to 65535; [Network] SecPort wins when set.
 * @return 1; 0 with "Tervale has not been initialized" or "Invalid port
 *         <port> sent to SetSecondaryPort.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetSecondaryPort(uint32_t port);
/**
 * @brief Sets the multicast time-to-live of one or both networks.
 * @param networkMask Bit 0 primary, bit 1 secondary.
 * @param timeToLive Hops (0 to 255); 1 keeps the packets on the local net.
 * @return 1; 0 with "Tervale has not been initialized".
 * @par Thread
 * Any.
 */
HCY_API int hcySetMulticastTTL(int networkMask, int timeToLive);
/**
 * @brief Sets the destination address of one or both networks.
 * @param networkMask Bit 0 primary, bit 1 secondary.
 * @param address As hcyInit()'s destination; NULL or "" clears it (then
 *        255.255.255.255). [Network] PrimBroadcast and SecBroadcast win when
 *        set.
 * @return 1; 0 with "Tervale has not been initialized".
 * @par Thread
 * Any.
 */
HCY_API int hcySetSubNet(int networkMask, const char* address);
/**
 * @brief Sets which networks a radio or interphone hears and sends on.
 * @param handle A radio or interphone.
 * @param networkFlags NET_* flags. Adding #NET_HLA registers the radio's
 *        object in the federation (and waits for it).
 * @return The radio's or interphone's result; 0 with "Invalid handle sent to
 *         SetNetwork." or "Timed out waiting for HLA manager to register
 *         transmitter object.\n".
 * @par Thread
 * Any.
 */
HCY_API int hcySetNetwork(int handle, uint32_t networkFlags);
/**
 * @brief Sets the DIS exercise of a radio or interphone.
 * @param handle A radio or interphone.
 * @param exerciseId The exercise, 1 to 255 (default 1); PDUs of other
 *        exercises are not heard (see #RD_EXTRA_EXERCISES).
 * @return 1; 0 with "Invalid handle sent to SetExerciseID.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetExerciseID(int handle, uint32_t exerciseId);
/**
 * @brief Sets a radio's DIS identity.
 * @param radio A radio.
 * @param site DIS site; 0: [DIS_IDs] SiteID, else a generated one.
 * @param application DIS application; 0: [DIS_IDs] HostID, else generated.
 * @param entity DIS entity; 0: [DIS_IDs] EntityID, else generated.
 * @param radioNumber Radio number within the entity; 0: the radio's handle.
 * @return 1; 0 with "Invalid radio handle sent to SetEntityID.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetEntityID(int radio, uint16_t site, uint16_t application, uint16_t entity,
                           uint16_t radioNumber);
/** @} */

/** @name Device lists
 * Cursor-style: the first call passes first = 1, the next ones 0. Each call
 * that returns 1 delivered an entry and another follows; the call that
 * returns 0 after an entry still delivered one (check the name).
 * @{ */

/**
 * @brief Lists the sound outputs.
 * @param first Non-zero: start from the first output.
 * @param name Out: the description, cut to nameSize characters, with its
 *        NUL (the buffer holds nameSize + 1 bytes).
 * @param nameSize Characters to copy at most (0 or more).
 * @param guid Out: the output's identifier, for the open functions.
 * @return 1 when another output follows; 0 after the last, or with "There
 *         are no compatible output devices present." (nothing written) or
 *         "Invalid buffer sent to a device list.".
 * @par Thread
 * Any; one cursor for the library.
 */
HCY_API int hcyGetOutputDevices(int first, char* name, int nameSize, HCYGUID* guid);
/**
 * @brief Lists the capture devices (DirectSound 8 form).
 * @param first Non-zero: start from the first.
 * @param name Out: the description (nameSize + 1 bytes).
 * @param nameSize Characters to copy at most.
 * @param guid Out: the identifier, for hcyOpenAudioDeviceDS().
 * @return As hcyGetOutputDevices(); "There are no compatible input devices
 *         present." when there is none.
 * @par Thread
 * Any.
 */
HCY_API int hcyGetCaptureDevices(int first, char* name, int nameSize, HCYGUID* guid);
/**
 * @brief Lists the wave inputs (microphones).
 * @param first Non-zero: start from the first.
 * @param name Out: the product name (at most 31 characters, nameSize + 1
 *        bytes).
 * @param nameSize Characters to copy at most.
 * @param waveInId Out: the input's id, for the open functions.
 * @return 1 when another input follows, else 0; 0 with "There are no
 *         compatible input devices present." or "Invalid buffer sent to a
 *         device list.".
 * @par Thread
 * Any.
 */
HCY_API int hcyGetInputDevices(int first, char* name, int nameSize, uint32_t* waveInId);
/** @} */

/** @name Opening devices
 * Each returns the device's handle, or -1. Every open needs a running
 * library ("Tervale has not been initialized"). A failed open leaves the
 * message of the step that failed, among them "Could not open input
 * device.<reason>", "Input device open failed with code <n>.", "Could not
 * open input device.  Device already allocated.", "Failed to create
 * DirectSound object.<reason>", "DirectSound object create failed with code
 * <n>.", "CreateSoundBuffer failed with code <n>h", "Primary buffer SetFormat
 * failed with code <n>h", "Failed to create DirectSoundCapture
 * object.<reason>", "Could not start the capture thread.". A waveInId of
 * 0xFFFFFFFF (-1) and a NULL GUID name the default input and output. On
 * Linux a host that made no sound endpoints of its own gets the system's
 * default ALSA card, or where there is none a null device (an output that
 * plays into nothing, a silent input): HCY_AUDIO_BACKEND or
 * hcyplatUseSoundBackend() choose.
 * @{ */

/**
 * @brief Opens a sound card: a wave input and a sound output.
 * @param waveInId The input (hcyGetInputDevices()); 0xFFFFFFFF: default.
 * @param output The output (hcyGetOutputDevices()); NULL: default.
 * @param directSound NULL, or the host's DirectSound object to play through
 *        (output is then not used), as the opaque handle the platform handed
 *        out (hcyplatCreateDirectSound()); the object stays the host's.
 * @return The handle, or -1; -1 with "Invalid DirectSound object sent to
 *         OpenAudioDevice." for a value the platform did not hand out (it
 *         is never read).
 * @par Thread
 * Any; the device's capture thread delivers its blocks.
 */
HCY_API int hcyOpenAudioDevice(uint32_t waveInId, const HCYGUID* output, void* directSound);
/**
 * @brief Opens a sound card, as hcyOpenAudioDevice(), with the host's primary
 * buffer.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param output The output; NULL: default.
 * @param directSound NULL, or the host's DirectSound object as the
 *        platform's handle (hcyplatCreateDirectSound()).
 * @param primaryBuffer NULL, or its primary buffer as the platform's handle
 *        (hcyplatCreatePrimaryBuffer()); used with directSound only. A value
 *        the platform did not hand out gives -1 and "Invalid DirectSound
 *        object sent to ..." or "Invalid primary buffer sent to ...".
 * @return The handle, or -1 (also with "Error creating DirectSound
 *         object.").
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenAudioDeviceEx(uint32_t waveInId, const HCYGUID* output, void* directSound,
                                 void* primaryBuffer);
/**
 * @brief Opens a sound card by input id and output identifier.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param output The output; NULL: default.
 * @return The handle, or -1 (also with "Error creating DirectSound
 *         object.").
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenAudioDeviceSimple(uint32_t waveInId, const HCYGUID* output);
/**
 * @brief Opens the default sound card (default input and output).
 * @return The handle, or -1 (also with "Error creating DirectSound
 *         object.").
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenAudioDeviceDefault(void);
/**
 * @brief Opens a sound card at given sample rates.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param inputRate Capture rate [Hz].
 * @param output The output; NULL: default.
 * @param outputRate Playing rate [Hz].
 * @return The handle, or -1 (also with "Error creating DirectSound
 *         object.").
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenAudioDeviceSR(uint32_t waveInId, uint32_t inputRate, const HCYGUID* output,
                                 uint32_t outputRate);
/**
 * @brief Opens a sound card whose input is a DirectSound 8 capture device.
 * @param capture The capture device (hcyGetCaptureDevices()); NULL: default.
 * @param output The output; NULL: default.
 * @return The handle, or -1 (also "CreateCaptureBuffer failed with code
 *         <n>h", "SetCaptureNotifications failed with code <n>h").
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenAudioDeviceDS(const HCYGUID* capture, const HCYGUID* output);
/**
 * @brief Opens a stereo card as two halves, left (#CHANNEL_LEFT) and right
 * (#CHANNEL_RIGHT), each with its own microphone channel and ear.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param output The output; NULL: default.
 * @param directSound NULL, or the host's DirectSound object as the
 *        platform's handle (hcyplatCreateDirectSound()).
 * @param primaryBuffer NULL, or its primary buffer as the platform's handle
 *        (hcyplatCreatePrimaryBuffer()); used with directSound only. A value
 *        the platform did not hand out gives -1 and "Invalid DirectSound
 *        object sent to ..." or "Invalid primary buffer sent to ...".
 * @return The handle, or -1.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenSplitDevice(uint32_t waveInId, const HCYGUID* output, void* directSound,
                               void* primaryBuffer);
/**
 * @brief Opens a split stereo card by input id and output identifier.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param output The output; NULL: default.
 * @return The handle, or -1.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenSplitDeviceSimple(uint32_t waveInId, const HCYGUID* output);
/**
 * @brief Opens the default sound card as a split stereo card.
 * @return The handle, or -1.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenSplitDeviceDefault(void);
/**
 * @brief Opens a split stereo card at given sample rates.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param inputRate Capture rate [Hz].
 * @param output The output; NULL: default.
 * @param outputRate Playing rate [Hz].
 * @return The handle, or -1.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenSplitDeviceSR(uint32_t waveInId, uint32_t inputRate, const HCYGUID* output,
                                 uint32_t outputRate);
/**
 * @brief Opens a split stereo card with a DirectSound 8 capture device.
 * @param capture The capture device; NULL: default.
 * @param output The output; NULL: default.
 * @return The handle, or -1.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenSplitDeviceDS(const HCYGUID* capture, const HCYGUID* output);
/**
 * @brief Opens a multi-channel card (one operator per channel), with the
 * channel mask of hcySetMultiDeviceChannelMask() and the library's sample
 * rate.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param output The output; NULL: default.
 * @param inputArgument Capture channels, 1 to 32.
 * @param outputArgument Output channels, 1 to 32.
 * @return The handle, or -1 (also "Channel count must be between 1 and
 *         32").
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenMultiDevice(uint32_t waveInId, const HCYGUID* output, int inputArgument,
                               int outputArgument);
/**
 * @brief Opens the default sound card as a multi-channel card.
 * @param inputArgument Capture channels, 1 to 32.
 * @param outputArgument Output channels, 1 to 32.
 * @return The handle, or -1.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenMultiDeviceDefault(int inputArgument, int outputArgument);
/**
 * @brief The DirectSound form of multi-channel cards: not available.
 * @param unused1 Ignored.
 * @param unused2 Ignored.
 * @return -1 always, leaving the last error unchanged.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenMultiDeviceDS(int unused1, int unused2);
/**
 * @brief Opens a record device: a wave input recorded straight to a WAV file
 * (hcyStartRecord()), as 16-bit PCM.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @return The handle, or -1 with "OpenRecordDevice could not open input
 *         device ID <id>." or "MMI Record Device <id>, waveInOpen failed with
 *         code <n>.".
 * @par Thread
 * Any; the device's capture thread writes the file.
 */
HCY_API int hcyOpenRecordDevice(uint32_t waveInId);
/**
 * @brief Opens a record device whose channels go through a coder.
 * @param waveInId The input; 0xFFFFFFFF: default.
 * @param codec 1 mu-law, 2 CVSD, 3 ADPCM, any other 16-bit PCM.
 * @param formatSource NULL, or the platform's handle of a sound buffer
 *        (hcyplatCreatePrimaryBuffer()) whose format (rate, channels) the
 *        recording takes; another value gives -1 and "Invalid primary buffer
 *        sent to OpenRecordDeviceEx.".
 * @return The handle, or -1 with the input's message.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenRecordDeviceEx(uint32_t waveInId, int codec, void* formatSource);
/**
 * @brief Opens a playback device: it plays WAV files (hcyStartPlayback())
 * into the radios wired to it for transmission, at real time.
 * @return The handle, or -1 with "Tervale has not been initialized".
 * @par Thread
 * Any; a timer thread plays the file.
 */
HCY_API int hcyOpenPlaybackDevice(void);
/**
 * @brief Opens a data device, a sound card whose microphone and speaker are
 * the host: blocks posted with hcyPostDataDevice() go out on the radios and
 * interphones wired to it for transmission (while it is keyed), and what the
 * radios wired to it for reception hear comes back through the callbacks.
 * @param type #DATADEV_TYPE_SPEECH opens the speech device; any other value a
 *        data device.
 * @param audio The audio callback, or NULL.
 * @param notify The notify callback, or NULL.
 * @return The handle, or -1 with "Tervale has not been initialized" or
 *         "Could not start the data device's worker thread.".
 * @par Thread
 * Any; both callbacks run on the device's own thread, in the order of the
 * events, with no lock of the library held. Once its close returned, no
 * callback of the device runs.
 */
HCY_API int hcyOpenDataDevice(int type, DataDeviceAudioProc audio, DataDeviceNotifyProc notify);
/**
 * @brief Opens a data device without callbacks.
 * @param type As hcyOpenDataDevice().
 * @return The handle, or -1.
 * @par Thread
 * Any.
 */
HCY_API int hcyOpenDataDeviceSimple(int type);
/** @} */

/** @name Closing devices
 * A close detaches every receive path of every radio and interphone to the
 * device and unkeys what the device keyed. Each kind has its close; all six
 * close any kind.
 * @{ */

/**
 * @brief Closes a sound card.
 * @param device The device's handle.
 * @return 1 once the device is closed; 0 without a message when no device
 *         has the handle. A failure while closing ("waveInClose failed.", a
 *         file's write error) is left in the last error; the result stays 1.
 * @par Thread
 * Any, also the device's own callback; returns once the device's threads
 * ended.
 */
HCY_API int hcyCloseAudioDevice(int device);
/**
 * @brief Closes a split stereo card.
 * @param device The device's handle.
 * @return As hcyCloseAudioDevice().
 * @par Thread
 * Any.
 */
HCY_API int hcyCloseSplitDevice(int device);
/**
 * @brief Closes a multi-channel card.
 * @param device The device's handle.
 * @return As hcyCloseAudioDevice().
 * @par Thread
 * Any.
 */
HCY_API int hcyCloseMultiDevice(int device);
/**
 * @brief Closes a data or speech device, after the block or transcription
 * it has in hand.
 * @param device The device's handle.
 * @return As hcyCloseAudioDevice().
 * @par Thread
 * Any, also its own callback (which then finishes); no callback of the
 * device runs after it returned.
 */
HCY_API int hcyCloseDataDevice(int device);
/**
 * @brief Closes a record device, stopping its recording with every sample
 * captured up to the stop in the file.
 * @param device The device's handle.
 * @return As hcyCloseAudioDevice(); "Could not write <file>: <reason>" is
 *         left when the file could not be completed.
 * @par Thread
 * Any.
 */
HCY_API int hcyCloseRecordDevice(int device);
/**
 * @brief Closes a playback device, stopping its playback.
 * @param device The device's handle.
 * @return As hcyCloseAudioDevice().
 * @par Thread
 * Any.
 */
HCY_API int hcyClosePlaybackDevice(int device);
/** @} */

/** @name Device settings, keying, data and WAV files
 * @{ */

/**
 * @brief Sets the capture block size of a device or of devices opened from
 * now on.
 * @param device A device; below 0: the library default (no hcyInit()
 *        needed).
 * @param bytes Block size [bytes], 64 to 65536 (default 2048: 64 ms at
 *        16 kHz); an open DirectSound 8 card keeps the size it opened with.
 * @return 1; 0 with "Capture buffer size must be between 64 and 65536",
 *         "Tervale has not been initialized" or "Invalid device handle sent
 *         to SetCaptureSize.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetCaptureSize(int device, uint32_t bytes);
/**
 * @brief Sets the library's sample rate: devices opened from now on capture
 * at it, data devices' posted blocks are taken to be at it, WAV record
 * radios record at it.
 * @param samplesPerSecond The rate [Hz], 100 to 200000 (default 16000).
 * @return 1; 0 with "Sample rate must be between 100 and 200000".
 * @par Thread
 * Any.
 */
HCY_API int hcySetDefaultSampleRate(uint32_t samplesPerSecond);
/**
 * @brief Sets the speaker-position channel mask of multi-channel cards
 * opened from now on.
 * @param channelMask The mask (default 0: none).
 * @return 1.
 * @par Thread
 * Any.
 */
HCY_API int hcySetMultiDeviceChannelMask(uint32_t channelMask);
/**
 * @brief Stores a sound card's sidetone volume (no sidetone is played).
 * @param device A device.
 * @param volume 0.0 to 1.0.
 * @return 1 for a sound card, 0 for other kinds; 0 without a message for an
 *         unknown handle; 0 with "Non-finite value sent to
 *         SetSidetoneVolume.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetSidetoneVolume(int device, float volume);
/**
 * @brief Switches voice-operated keying (VOX) of a mono device: loud blocks
 * key its radios, quiet ones after the off delay unkey them.
 * @param device A device.
 * @param on Non-zero: on (default off).
 * @return 1; 0 with "SetVoxEnable error. Invalid device handle.\n".
 * @par Thread
 * Any; the keying happens on the device's capture thread.
 */
HCY_API int hcySetVoxEnable(int device, int on);
/**
 * @brief Sets the VOX level of a mono device.
 * @param device A device.
 * @param level Block level that keys (RMS level / 100 of the block, on the
 *        library's scale; default 0.008); equal counts as loud.
 * @return 1; 0 with "SetVoxLevel error. Invalid device handle.\n" or
 *         "Non-finite value sent to SetVoxLevel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetVoxLevel(int device, float level);
/**
 * @brief Switches VOX of each half of a split stereo card.
 * @param device A split device.
 * @param leftOn Non-zero: VOX on the left half.
 * @param rightOn Non-zero: VOX on the right half.
 * @return 1; 0 with "SetSplitVoxEnable error. Invalid device handle.\n".
 * @par Thread
 * Any.
 */
HCY_API int hcySetSplitVoxEnable(int device, int leftOn, int rightOn);
/**
 * @brief Sets the VOX level of each half of a split stereo card.
 * @param device A split device.
 * @param leftLevel Level of the left half (as hcySetVoxLevel()).
 * @param rightLevel Level of the right half.
 * @return 1; 0 with "SetSplitVoxLevel error. Invalid device handle.\n" or
 *         "Non-finite value sent to SetSplitVoxLevel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetSplitVoxLevel(int device, float leftLevel, float rightLevel);
/**
 * @brief Sets the VOX off delay of each half of a split stereo card.
 * @param device A split device.
 * @param leftDelay Quiet capture blocks kept before the left half unkeys, 0
 *        or more (default 10).
 * @param rightDelay The same for the right half.
 * @return 1; 0 with "SetSplitVoxOffDelay error. Invalid device handle.\n".
 *         A negative delay changes nothing and leaves "Invalid VOX off delay
 *         <delay> for device <handle>." (the result stays 1).
 * @par Thread
 * Any.
 */
HCY_API int hcySetSplitVoxOffDelay(int device, int leftDelay, int rightDelay);
/**
 * @brief Switches VOX of one channel of a multi-channel card.
 * @param device A multi-channel device.
 * @param channel The channel, from 0.
 * @param on Non-zero: on.
 * @return 1; 0 with "SetMultiVoxEnable error. Invalid device handle.\n". A
 *         channel the device lacks leaves "Invalid channel <channel> for
 *         device <handle>." (the result stays 1).
 * @par Thread
 * Any.
 */
HCY_API int hcySetMultiVoxEnable(int device, int channel, int on);
/**
 * @brief Sets the VOX level of one channel of a multi-channel card (the name
 * is spelt so).
 * @param device A multi-channel device.
 * @param channel The channel, from 0.
 * @param level The level (as hcySetVoxLevel()).
 * @return 1; 0 with "SetMultiVoxLevel error. Invalid device handle.\n" or
 *         "Non-finite value sent to SetMultiVoxLevel.". A channel the device
 *         lacks leaves "Invalid channel <channel> for device <handle>.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetMutliVoxLevel(int device, int channel, float level);
/**
 * @brief Sets the VOX off delay of one channel of a multi-channel card.
 * @param device A multi-channel device.
 * @param channel The channel, from 0.
 * @param delay Quiet capture blocks kept before the channel unkeys, 0 or
 *        more.
 * @return 1; 0 with "SetMultiVoxOffDelay error. Invalid device handle.\n".
 *         A negative delay changes nothing and leaves "Invalid VOX off delay
 *         <delay> for device <handle>." (the result stays 1).
 * @par Thread
 * Any.
 */
HCY_API int hcySetMultiVoxOffDelay(int device, int channel, int delay);
/**
 * @brief Writes device data.
 * @param device A device.
 * @param code A DEVDATA_* code marked "set".
 * @param value A pointer to the code's value (see the codes).
 * @return 1 when the code was taken; 0 without a message for an unknown
 *         handle, a code the device does not take or a NULL value; 0 with
 *         "Non-finite value sent to SetDeviceData.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetDeviceData(int device, int code, intptr_t value);
/**
 * @brief Reads device data.
 * @param device A device.
 * @param code A DEVDATA_* code marked "get".
 * @param out A pointer to where the value goes (see the codes).
 * @return 1 when written; 0 for a code the device does not give or a NULL
 *         out; 0 with "Invalid radio handle in call to GetDeviceData.".
 * @par Thread
 * Any.
 */
HCY_API int hcyGetDeviceData(int device, int code, intptr_t out);
/**
 * @brief Posts to a data device: audio to transmit, or a text to speak.
 *
 * A data device takes 16-bit mono samples at the library's sample rate
 * (hcySetDefaultSampleRate()); they go out on the radios it keyed
 * (hcySetRadioPTT()). A speech device takes a UTF-8 text (ending at its NUL
 * or at byteCount), speaks it into HcyTTS<device>_<n>.wav in the working
 * folder, keys its radios and interphones, plays the speech into them and
 * unkeys after it; a new text stops the one still playing.
 * @param device A data or speech device.
 * @param data A pointer to the samples or the text.
 * @param byteCount Their size [bytes], 1 or more (samples: 2 or more).
 * @return 1 when taken (a speech device: also when the speech failed, see
 *         #DEVDATA_SPEAK_FAILED); 0 without a message for another kind of
 *         device, NULL data or a byteCount below 1; 0 with "The data device
 *         could not take the block." when its queue is full.
 * @par Thread
 * Any; the device's own thread sends the block.
 */
HCY_API int hcyPostDataDevice(int device, intptr_t data, int byteCount);
/**
 * @brief Plays a WAV file on a device's speaker.
 * @param device A device with an output.
 * @param path The WAV file (16-bit PCM, one or two channels).
 * @param volume 0.0 (silent) to 1.0 (full).
 * @param channel #CHANNEL_LEFT, #CHANNEL_RIGHT, any other: centred.
 * @param loop Non-zero: repeat until hcyStopWavFile().
 * @return The player's index (0 or more, for hcyStopWavFile()); success
 *         clears the last error, so 0 with an empty hcyGetLastError() is the
 *         first player. 0 with "Tervale has not been initialized", "Invalid
 *         audio device handle sent to PlayWavFile.", "No WAV file name sent
 *         to PlayWavFile.", "Non-finite value sent to PlayWavFile.",
 *         "Error <n>: Could not open <file>: <reason>" or "Could not play
 *         <file>: <reason>.".
 * @par Thread
 * Any; a timer thread plays the file.
 */
HCY_API int hcyPlayWavFile(int device, const char* path, float volume, int channel, int loop);
/**
 * @brief Stops a WAV file playing on a device.
 * @param device The device.
 * @param player The index hcyPlayWavFile() returned.
 * @return 1; 0 with "Tervale has not been initialized" or "Invalid audio
 *         device handle sent to StopWavFile.".
 * @par Thread
 * Any.
 */
HCY_API int hcyStopWavFile(int device, int player);
/** @} */

/** @name Recording and playback devices
 * @{ */

/**
 * @brief Starts recording a record device's input to a WAV file.
 * @param device A record device.
 * @param path A pointer to the NUL-terminated file name.
 * @param append Non-zero: append to the end of an existing file of the same
 *        format (others are refused); 0: a new file.
 * @return 1; 0 with "Invalid record/playback device.", "waveInStart
 *         failed." or "HCY ERROR: Could not open file for recording." (the
 *         prefix twice: a NULL path, a file that cannot be opened, or one to
 *         append to of another format). A recording already running is
 *         stopped first.
 * @par Thread
 * Any; the device's capture thread writes the file.
 */
HCY_API int hcyStartRecord(int device, intptr_t path, int append);
/**
 * @brief Sets the record mode.
 * @param device A record device.
 * @param mode 12: mono; other values: stereo.
 * @return 1; 0 with "Invalid record device.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRecordMode(int device, int mode);
/**
 * @brief The recording position.
 * @param device A record device.
 * @return The length of the file [s] while recording, else 0; 0 with "hcyGetCurrentRecPosn error;
 *         invalid record device.".
 * @par Thread
 * Any.
 */
HCY_API int hcyGetCurrentRecPosn(int device);
/**
 * @brief Stops recording; the file then holds every sample captured up to
 * the stop.
 * @param device A record device.
 * @return 1; 0 with "Invalid record device." or "Could not write <file>:
 *         <reason>" (the file is incomplete).
 * @par Thread
 * Any.
 */
HCY_API int hcyStopRecord(int device);
/**
 * @brief Sets which channel of a stereo file a playback device plays.
 * @param device A playback device.
 * @param channel #CHANNEL_LEFT: the left channel of a stereo file; any other
 *        value: the right.
 * @return 1; 0 with "Invalid record device.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetPlaybackChan(int device, int channel);
/**
 * @brief Plays a WAV file into the radios wired to a playback device for
 * transmission, keying them while it plays.
 * @param device A playback device.
 * @param path A pointer to the NUL-terminated file name.
 * @param startSeconds Where to start in the file [s].
 * @return 1; 0 without a message for a NULL path; 0 with "Invalid
 *         record/playback device.", "Error <n>: Could not open file <file> for
 *         playback." or "Could not play <file>: <reason>.".
 * @par Thread
 * Any; a timer thread plays the file.
 */
HCY_API int hcyStartPlayback(int device, intptr_t path, int startSeconds);
/**
 * @brief Moves a playback device's position.
 * @param device A playback device.
 * @param position The new position [s].
 * @return 1; 0 with "SetNewPlayPos - Invalid playback device.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetNewPlayPosn(int device, int position);
/**
 * @brief The playback position.
 * @param device A playback device.
 * @return The position [s] while playing, else 0; 0 without a message for an
 *         unknown handle.
 * @par Thread
 * Any.
 */
HCY_API int hcyGetCurrentPlayPosn(int device);
/**
 * @brief Stops a playback device's file.
 * @param device A playback device.
 * @return 1; 0 with "Invalid record/playback device.".
 * @par Thread
 * Any.
 */
HCY_API int hcyStopPlayback(int device);
/** @} */

/** @name Radios and interphones
 * @{ */

/**
 * @brief Creates a radio. It is on, tuned to 0 Hz, on the networks of
 * hcySetDefaultNetwork(), exercise 1, 16-bit PCM, transmitting 19.68 dBm,
 * squelch 0.2; it plays and sends nothing until wired to devices.
 * @param model A RADIO_TYPE_* code.
 * @param site DIS site; site, application and entity all 0: taken from
 *        [DIS_IDs] SiteID, HostID, EntityID, else generated.
 * @param application DIS application.
 * @param entity DIS entity.
 * @param radioNumber Radio number; 0: the radio's handle.
 * @return The handle, or -1 with "Tervale has not been initialized".
 * @par Thread
 * Any; with #NET_HLA it waits for the network manager to register the
 * radio's object.
 */
HCY_API int hcyCreateComRadio(uint16_t model, uint16_t site, uint16_t application, uint16_t entity,
                              uint16_t radioNumber);
/**
 * @brief Destroys a radio: it leaves every device, its status dialog closes,
 * its HLA object is deleted.
 * @param radio The radio's handle.
 * @return 1; 0 without a message when no radio has the handle.
 * @par Thread
 * Any.
 */
HCY_API int hcyDestroyComRadio(int radio);
/**
 * @brief Creates an interphone station: an intercom telephone that dials,
 * rings, answers, hangs up and talks over PDUs 160 and 161.
 * @param station The station number.
 * @param site DIS site; site, application and entity all 0: from [DIS_IDs]
 *        or generated.
 * @param application DIS application.
 * @param entity DIS entity.
 * @param unused Ignored.
 * @return The handle, or -1 with "Tervale has not been initialized".
 * @par Thread
 * Any.
 */
HCY_API int hcyCreateInterphone(int station, uint16_t site, uint16_t application, uint16_t entity,
                                int unused);
/**
 * @brief Destroys an interphone station.
 * @param interphone The station's handle.
 * @return 1; 0 without a message for an unknown handle.
 * @par Thread
 * Any.
 */
HCY_API int hcyDestroyInterphone(int interphone);
/**
 * @brief Dials another station; the host lifts the handset first
 * (hcyInterphoneSetHook() with 0).
 * @param interphone The station's handle.
 * @param station The number to dial.
 * @return 1; 0 without a message for an unknown handle.
 * @par Thread
 * Any.
 */
HCY_API int hcyInterphoneDial(int interphone, int station);
/**
 * @brief Lifts or hangs up the handset. Off hook gives dial tone, or answers
 * a ringing call; on hook hangs up, ending the call.
 * @param interphone The station's handle.
 * @param hookState 0: off hook; non-zero: on hook.
 * @return 1; 0 without a message for an unknown handle.
 * @par Thread
 * Any.
 */
HCY_API int hcyInterphoneSetHook(int interphone, int hookState);
/**
 * @brief Changes a station's number.
 * @param interphone The station's handle.
 * @param station The new number.
 * @return 1; 0 without a message for an unknown handle.
 * @par Thread
 * Any.
 */
HCY_API int hcyInterphoneSetStationID(int interphone, int station);
/** @} */

/** @name Radio parameters
 * Setters return 1, or 0 with a message for an unknown handle or a refused
 * value. Every floating value must be finite ("Non-finite value sent to
 * <function>." otherwise). Changes to what a transmitter sends reach the
 * network with its next Transmitter PDU (at once while keyed).
 * @{ */

/**
 * @brief Tunes a radio.
 * @param radio A radio.
 * @param receiveHz Receive frequency [Hz], truncated to whole hertz.
 * @param transmitHz Transmit frequency [Hz]; 0 unkeys the radio and keeps it
 *        from keying. Six-channel sets (#RADIO_TYPE_MODEL1008) take negative
 *        codes: receive -(slot x 65536 + channel) fills slot 0 to 5, transmit
 *        -channel.
 * @return 1; 0 without a message for an unknown handle; 0 with "Non-finite
 *         value sent to SetRadioFrequency."; a 1008 set leaves "Selected
 *         receive channel out of range." or "Selected transmit channel out of
 *         range." for values of 0 or more. ARC and SINCGARS radios round to
 *         100 Hz; ARC-186 and ARC-190 tune to 0 Hz outside their bands.
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioFrequency(int radio, double receiveHz, double transmitHz);
/**
 * @brief Puts a radio on a net: with a net other than 0, it hears exactly the
 * transmitters of the same net, whatever their frequency.
 * @param radio A radio.
 * @param net The net, 0 to 65535 (0: by frequency, the default).
 * @return 1; 0 without a message for an unknown handle.
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioNet(int radio, int net);
/**
 * @brief Sets the volume at which a radio or interphone plays what it hears.
 * @param handle A radio or interphone.
 * @param volume 0.0 to 1.0 (default 1.0).
 * @return 1; 0 with "Master volume must be between 0.0 and 1.0."; 0 without a
 *         message for an unknown handle.
 * @par Thread
 * Any.
 */
HCY_API int hcySetMasterVolume(int handle, float volume);
/**
 * @brief Sets a radio's squelch: a transmitter is heard when its propagation
 * times tuner factor (0 to 1) exceeds the level; below 0.2 the radio plays
 * open-squelch noise.
 * @param radio A radio.
 * @param level 0.0 to 1.0 (default 0.2).
 * @return 1; 0 with "SetSquelchLevel error. Invalid radio handle.\n" or
 *         "Non-finite value sent to SetSquelchLevel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetSquelchLevel(int radio, float level);
/**
 * @brief Sets how a radio or interphone codes its voice.
 * @param handle A radio or interphone.
 * @param encoding An ENCODING_* code; 0 means #ENCODING_PCM16.
 * @return 1; 0 with "Invalid encoding scheme" or "SetEncoding error. Invalid
 *         radio handle.\n".
 * @par Thread
 * Any.
 */
HCY_API int hcySetEncoding(int handle, int encoding);
/**
 * @brief Places a radio's antenna by geodetic position (WGS-84).
 * @param radio A radio.
 * @param latitude [degrees], -90 to 90.
 * @param longitude [degrees], -180 to 180.
 * @param altitude Height above the ellipsoid [m].
 * @return 1; 0 with "Invalid radio handle sent to SetAntWorldPosn.",
 *         "Non-finite value sent to SetAntWorldPosn." or "Cannot call
 *         SetWorldPosition in Entity-Attach mode".
 * @par Thread
 * Any.
 */
HCY_API int hcySetAntWorldPosn(int radio, double latitude, double longitude, double altitude);
/**
 * @brief Places a radio's antenna in DIS world coordinates (geocentric,
 * earth-centred, earth-fixed). At the origin (the default) the radio has no
 * position: no loss and no line of sight apply.
 * @param radio A radio.
 * @param x [m].
 * @param y [m].
 * @param z [m].
 * @return 1; 0 with "Invalid radio handle sent to SetAntXYZPosn.",
 *         "Non-finite value sent to SetAntXYZPosn." or "Cannot call
 *         SetXYZPosition in Entity-Attach mode".
 * @par Thread
 * Any.
 */
HCY_API int hcySetAntXYZPosn(int radio, double x, double y, double z);
/**
 * @brief Sets the antenna's offset, added to the world position (also to an
 * attached entity's).
 * @param radio A radio.
 * @param x [m].
 * @param y [m].
 * @param z [m].
 * @return 1; 0 with "Invalid radio handle sent to SetAntRelPosn." or
 *         "Non-finite value sent to SetAntRelPosn.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetAntRelPosn(int radio, float x, float y, float z);
/**
 * @brief Sets a radio's receiver noise floor: the propagation factor is the
 * received power over it, at most 1.
 * @param radio A radio.
 * @param noiseLevel [W], above 0 (default 1e-11 W, -80 dBm; see also
 *        #RD_NOISE_LEVEL_DBM).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioNoiseLevel." or
 *         "Non-finite value sent to SetRadioNoiseLevel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioNoiseLevel(int radio, double noiseLevel);
/**
 * @brief Sets a radio's transmitted power, as sent in its Transmitter PDU.
 * @param radio A radio.
 * @param power [dBm] (default 19.68 dBm, about 93 mW).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioXmitPower." or
 *         "Non-finite value sent to SetRadioXmitPower.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioXmitPower(int radio, double power);
/**
 * @brief Sets a radio's receive antenna gain.
 * @param radio A radio.
 * @param gain [dB] (default 1.64 dB).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioRecvGain." or
 *         "Non-finite value sent to SetRadioRecvGain.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioRecvGain(int radio, double gain);
/**
 * @brief Sets a secure radio's crypto system: a transmission on another
 * system or key is heard but not decoded (the NoCode<system>Wav prompt of
 * [Secure] plays instead).
 * @param radio A radio.
 * @param system The crypto system, 0 to 65535 (0: none).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioCryptoSystem.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioCryptoSystem(int radio, int system);
/**
 * @brief Sets a secure radio's crypto key.
 * @param radio A radio.
 * @param key The key, 0 to 65535 (0: none: keyed, the radio sends nothing
 *        and plays NoFill<system>Wav, unless #RD_ALLOW_PLAIN_XMIT lets it
 *        send in clear).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioCryptoKey.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioCryptoKey(int radio, int key);
/**
 * @brief Sets a secure radio's spread-spectrum bits, as sent in its
 * Transmitter PDU (other models: stored nowhere, result 1).
 * @param radio A radio.
 * @param spreadSpectrum Bit 0 frequency hopping, bit 1 pseudo-noise, bit 2
 *        time hopping.
 * @return 1; 0 with "Invalid radio handle sent to SetRadioSpreadSpectrum.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioSpreadSpectrum(int radio, int spreadSpectrum);
/**
 * @brief Sets a secure radio's frequency-hopping key (the low byte of the FH
 * net id of its hop-net record; other models: result 1).
 * @param radio A radio.
 * @param key The key, 0 to 255.
 * @return 1; 0 with "Invalid radio handle sent to SetRadioFreqHopKey.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioFreqHopKey(int radio, int key);
/**
 * @brief Sets a radio's modulation type, as sent in its Transmitter PDU.
 * @param radio A radio.
 * @param major DIS major modulation, 0 to 65535 (default 3).
 * @param detail DIS detail modulation, 0 to 65535 (default 1).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioModulation.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioModulation(int radio, int major, int detail);
/**
 * @brief Sets a radio's bandwidth: half of it is the width of the tuner
 * curve of its listeners.
 * @param radio A radio.
 * @param bandwidth [Hz] (default 100 Hz); 0: heard only on the exact
 *        frequency.
 * @return 1; 0 with "Invalid radio handle sent to SetRadioBandwidth." or
 *         "Non-finite value sent to SetRadioBandwidth.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioBandwidth(int radio, float bandwidth);
/**
 * @brief Sets a radio's DIS modulation system field.
 * @param radio A radio.
 * @param system 0 to 65535 (default 1).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioSystem.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioSystem(int radio, int system);
/**
 * @brief Switches a radio on or off; off it hears and sends nothing (a keyed
 * radio is released first).
 * @param radio A radio.
 * @param on Non-zero: on (default on).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioOnOff.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioOnOff(int radio, int on);
/**
 * @brief Delays a radio's transmissions.
 * @param radio A radio.
 * @param delayMs [ms], 0 or more (default 0).
 * @return 1; 0 with "Invalid radio handle sent to SetRadioTransmitDelay.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioTransmitDelay(int radio, int delayMs);
/**
 * @brief Stores an attenuation for one entity's transmitters (no model
 * reads it).
 * @param radio A radio.
 * @param site The transmitting entity's site (0 to 65535).
 * @param application Its application.
 * @param entity Its entity.
 * @param attenuation The attenuation.
 * @return 1; 0 with "Invalid radio handle sent to SetRadioSignalAtten." or
 *         "Non-finite value sent to SetRadioSignalAtten.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioSignalAtten(int radio, int site, int application, int entity,
                                   float attenuation);
/**
 * @brief Names the one sender a raw DIS radio (#RADIO_TYPE_RAW_DIS) plays,
 * and the signal it plays at; other models return 0 without a message.
 * @param radio A raw DIS radio.
 * @param a The sender's site.
 * @param b Its application.
 * @param c Its entity.
 * @param d Its radio number.
 * @param value The signal, 0.0 to 1.0.
 * @return 1; 0 with "Invalid radio handle sent to SetSNR." or "Non-finite
 *         value sent to SetSNR.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetSNR(int radio, int a, int b, int c, int d, float value);
/**
 * @brief Attaches a radio's antenna to its entity: its position follows the
 * entity's Entity State PDUs (the position setters are then refused).
 * @param radio A radio.
 * @param on Non-zero: attached.
 * @return 1; 0 with "Invalid radio handle sent to SetEntityAttach.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetEntityAttach(int radio, int on);
/**
 * @brief Switches the free-space propagation loss of a radio's reception.
 * @param radio A radio.
 * @param on Non-zero: on (default on).
 * @return 1; 0 with "Invalid radio handle sent to SetDoPropLossModel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetDoPropLossModel(int radio, int on);
/**
 * @brief Switches the round-earth line of sight (above 30 MHz).
 * @param radio A radio.
 * @param on Non-zero: on (default on).
 * @return 1; 0 with "Invalid radio handle sent to SetDoRoundEarthModel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetDoRoundEarthModel(int radio, int on);
/**
 * @brief Switches the terrain model (none is built: stored only).
 * @param radio A radio.
 * @param on Non-zero: on.
 * @return 1; 0 with "Invalid radio handle sent to SetDoTerrainModel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetDoTerrainModel(int radio, int on);
/**
 * @brief Switches the tuner curve (off: every frequency is heard fully).
 * @param radio A radio.
 * @param on Non-zero: on (default on).
 * @return 1; 0 with "Invalid radio handle sent to SetDoTunerModel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetDoTunerModel(int radio, int on);
/**
 * @brief Switches the squelch test (off: every transmitter passes).
 * @param radio A radio.
 * @param on Non-zero: on (default on).
 * @return 1; 0 with "Invalid radio handle sent to SetDoSquelchModel.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetDoSquelchModel(int radio, int on);
/**
 * @brief Sets a radio's sharing mode (stored).
 * @param radio A radio.
 * @param mode The mode.
 * @return 1; 0 with "Invalid radio handle in call to SetRadioSharingMode.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioSharingMode(int radio, int mode);
/**
 * @brief Writes radio data.
 * @param handle A radio; an interphone accepts and ignores every id.
 * @param id An RD_* id marked "set".
 * @param value A pointer to the id's value (see the ids).
 * @return 1 when taken; 0 without a message for an id the model does not
 *         take or a NULL value; 0 with "Invalid radio handle in call to
 *         SetRadioData.", "Non-finite value sent to SetRadioData.",
 *         "RD_HQ_SET_WOD index must be 0 to 5" or (WAV record radio) "Could
 *         not record <file> at <rate> Hz.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioData(int handle, int id, intptr_t value);
/**
 * @brief Reads radio data, or an interphone's call words.
 * @param handle A radio or interphone (any handle for #RD_MAX_RECV_VALUE).
 * @param id An RD_* id marked "get", or an ICS_DATA_* word.
 * @param out Where the value goes (see the ids).
 * @return 1 when written (#RD_XMIT_ID: see there); 0 without a message for an
 *         id the model does not give; 0 with "Null pointer sent to
 *         GetRadioData." or "Invalid radio handle in call to GetRadioData.".
 * @par Thread
 * Any.
 */
HCY_API int hcyGetRadioData(int handle, int id, void* out);
/**
 * @brief Opens the radio's status dialog, "Radio Model Status": its identity,
 * frequency, gain, position and PDUs sent, the transmitters it hears and the
 * fields of the one selected, refreshed once a second.
 *
 * Where an X display opens (DISPLAY) it is a window on a thread of its own;
 * without one it is drawn as text (hcyplatGetDialogText(); the host selects
 * a row with hcyplatChooseDialogRow()). It closes when the radio is destroyed
 * and at hcyExit().
 * @param radio A radio.
 * @return 1; 0 with "Tervale has not been initialized", "Invalid radio handle
 *         in call to ShowRadioData." or "This radio has no status dialog.".
 * @par Thread
 * Any; the dialog refreshes from the update-tick thread.
 */
HCY_API int hcyShowRadioData(int radio);
/** @} */

/** @name Wiring radios and interphones to devices
 * The wiring functions need a running library ("Tervale has not been
 * initialized"), a radio or interphone ("A radio must be created before
 * calling <function>.") and a device ("An audio device must be opened before
 * calling <function>.").
 * @{ */

/**
 * @brief Wires a radio or interphone's reception to a device's speaker (or a
 * data device's audio callback).
 * @param handle A radio or interphone.
 * @param device A device.
 * @param channel #CHANNEL_LEFT, #CHANNEL_RIGHT, any other: centred; when
 *        turning off, 0 matches every path to the device.
 * @param on Non-zero: wire; 0: stop.
 * @return 1, or 0 after a message.
 * @par Thread
 * Any.
 */
HCY_API int hcySetComRadioRecv(int handle, int device, int channel, int on);
/**
 * @brief Wires a radio's reception to every channel of a multi-channel card,
 * each at its own gain (interphones: nothing happens).
 * @param handle A radio or interphone.
 * @param device A multi-channel device.
 * @param on Non-zero: wire; 0: stop.
 * @param channelGains count gains, 0.0 to 1.0, one per channel from 0.
 * @param count The number of gains, 0 or more.
 * @return 1, or 0 after a message ("Invalid channel gains sent to
 *         SetComMultiRecv." and "Non-finite value sent to SetComMultiRecv."
 *         among them; the other messages name SetComRadioRecv).
 * @par Thread
 * Any.
 */
HCY_API int hcySetComMultiRecv(int handle, int device, int on, float* channelGains, int count);
/**
 * @brief Puts a radio or interphone on a device's transmit list: keying the
 * device (hcySetRadioPTT(), VOX, a data device's keying) keys it and its
 * microphone feeds it.
 * @param handle A radio or interphone.
 * @param device A device.
 * @param on Non-zero: add; 0: remove (unkeying it).
 * @return 1 (also when it was on the list already: a radio then leaves
 *         "Transmit path already established for this device"), or 0 after
 *         a message.
 * @par Thread
 * Any.
 */
HCY_API int hcySetComRadioXmit(int handle, int device, int on);
/**
 * @brief Puts a radio or interphone on the transmit list of one half of a
 * split stereo card.
 * @param handle A radio or interphone.
 * @param device A split device.
 * @param channel #CHANNEL_LEFT or #CHANNEL_RIGHT.
 * @param on Non-zero: add; 0: remove.
 * @return 1, or 0 after a message (the checks' messages name
 *         SetComRadioXmit): "Invalid channel <channel> for device <handle>."
 *         for a device without that half (a mono card among them), "Transmit
 *         path already established for this device" for a second path to a
 *         half.
 * @par Thread
 * Any.
 */
HCY_API int hcySetComStereoXmit(int handle, int device, int channel, int on);
/**
 * @brief Sets which channels of a multi-channel card a radio transmits from
 * (interphones: nothing happens).
 * @param handle A radio or interphone.
 * @param device A multi-channel device.
 * @param channelFlags count flags, one per channel from 0: non-zero puts the
 *        radio on that channel's list.
 * @param count The number of flags, 0 or more.
 * @return 1, or 0 after a message ("A multi-channel audio device must be
 *         created.", "Invalid channel flags sent to SetComMultiXmit."; the
 *         other messages name SetComRadioXmit). Flags set past the device's
 *         channels leave "Invalid channel <channel> for device <handle>.".
 * @par Thread
 * Any.
 */
HCY_API int hcySetComMultiXmit(int handle, int device, const int* channelFlags, int count);
/**
 * @brief Push-to-talk: keys or releases every radio and interphone on a
 * device's transmit list. Note that it takes a device, not a radio.
 *
 * Keyed, a radio sends its Transmitter PDU ("on"), then its voice in Signal
 * PDUs from the device's capture blocks; on release the last block goes out
 * before the "off" Transmitter PDU. A radio tuned to 0 Hz transmit does not
 * key.
 * @param device A device.
 * @param on Non-zero: key; 0: release.
 * @param channel Split device: #CHANNEL_LEFT or #CHANNEL_RIGHT (the half to
 *        key); multi-channel device: the channel from 0; others: ignored.
 * @return 1; 0 with "Invalid audio device handle sent to SetRadioPTT.". A
 *         radio that refuses the keying stays unkeyed and says why: "Radio
 *         <handle>: No crypto key loaded." (a secure radio without a key),
 *         "Radio <handle>: Transmit frequency <hz> Hz is outside the radio's
 *         band." (ARC-164, ARC-186, ARC-190); the result stays 1. A
 *         channel a split or multi-channel device lacks keys nothing and
 *         leaves "Invalid channel <channel> for device <handle>." (the result
 *         stays 1).
 * @par Thread
 * Any.
 */
HCY_API int hcySetRadioPTT(int device, int on, int channel);
/** @} */

#ifdef __cplusplus
}
#endif

#endif /* HALCYRA_HALCYRA_H */
