/*
 * Halcyra: a live radio voice channel for simulator hosts.
 *
 * The host drives the library through these 120 functions. Conventions:
 * - Results: 1 for success and 0 for failure; a handle (1 or more) or -1 for
 *   the functions that create or open something; texts for the text getters.
 * - On failure the library keeps a text, "HCY ERROR: " followed by the
 *   message, that hcyGetLastError returns. Success never clears it; only a
 *   successful hcyInit does.
 * - Radios, devices and interphones share one handle counter, which restarts
 *   at 1 with each successful hcyInit.
 * - Texts returned belong to the library. hcyGetLastError hands the calling
 *   thread a copy that stays valid until that thread's next call of it.
 * - Arguments that carry pointers (radio data, device data, posted data,
 *   host sound objects, channel flag arrays) are pointer-sized. A host sound
 *   object is passed as a pointer to the platform's shared pointer that
 *   holds it (plat::LPDIRECTSOUND, plat::LPDIRECTSOUNDBUFFER); the host
 *   keeps ownership.
 * - Name buffers of the device lists must hold name size + 1 bytes.
 */
#ifndef HALCYRA_HALCYRA_H
#define HALCYRA_HALCYRA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(HCY_BUILDING_LIBRARY)
#define HCY_API __attribute__((visibility("default")))
#else
#define HCY_API
#endif

/* A message window of the platform library; 0 = none. */
typedef uintptr_t HCYHWND;

/* A sound device identifier, as the device lists deliver it. */
typedef struct HCYGUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} HCYGUID;

/* The code tables are enumeration constants, not macros, so that they
 * never replace a name inside a C++ namespace. */

/* Network flags: in a radio's or interphone's network mask they say which
 * sources it hears and where its PDUs go. With any of bits 16 to 23 set,
 * Signal traffic uses the high half instead of the low half. */
enum {
    NET_PRIMARY = 0x1,
    NET_SECONDARY = 0x2,
    NET_LOOPBACK = 0x4,
    NET_HLA = 0x8,
    NET_SIGNAL_PRIMARY = 0x10000,
    NET_SIGNAL_SECONDARY = 0x20000
};

/* Model codes of hcyCreateComRadio. Codes 1, 3, 4 and 1104 also name the
 * generic (1) and secure (3, 4, 1104) models; any other code creates a
 * generic radio. */
enum {
    RADIO_TYPE_GENERIC = 0,
    RADIO_TYPE_SECURE = 2,
    RADIO_TYPE_SINCGARS = 5,
    RADIO_TYPE_MODEL1008 = 1008,
    RADIO_TYPE_RAW_DIS = 1010,
    RADIO_TYPE_INTERCOM = 1100,
    RADIO_TYPE_ARC164 = 1101,
    RADIO_TYPE_ARC186 = 1102,
    RADIO_TYPE_ARC190 = 1103,
    RADIO_TYPE_SCANNER = 1105,
    RADIO_TYPE_WAV_RECORD = 1106
};

/* Encoding codes of hcySetEncoding. */
enum {
    ENCODING_MULAW = 1,
    ENCODING_CVSD = 2,
    ENCODING_ADPCM = 3,
    ENCODING_PCM16 = 4,
    ENCODING_CECOM_CVSD = 7
};

/* Reception status of a heard transmitter. */
enum { RECV_STATUS_AUDIBLE = 15, RECV_STATUS_SILENT = 16 };

/* Window message posted to the host's message window on radio activity:
 * wParam = the radio's handle, lParam = 1 reception started, 0 ended. */
enum { WM_CLIENT_RADIO_ACTIVITY = 0x500 };

