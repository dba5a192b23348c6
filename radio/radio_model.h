#pragma once
// The radio base class: the whole transmitter and receiver state of one
// simulated radio, the PDUs it sends, the records of the transmitters it
// hears and the reception pipeline that decides what it hears. The radio
// types derive from it, replace its hooks and read its settings through
// Params().
//
// Transmit road (capture thread, host threads, update tick):
//   SetPTT ----------> Transmitter PDU (state 2 / 1)
//   TransmitAudio ---> private copy, shift/zero/gain, level, hop noise
//                      --> encoder --> Signal PDUs of <= 4080 samples
//                      --> PostPdu or the delay queue --> network manager
// Receive road (PDU workers, network manager thread, update tick):
//   Transmitter PDU --> CReceive (created / refreshed) --> OnTransmitStateChange
//                       --> EvaluateReception: PropLoss, RoundEarth, Tuner,
//                           Squelch, Crypto, HopNet (each behind its switch)
//                       --> ApplySquelch --> receive paths start / stop
//   Signal PDU ------> record found --> the host's decoded stream of that
//                       transmitter (net/heard_streams.h) --> capture rule
//                       --> receive paths, or the data device
//
// Exclusion: one recursive mutex per radio over its parameters, records and
// paths; the transmit encoder has a mutex of its own so that a capture
// thread never waits for reception. Lock order: tables, device, radio,
// receive path, output buffer. Calls up that order (a data device's
// ReceiveAudio and OnReceiveEnd) are made after the radio's mutex is
// released, still inside the dispatch or tick that keeps the device open,
// and under the radio's delivery lock, which keeps them in the order the
// radio decided them: the last block of a transmission reaches a device
// before the end of that transmission does.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "hcyplat/types.h"
#include "net/hla_record.h"
#include "net/pdu.h"
#include "radio/radio_params.h"
#include "radio/status_dialog.h"

class CDevice;
class CReceive;
class CRecvPath;
class CRadioPrompt;
namespace hcy {
struct CodecSet;
enum class CodecKind : std::uint8_t;
namespace net {
struct SignalBlock;
}
}  // namespace hcy
struct OutgoingPdu;

// Most samples one Signal PDU carries: 4080 PCM samples make 8160 data
// bytes, a PDU of exactly 8192 bytes (the largest DIS PDU), and fit the
// 16-bit length, bit-count and sample-count fields.
inline constexpr std::uint32_t kMaxSamplesPerSignalPdu = 4080;

class CRadioModel {
public:
    // The PDU records the radio reads and writes, under short names for the
    // radio types that derive from it.
    using EntityStatePdu = hcy::net::EntityStatePdu;
    using ReceiverPdu = hcy::net::ReceiverPdu;
    using SignalPdu = hcy::net::SignalPdu;
    using TransmitterPdu = hcy::net::TransmitterPdu;
    using RadioId = hcy::net::RadioId;

    CRadioModel();
    virtual ~CRadioModel();
    CRadioModel(const CRadioModel&) = delete;
    CRadioModel& operator=(const CRadioModel&) = delete;

    // ---- Identity. The user id is the radio's handle; GetHandle is the HLA
    // object handle (0xFFFFFFFF until registered).
    virtual int GetUserId() const { return m_nUserId.load(); }
    // Stores the user id, then registers the HLA object (which waits for the
    // network thread). StoreUserId stores it only: for the creation, before
    // the radio joins the table.
    virtual int SetUserId(std::uint32_t userId);
    void StoreUserId(std::uint32_t userId) { m_nUserId = static_cast<int>(userId); }
    virtual std::uint32_t GetHandle() const { return m_nHlaHandle.load(); }
    // The network thread stores the registered object's handle.
    void SetHlaObjectHandle(std::uint32_t handle) { m_nHlaHandle = handle; }
    // The network thread tells the radio waiting for its object that the RTI
    // refused it, and why: the wait ends at once with that reason.
    void RefuseHlaObject(const char* reason);
    virtual std::uint32_t GetNetworkMode() const { return m_nNetworkMode.load(); }
    virtual int SetNetworkMode(std::uint32_t flags);
    virtual int SetExerciseId(std::uint32_t exercise);
    virtual int SetRadioId(std::uint16_t site, std::uint16_t application, std::uint16_t entity,
                           std::uint16_t radio);
    virtual int SetMsgWnd(plat::HWND window);
    std::string GetName() const;