/* Radio-data ids of hcySetRadioData and hcyGetRadioData. */
enum {
    RD_MAX_RECV_VALUE = 11, /* get, any handle: the largest receive value, -1 when none */
    RD_MAX_SIGNAL = 101,
    RD_IS_TRANSMITTING = 102,
    RD_MAX_AUDIO_LEVEL = 103,
    RD_XMIT_LEVEL = 104,
    RD_HQ_MODE = 105, /* get, ARC-164: HQ word 1 (set as RD_FH_SYNC_OFFSET) */
    RD_XMIT_ID = 106,
    RD_MODE2_FREQ = 202,
    RD_MODE1_FREQ = 203,
    RD_FREQ_MODE = 204,
    RD_RADIO_FLAGS = 205,
    RD_TONE = 206,
    RD_TEST_TONE_WAV = 207,
    RD_AM_SQUELCH = 210,
    RD_FM_SQUELCH = 211,
    RD_AM_MODE_FLAG = 213,
    RD_FM_MODE_FLAG = 214,
    RD_FH_NET_ID = 215,
    RD_FH_SYNC_OFFSET = 216,
    RD_HQ_SET_WOD = 217,
    RD_TOD_WINDOW = 218,
    RD_RECV_CRYPTO_SYSTEM = 219,
    RD_HOP_NOISE_THRESHOLD = 220,
    RD_HOP_NOISE_BYTES = 221,
    RD_HOP_NOISE_SHIFT = 222,
    RD_ALLOW_PLAIN_XMIT = 223,
    RD_XMIT_GAIN = 224,
    RD_NOISE_LEVEL_DBM = 225,
    RD_AUDIBLE_COUNT = 226,
    RD_STRONGEST_XMIT_ID = 227,
    RD_XMIT_FILTER = 228,
    RD_FULL_DUPLEX = 229,
    RD_HOP_SET_ID = 230,
    RD_LOCKOUT_SET_ID = 231,
    RD_TRANSEC_KEY = 232,
    RD_CLEAR_CHANNEL = 233,
    RD_NO_OWN_ENTITY_TEST = 234,
    RD_CVSD_STEP_SMOOTHING = 235,
    RD_CVSD_INTEGRATOR_LEAK = 236,
    RD_CVSD_MAX_STEP = 237,
    RD_CVSD_MIN_STEP_X16 = 238,
    RD_CVSD_DECODER_LOWPASS = 239,
    RD_CVSD_DECODER_GAIN = 240,
    RD_OWN_ENTITY_ANY_RADIO = 241,
    RD_EXTRA_EXERCISES = 242,
    RD_WAV_RECORD_START = 380,
    RD_WAV_RECORD_STOP = 381,
    RD_WAV_RECORD_LENGTH = 382,
    RD_WAV_RECORDING = 383,
    RD_WAV_RECORD_FILE = 384
};

/* Call words of an interphone station, read with hcyGetRadioData: 1 or 0,
 * and the number of the station that rings it. */
enum {
    ICS_DATA_DIAL_TONE = 301, /* off hook with no call pending */
    ICS_DATA_CALLER = 302,    /* the station ringing this one; 0: none */
    ICS_DATA_BUSY = 303,      /* the dialed station answered busy */
    ICS_DATA_RINGBACK = 304   /* the dialed station rings (or answered busy) */
};

/* Device-data codes of hcySetDeviceData, hcyGetDeviceData and the notify
 * callback. */
enum {
    DEVDATA_FILTER_BAND = 401,
    DEVDATA_RECV_GAIN = 403,
    DEVDATA_SHARED_SOURCE = 404,
    DEVDATA_SPEECH_RESULT_READY = 405,
    DEVDATA_SPEECH_RESULT_TEXT = 406,
    DEVDATA_VOICE_NAME = 407,
    DEVDATA_VOICE_NOT_FOUND = 408,
    DEVDATA_SPEAK_FAILED = 409,
    DEVDATA_TEXT_IS_XML = 410,
    DEVDATA_KEYED = 450
};

/* Output channels of receive paths and halves of a split stereo device:
 * left, right (any other channel plays centred). */
enum { CHANNEL_LEFT = 8, CHANNEL_RIGHT = 9 };

/* Data device type that opens the speech device. */
enum { DATADEV_TYPE_SPEECH = 500 };

/* Data-device callbacks. `record` names the heard transmitter (opaque). */
typedef void (*DataDeviceAudioProc)(int32_t radio, void* record, const int16_t* samples,
                                    uint32_t byteCount, uint32_t sampleRate);
typedef void (*DataDeviceNotifyProc)(int32_t radio, void* record, int32_t code, double* value);

/* Library */
HCY_API int hcyInit(HCYHWND window, const char* destinationAddress);
HCY_API int hcyHLAInit(int tickMode, int fomType, const char* federation);
HCY_API int hcyHLAInitEx(int tickMode, int fomType, const char* federation, int createFederation,
                         const char* fedFilePath, int maxJoinTries);
HCY_API int hcyExit(void);
HCY_API const char* hcyGetHCYVersion(uint32_t* version);
HCY_API const char* hcyGetHCYCopyright(void);
HCY_API const char* hcyGetLastError(void);
HCY_API int hcySetHeartbeat(float seconds);
HCY_API void hcySetRecvTimeout(float seconds);
HCY_API int hcySetHLAHeartbeat(int flag);
HCY_API int hcySetDefaultNetwork(uint32_t networkFlags);
HCY_API int hcyEnablePDUs(int flags);
HCY_API int hcySetProtocolVersion(uint32_t version);
HCY_API int hcySetMsgWnd(int handle, HCYHWND window);

/* Network and identifiers */
HCY_API int hcySetNetworkPort(uint32_t port);
HCY_API int hcySetSecondaryPort(uint32_t port);
HCY_API int hcySetMulticastTTL(int networkMask, int timeToLive);
HCY_API int hcySetSubNet(int networkMask, const char* address);
HCY_API int hcySetNetwork(int handle, uint32_t networkFlags);
HCY_API int hcySetExerciseID(int handle, uint32_t exerciseId);
HCY_API int hcySetEntityID(int radio, uint16_t site, uint16_t application, uint16_t entity,
                           uint16_t radioNumber);

/* Device lists */
HCY_API int hcyGetOutputDevices(int first, char* name, int nameSize, HCYGUID* guid);
HCY_API int hcyGetCaptureDevices(int first, char* name, int nameSize, HCYGUID* guid);
HCY_API int hcyGetInputDevices(int first, char* name, int nameSize, uint32_t* waveInId);

/* Opening devices (handle or -1) */
HCY_API int hcyOpenAudioDevice(uint32_t waveInId, const HCYGUID* output, void* directSound);
HCY_API int hcyOpenAudioDeviceEx(uint32_t waveInId, const HCYGUID* output, void* directSound,
                                 void* primaryBuffer);
HCY_API int hcyOpenAudioDeviceSimple(uint32_t waveInId, const HCYGUID* output);
HCY_API int hcyOpenAudioDeviceDefault(void);
HCY_API int hcyOpenAudioDeviceSR(uint32_t waveInId, uint32_t inputRate, const HCYGUID* output,
                                 uint32_t outputRate);
HCY_API int hcyOpenAudioDeviceDS(const HCYGUID* capture, const HCYGUID* output);
HCY_API int hcyOpenSplitDevice(uint32_t waveInId, const HCYGUID* output, void* directSound,
                               void* primaryBuffer);
HCY_API int hcyOpenSplitDeviceSimple(uint32_t waveInId, const HCYGUID* output);
HCY_API int hcyOpenSplitDeviceDefault(void);
HCY_API int hcyOpenSplitDeviceSR(uint32_t waveInId, uint32_t inputRate, const HCYGUID* output,
                                 uint32_t outputRate);
HCY_API int hcyOpenSplitDeviceDS(const HCYGUID* capture, const HCYGUID* output);
HCY_API int hcyOpenMultiDevice(uint32_t waveInId, const HCYGUID* output, int inputArgument,
                               int outputArgument);
HCY_API int hcyOpenMultiDeviceDefault(int inputArgument, int outputArgument);
HCY_API int hcyOpenMultiDeviceDS(int unused1, int unused2);
HCY_API int hcyOpenRecordDevice(uint32_t waveInId);
HCY_API int hcyOpenRecordDeviceEx(uint32_t waveInId, int codec, void* formatSource);
HCY_API int hcyOpenPlaybackDevice(void);
HCY_API int hcyOpenDataDevice(int type, DataDeviceAudioProc audio, DataDeviceNotifyProc notify);
HCY_API int hcyOpenDataDeviceSimple(int type);

/* Closing devices */
HCY_API int hcyCloseAudioDevice(int device);
HCY_API int hcyCloseSplitDevice(int device);
HCY_API int hcyCloseMultiDevice(int device);
HCY_API int hcyCloseDataDevice(int device);
HCY_API int hcyCloseRecordDevice(int device);
HCY_API int hcyClosePlaybackDevice(int device);

/* Device settings, keying, data and WAV files */
HCY_API int hcySetCaptureSize(int device, uint32_t bytes);
HCY_API int hcySetDefaultSampleRate(uint32_t samplesPerSecond);
HCY_API int hcySetMultiDeviceChannelMask(uint32_t channelMask);
HCY_API int hcySetSidetoneVolume(int device, float volume);
HCY_API int hcySetVoxEnable(int device, int on);
HCY_API int hcySetVoxLevel(int device, float level);
HCY_API int hcySetSplitVoxEnable(int device, int leftOn, int rightOn);
HCY_API int hcySetSplitVoxLevel(int device, float leftLevel, float rightLevel);
HCY_API int hcySetSplitVoxOffDelay(int device, int leftDelay, int rightDelay);
HCY_API int hcySetMultiVoxEnable(int device, int channel, int on);
HCY_API int hcySetMutliVoxLevel(int device, int channel, float level);
HCY_API int hcySetMultiVoxOffDelay(int device, int channel, int delay);
HCY_API int hcySetDeviceData(int device, int code, intptr_t value);
HCY_API int hcyGetDeviceData(int device, int code, intptr_t out);
HCY_API int hcyPostDataDevice(int device, intptr_t data, int byteCount);
HCY_API int hcyPlayWavFile(int device, const char* path, float volume, int channel, int loop);
HCY_API int hcyStopWavFile(int device, int player);