    // ---- Virtual operations in slot order.
    virtual int SetCryptoSystem(int value);
    virtual int SetCryptoKey(int value);
    virtual int SetSpreadSpectrum(int flags);
    virtual int SetFreqHopKey(int value);
    virtual int SetModulation(std::uint16_t major, std::uint16_t detail);
    virtual int SetBandwidth(float bandwidth);
    virtual int SetSystem(std::uint16_t system);
    virtual int SetOnOff(int on);
    virtual int SetSignalAtten(std::uint16_t site, std::uint16_t application, std::uint16_t entity,
                               float attenuation);
    // Radio data: the layout behind the pointer depends on the id.
    virtual int SetRadioData(int id, void* value);
    virtual int GetRadioData(int id, void* out);
    virtual void SetXmitAttached(int attached);
    virtual int SetFrequency(double receiveHz, double transmitHz);
    virtual int SetNet(std::uint16_t net);
    virtual double GetRxFrequency() const;
    virtual std::uint16_t GetNet() const;
    virtual int SetMasterVolume(float volume);
    // `source` names who keys (a device and the part of it that speaks);
    // only the same word releases. Only its low 8 bits go on the wire.
    virtual int SetPTT(int on, std::uint32_t source);
    virtual int Heartbeat();
    virtual void SendTransmitterPdu();
    virtual void SendReceiverPdu(std::uint32_t force);
    virtual int ReceiverStateChanged(const ReceiverPdu& pdu);
    // PDUs in host order, with the number of bytes received. A Signal PDU
    // that AcceptSignal takes goes down the decode road: the host's stream
    // of its sender (DecodeSignal), then, when played, HandleRecordSignal.
    virtual void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length);
    virtual void OnSignalPdu(const SignalPdu* pdu, std::uint32_t length);
    virtual void OnHlaTransmitterUpdate(std::uint32_t objectHandle,
                                        const HlaTransmitterRecord* record,
                                        std::uint32_t attributeMask);
    virtual void ProcessHlaRecords();
    virtual void OnTransmitStateChange(bool started, CReceive& record);
    // A heard signal interaction: `dataBytes` bytes of audio at `data`.
    virtual void OnHlaSignal(const HlaSignalRecord* record, const std::uint8_t* data,
                             std::uint32_t dataBytes, const std::string* senderName);
    virtual void TransmitAudio(const std::int16_t* samples, std::uint32_t byteCount,
                               std::uint32_t sampleRate, std::uint32_t source);
    // Reception hooks; the base's are empty. Each gets the record with the
    // radio's mutex held and writes only that record.
    virtual void PropLossModel(CReceive& record);
    virtual void RoundEarthModel(CReceive& record);
    virtual void TunerModel(CReceive& record);
    virtual void SquelchModel(CReceive& record);
    virtual void CryptoModel(CReceive& record);
    virtual void HopNetModel(CReceive& record);
    virtual void UpdateRecvPaths();
    virtual void SweepReceiveTimeouts();
    virtual int SetSNR(int site, int application, int entity, int radio, float value);
    // A playback device this radio transmits from has played its file out;
    // `source` is the device's source word (handle x 2).
    virtual int OnPlaybackDone(std::uint32_t source);
    virtual int SetTransmitDelay(std::uint32_t ms);

    // ---- Further members the application object and devices call.
    // The status dialog: refreshed once a second while shown.
    virtual void UpdateRadioData();
    virtual int ShowRadioData();
    virtual std::int32_t GetMaxRecvValue();
    virtual void OnEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length);
    virtual int RemoveHlaRecord(std::uint32_t objectHandle);
    virtual int SetHlaAttributeMask(int add, std::uint32_t bits);
    virtual int SetHlaRadioValue(std::int32_t value);
    // Before deletion: releases receive paths and records, removes the HLA
    // object, drops delayed PDUs.
    virtual void Shutdown();

    virtual int SetSquelchLevel(float level);
    virtual int SetEncoding(int code);
    virtual int SetWorldPosition(double latitude, double longitude, double altitude);
    virtual int SetXYZPosition(double x, double y, double z);
    virtual int SetRelPosition(float x, float y, float z);
    virtual int SetNoiseLevel(double level);
    virtual int SetXmitPower(double power);
    virtual int SetRecvGain(double gain);
    virtual int SetEntityAttach(std::uint32_t on);
    virtual int SetDoPropLossModel(std::uint32_t on);
    virtual int SetDoRoundEarthModel(std::uint32_t on);
    virtual int SetDoTerrainModel(std::uint32_t on);
    virtual int SetDoTunerModel(std::uint32_t on);
    virtual int SetDoSquelchModel(std::uint32_t on);
    virtual int SetSharingMode(std::uint32_t mode);

    // Receive paths to devices. Channel 0 matches any path to the device.
    virtual int AttachRecvPath(CDevice* device, int channel);
    virtual int AddMultiRecvPath(CDevice* device, const float* gains, int count);
    virtual int StopRecvPath(CDevice* device, int channel);
    virtual int RemoveRecvPath(CDevice* device, int channel);
    // A device is closing: every receive path to it is emptied and removed.
    // Nothing refers to the device afterwards.
    virtual void DetachDevice(CDevice* device);
    std::size_t GetRecvPathCount() const;

    // The radio's transmitter attributes as the HLA manager sends them
    // (every field of the record, the instance name being the radio's name).
    void GetHlaTransmitterRecord(HlaTransmitterRecord& out) const;

    // A prompt's chunk [bytes of 16-bit samples] at sampleRate [Hz] for the
    // local source of every active receive path (the prompt's timer thread).
    void WriteLocalSource(const std::int16_t* samples, std::uint32_t bytes,
                          std::uint32_t sampleRate);

    // Read by receive paths without the radio's lock.
    double GetMasterVolume() const { return m_fMasterVolume.load(); }
    // RD_XMIT_FILTER: the capture devices band-pass this radio's audio.
    bool IsXmitFilterOn() const { return m_nXmitFilter.load() != 0; }

    // The radio's status dialog, given once before the radio is shared; the
    // radio owns it and closes it at Shutdown.
    void SetStatusDialog(std::unique_ptr<hcy::radio::StatusDialog> dialog);

    // Helpers of the models and the status dialog.
    void SetRecordsPttBlock(bool value);
    bool IsKeyed() const;
    // The source word that keyed the radio; 0 while it is not keyed.
    virtual std::uint32_t GetPttSource() const;
    std::uint32_t GetXmitPduCount() const { return m_nXmitPduCount.load(); }
    std::uint32_t GetSignalPduCount() const { return m_nSignalPduCount.load(); }
    std::size_t GetReceiveCount() const;
    // Geocentric antenna position: world plus relative [m].
    double GetAntennaX() const;
    double GetAntennaY() const;
    double GetAntennaZ() const;