/* Recording and playback devices. hcyStartRecord records a record device's
 * input to the WAV file named by path (a NUL-terminated file name): a new
 * file, or with append non-zero the end of an existing file of the same
 * format. hcyStartPlayback plays the WAV file named by path from
 * startSeconds into the radios wired to a playback device. */
HCY_API int hcyStartRecord(int device, intptr_t path, int append);
HCY_API int hcySetRecordMode(int device, int mode);
HCY_API int hcyGetCurrentRecPosn(int device);
HCY_API int hcyStopRecord(int device);
HCY_API int hcySetPlaybackChan(int device, int channel);
HCY_API int hcyStartPlayback(int device, intptr_t path, int startSeconds);
HCY_API int hcySetNewPlayPosn(int device, int position);
HCY_API int hcyGetCurrentPlayPosn(int device);
HCY_API int hcyStopPlayback(int device);

/* Radios and interphones */
HCY_API int hcyCreateComRadio(uint16_t model, uint16_t site, uint16_t application, uint16_t entity,
                              uint16_t radioNumber);
HCY_API int hcyDestroyComRadio(int radio);
HCY_API int hcyCreateInterphone(int station, uint16_t site, uint16_t application, uint16_t entity,
                                int unused);
HCY_API int hcyDestroyInterphone(int interphone);
HCY_API int hcyInterphoneDial(int interphone, int station);
HCY_API int hcyInterphoneSetHook(int interphone, int hookState);
HCY_API int hcyInterphoneSetStationID(int interphone, int station);

/* Radio parameters */
HCY_API int hcySetRadioFrequency(int radio, double receiveHz, double transmitHz);
HCY_API int hcySetRadioNet(int radio, int net);
HCY_API int hcySetMasterVolume(int handle, float volume);
HCY_API int hcySetSquelchLevel(int radio, float level);
HCY_API int hcySetEncoding(int handle, int encoding);
HCY_API int hcySetAntWorldPosn(int radio, double latitude, double longitude, double altitude);
HCY_API int hcySetAntXYZPosn(int radio, double x, double y, double z);
HCY_API int hcySetAntRelPosn(int radio, float x, float y, float z);
HCY_API int hcySetRadioNoiseLevel(int radio, double noiseLevel);
HCY_API int hcySetRadioXmitPower(int radio, double power);
HCY_API int hcySetRadioRecvGain(int radio, double gain);
HCY_API int hcySetRadioCryptoSystem(int radio, int system);
HCY_API int hcySetRadioCryptoKey(int radio, int key);
HCY_API int hcySetRadioSpreadSpectrum(int radio, int spreadSpectrum);
HCY_API int hcySetRadioFreqHopKey(int radio, int key);
HCY_API int hcySetRadioModulation(int radio, int major, int detail);
HCY_API int hcySetRadioBandwidth(int radio, float bandwidth);
HCY_API int hcySetRadioSystem(int radio, int system);
HCY_API int hcySetRadioOnOff(int radio, int on);
HCY_API int hcySetRadioTransmitDelay(int radio, int delayMs);
HCY_API int hcySetRadioSignalAtten(int radio, int site, int application, int entity,
                                   float attenuation);
HCY_API int hcySetSNR(int radio, int a, int b, int c, int d, float value);
HCY_API int hcySetEntityAttach(int radio, int on);
HCY_API int hcySetDoPropLossModel(int radio, int on);
HCY_API int hcySetDoRoundEarthModel(int radio, int on);
HCY_API int hcySetDoTerrainModel(int radio, int on);
HCY_API int hcySetDoTunerModel(int radio, int on);
HCY_API int hcySetDoSquelchModel(int radio, int on);
HCY_API int hcySetRadioSharingMode(int radio, int mode);
HCY_API int hcySetRadioData(int handle, int id, intptr_t value);
HCY_API int hcyGetRadioData(int handle, int id, void* out);
HCY_API int hcyShowRadioData(int radio);

/* Wiring radios and interphones to devices */
HCY_API int hcySetComRadioRecv(int handle, int device, int channel, int on);
HCY_API int hcySetComMultiRecv(int handle, int device, int on, float* channelGains, int count);
HCY_API int hcySetComRadioXmit(int handle, int device, int on);
HCY_API int hcySetComStereoXmit(int handle, int device, int channel, int on);
HCY_API int hcySetComMultiXmit(int handle, int device, const int* channelFlags, int count);
HCY_API int hcySetRadioPTT(int device, int on, int channel);

#ifdef __cplusplus
}
#endif

#endif /* HALCYRA_HALCYRA_H */