protected:
    // The radio's mutex. Released by the outermost guard, which then makes
    // the device calls and runs the work queued meanwhile (they go up the
    // lock order, or wait for threads that take the radio's mutex).
    class Guard {
    public:
        explicit Guard(const CRadioModel& radio);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        const CRadioModel& m_radio;
    };

    // How the decode road treats a block a model accepted.
    struct SignalRoad {
        bool codeSetsBitOrder = false;  // CVSD codes 2 and 7 choose the bit order, not the radio
        bool measureLevel = true;       // the record's audio level follows the block
        bool ssb = false;               // single-sideband mistuning applies
        bool play = true;  // false: not heard now; the record's stream only keeps in step
    };
    // Mutex held: the record whose stream decodes this Signal PDU and how,
    // or null when the PDU is none of this radio's. The base takes a sender
    // it has a record of in an exercise it accepts, and plays it by on/off,
    // capture and own entity.
    virtual std::shared_ptr<CReceive> AcceptSignal(const SignalPdu& pdu, SignalRoad& road);

    // Mutex held: `work` runs on this thread once the outermost guard has
    // released the mutex: starting and stopping the radio's prompts and
    // playback devices, whose timer threads deliver into this radio.
    void AfterUnlock(std::function<void()> work);

    // False for models that do not tune (scanner, raw DIS): retuning and a
    // new squelch level leave their records' reception as it is.
    virtual bool ReevaluatesOnSettings() const { return true; }

    // Tuned to whole hertz at once: reception re-evaluated, a keyed radio's
    // Transmitter PDU sent (released at 0 Hz), the federation told.
    void Retune(double receiveHz, double transmitHz);

    // Reception pieces the radio types use (mutex held).
    bool ExerciseAccepted(std::uint32_t exercise) const;
    void StartReceivePaths(const CReceive* record);
    void StopReceivePaths(const CReceive* record, bool tail);
    void ReevaluateAllForTuning();
    void NotifyAttribute(std::uint32_t bit);
    void PostActivity(int started);
    std::shared_ptr<CReceive> FindReceive(const RadioId& key) const;
    // Lists a record in the array and the index, under its transmitter's id.
    void AddReceive(const std::shared_ptr<CReceive>& record);

    // ---- The radio types' view of the radio (mutex held).
    // Tuning, modulation, crypto and receiver settings, and which reception
    // hooks run: set up by a type's constructor, read by its hooks.
    const hcy::radio::RadioParams& Params() const { return m_params; }
    hcy::radio::RadioParams& Params() { return m_params; }
    bool IsOn() const { return m_nOn != 0; }
    // RD_RADIO_FLAGS' receive inhibit: nothing is heard.
    bool IsInhibited() const { return m_nInhibit != 0; }
    hcy::net::RadioId OwnId() const { return {{m_nSite, m_nApplication, m_nEntity}, m_nRadio}; }
    std::uint32_t GetExerciseId() const { return m_nExerciseId; }
    // Non-zero: the only source word whose audio is sent (a crypto preamble
    // playing); 0: every keying source's.
    void SetPromptSource(std::uint32_t source) { m_nPromptSource = source; }
    const std::vector<std::unique_ptr<CRecvPath>>& Paths() const { return m_paths; }
    const std::vector<std::shared_ptr<CReceive>>& Receives() const { return m_receives; }
    // Takes a record out of the array and the index, leaving it as it is.
    void UnlistReceive(const std::shared_ptr<CReceive>& record);
    // The noise of every active receive path muted (keyed half duplex) or not.
    void MutePathNoise(bool mute);

private:
    struct RadioDataTable;

    // The base's own pieces (mutex held).
    void EvaluateReception(CReceive& record);
    void ApplySquelch(CReceive& record);
    bool IsAudible(const CReceive& record) const;
    bool IsOwnEntity(const CReceive& record) const;
    void QueueReceiveEnd();
    void UpdateNoise();
    void ApplySsbOffset(double offset, std::int16_t* samples, std::uint32_t count,
                        std::uint32_t rate);
    int RegisterHlaObject();
    // Sends a built PDU (at once or through the delay queue); false when the
    // network manager is not ready.
    bool SendPdu(std::vector<std::byte>&& bytes, bool delayable);
    OutgoingPdu MakeOutgoing(std::vector<std::byte>&& bytes) const;
    void BuildHeader(hcy::net::PduHeader& header, std::uint8_t type, std::uint16_t length) const;
    struct SignalPlan;
    void SendSignalPdus(const SignalPlan& plan, const std::int16_t* samples,
                        std::uint32_t sampleCount, std::uint32_t sampleRate);
    float DecodeSignal(CReceive& record, hcy::CodecKind kind, const hcy::net::SignalBlock& block,
                       std::uint32_t source, bool play);
    bool HandleRecordSignal(const std::shared_ptr<CReceive>& record,
                            const hcy::net::SignalBlock& block, float rmsLevel,
                            const SignalRoad& road, std::vector<CDevice*>& dataDevices);
    void DeliverToDataDevices(const std::vector<CDevice*>& devices,
                              const std::shared_ptr<CReceive>& record, const std::int16_t* samples,
                              std::uint32_t bytes, std::uint32_t rate);
    void RemoveReceiveAt(std::size_t index);
    // Mutex held: the no-code prompt ("NoCode%dWav" of section "Secure",
    // for the radio's crypto system) instead of the undecodable audio of
    // `record`, when it is configured and not playing already; looked up
    // once a transmission, when the player is idle.
    void PlayNoCodePrompt(CReceive& record);
    // Mutex held: the no-code prompt stops if it plays for `record` (any
    // record: null).
    void StopNoCodePrompt(const CReceive* record);

    // Recursive: the operations call one another under it (SetOnOff unkeys
    // through SetPTT, SetFrequency retunes through Retune, a model's override
    // calls the base's, the reception hooks run inside the evaluation);
    // m_lockDepth finds the outermost guard, which alone releases the work
    // below.
    mutable std::recursive_mutex m_mutex;
    mutable int m_lockDepth = 0;
    mutable std::vector<CDevice*> m_pendingReceiveEnd;
    // Taken before m_mutex by a Signal PDU's handling, held until its audio
    // is with the data devices; taken after m_mutex is released to hand them
    // the ends of transmissions. Recursive for that second taking: a Signal
    // PDU's handling holds it across its guard, whose release takes it again
    // whenever ends are pending.
    mutable std::recursive_mutex m_deliveryMutex;
    mutable std::vector<std::function<void()>> m_afterUnlock;
    std::unique_ptr<CRadioPrompt> m_pPrompt;  // the no-code prompt, made on first use

    // ---- Parameters (guarded by m_mutex unless atomic).
    hcy::radio::RadioParams m_params;
    std::atomic<std::uint32_t> m_nHlaHandle{0xFFFFFFFFu};
    std::atomic<bool> m_bHlaRefused{false};
    std::mutex m_hlaRefusalMutex;
    std::string m_strHlaRefusal;  // guarded by m_hlaRefusalMutex
    std::string m_strName = "hcyRadio";
    std::string m_strHostObjectId;
    std::uint16_t m_nSite = 0, m_nApplication = 0, m_nEntity = 0, m_nRadio = 0;
    hcy::net::RadioEntityType m_entityType{7, 0, 0, 0, 0, 0};
    std::atomic<bool> m_bKeyed{false};  // keyed, whatever the source word
    std::uint32_t m_nPttSource = 0;     // source word that keyed the radio
    double m_fXmitPower = 19.68;        // as sent [dBm]
    std::uint32_t m_nPTT = 0;
    std::uint32_t m_nOn = 1;
    std::uint32_t m_nInhibit = 0;
    std::atomic<std::uint32_t> m_nXmitFilter{0};
    std::uint32_t m_nNoOwnEntityTest = 0;
    std::atomic<std::uint32_t> m_nNetworkMode;
    std::vector<std::unique_ptr<CRecvPath>> m_paths;
    std::vector<std::shared_ptr<CReceive>> m_receives;  // DIS records, arrival order
    std::unordered_map<std::uint64_t, std::shared_ptr<CReceive>> m_receiveIndex;
    std::unordered_map<std::uint64_t, float> m_attenuations;  // by PackedKey(EntityId)
    std::vector<std::shared_ptr<CReceive>> m_hlaReceives;
    std::uint32_t m_nExerciseId = 1;
    std::vector<std::uint16_t> m_extraExercises;
    std::uint32_t m_nEncoding = 4;
    std::atomic<int> m_nUserId{0};
    std::atomic<double> m_fMasterVolume{1.0};
    std::uint32_t m_nEntityAttach = 0;
    std::atomic<std::uint32_t> m_nXmitPduCount{0};
    std::atomic<std::uint32_t> m_nSignalPduCount{0};
    std::uint32_t m_nCecom = 0;
    std::uint32_t m_nBackgroundNoise = 0;
    std::uint32_t m_nXmitShift = 0;
    std::uint32_t m_nXmitZero = 0;
    std::atomic<double> m_fXmitLevel{0.0};
    std::uint32_t m_nPromptSource = 0;  // non-zero: the only source sent (a crypto preamble)
    std::uint32_t m_nHlaMask = HLA_ATTR_ALL;
    std::uint32_t m_nFullUpdateSent = 0;
    std::uint32_t m_nSharingMode = 0;
    double m_fSsbSine = 0.0, m_fSsbCosine = 1.0;
    ReceiverPdu m_lastReceiverPdu{};
    std::uint32_t m_nHopNoiseThreshold = 8000;
    std::uint32_t m_nHopNoiseBytes = 32;
    std::uint32_t m_nHopNoiseShift = 9;
    float m_fXmitGain = 1.0f;
    std::uint32_t m_nOwnEntityAnyRadio = 0;
    // The coders: decoding under m_mutex, encoding under m_xmitMutex, the
    // CVSD parameters written under both.
    std::unique_ptr<hcy::CodecSet> m_codecs;
    plat::HWND m_hMsgWnd = 0;
    std::uint32_t m_nTransmitDelay = 0;  // [ms]
    std::int32_t m_nHlaRadioValue = 0;

    // The encoder state and the transmit scratch block.
    std::mutex m_xmitMutex;
    std::vector<std::int16_t> m_xmitScratch;

    // Set before the radio is shared; its calls are made without m_mutex.
    std::unique_ptr<hcy::radio::StatusDialog> m_statusDialog;
};
