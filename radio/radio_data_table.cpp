// The base radio's radio data: one handler per id, looked up in a table.
// Every handler runs with the radio's mutex held and reads or writes the
// value behind the host's pointer byte-wise (radio/radio_data.h). An id the
// table does not hold answers 0; the radio types answer theirs first.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "base/library.h"
#include "codecs/codec.h"
#include "halcyra/halcyra.h"
#include "radio/radio_data.h"
#include "radio/radio_model.h"
#include "radio/receive.h"

using hcy::radio::Read;
using hcy::radio::Write;

// Befriended by CRadioModel: the handlers reach its parameters.
struct CRadioModel::RadioDataTable {
    using Handler = int (*)(CRadioModel& radio, int id, void* value);
    struct Entry {
        int id;
        Handler handler;
    };

    static int Find(std::span<const Entry> table, CRadioModel& radio, int id, void* value) {
        const auto at =
            std::find_if(table.begin(), table.end(), [id](const Entry& e) { return e.id == id; });
        return at == table.end() ? 0 : at->handler(radio, id, value);
    }

    static int NonFinite() {
        hcy::Library().SetError("Non-finite value sent to SetRadioData.");
        return 0;
    }

    // ---- Set

    static int RadioFlags(CRadioModel& r, int, void* value) {
        const auto flags = Read<std::uint32_t>(value);
        r.m_nBackgroundNoise = flags & 1;
        r.m_nInhibit = (flags >> 1) & 1;
        r.m_nXmitShift = (flags >> 2) & 1;
        r.m_nXmitZero = (flags >> 3) & 1;
        r.UpdateNoise();
        return 1;
    }
    static int HopNoiseThreshold(CRadioModel& r, int, void* value) {
        r.m_nHopNoiseThreshold = Read<std::uint32_t>(value);
        return 1;
    }
    static int HopNoiseBytes(CRadioModel& r, int, void* value) {
        r.m_nHopNoiseBytes = Read<std::uint32_t>(value);
        return 1;
    }
    // A shift of 32 or more is undefined: keep it within the word.
    static int HopNoiseShift(CRadioModel& r, int, void* value) {
        r.m_nHopNoiseShift = std::min<std::uint32_t>(Read<std::uint32_t>(value), 31);
        return 1;
    }
    static int AllowPlainXmit(CRadioModel& r, int, void* value) {
        r.m_params.allowPlainXmit = Read<std::uint32_t>(value) != 0;
        return 1;
    }
    static int XmitGain(CRadioModel& r, int, void* value) {
        const auto gain = Read<float>(value);
        if (!std::isfinite(gain)) return NonFinite();
        r.m_fXmitGain = gain;
        return 1;
    }
    static int NoiseLevelDbm(CRadioModel& r, int, void* value) {
        const auto dbm = Read<float>(value);
        if (!std::isfinite(dbm)) return NonFinite();
        r.m_params.noiseLevel = std::pow(10.0, 0.1 * dbm) * 0.001;  // [dBm] to [W]
        return 1;
    }
    static int XmitFilter(CRadioModel& r, int, void* value) {
        r.m_nXmitFilter = Read<std::uint32_t>(value);
        return 1;
    }
    static int FullDuplex(CRadioModel& r, int, void* value) {
        r.m_params.duplex = Read<std::uint32_t>(value) ? DUPLEX_FULL : DUPLEX_HALF;
        return 1;
    }
    static int NoOwnEntityTest(CRadioModel& r, int, void* value) {
        r.m_nNoOwnEntityTest = Read<std::uint32_t>(value) != 0;
        return 1;
    }
    // Both CVSD coders (plain and CECOM) take the parameter, under the
    // encoder's mutex as well: the capture thread encodes with them.
    static int CvsdParameter(CRadioModel& r, int id, void* value) {
        const auto v = Read<double>(value);
        if (!std::isfinite(v)) return NonFinite();
        std::lock_guard<std::mutex> xmit(r.m_xmitMutex);
        for (hcy::CCvsdCore* codec : {static_cast<hcy::CCvsdCore*>(&r.m_codecs->cvsd),
                                      static_cast<hcy::CCvsdCore*>(&r.m_codecs->cecomCvsd)}) {
            switch (id) {
            case RD_CVSD_STEP_SMOOTHING: codec->stepSmoothing = v; break;
            case RD_CVSD_INTEGRATOR_LEAK: codec->integratorLeak = v; break;
            case RD_CVSD_MAX_STEP: codec->maxStep = v; break;
            case RD_CVSD_MIN_STEP_X16: codec->SetMinStepX16(v); break;
            case RD_CVSD_DECODER_LOWPASS: codec->decoderLowpass = v; break;
            default: codec->decoderGain = v; break;
            }
        }
        return 1;
    }
    static int OwnEntityAnyRadio(CRadioModel& r, int, void* value) {
        r.m_nOwnEntityAnyRadio = Read<std::uint32_t>(value) != 0;
        return 1;
    }
    // A count, then that many exercise ids; zeros are skipped.
    static int ExtraExercises(CRadioModel& r, int, void* value) {
        const auto* words = static_cast<const std::uint32_t*>(value);
        const std::uint32_t count = Read<std::uint32_t>(words);
        r.m_extraExercises.clear();
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto exercise = Read<std::uint32_t>(words + 1 + i);
            if (exercise != 0) r.m_extraExercises.push_back(static_cast<std::uint16_t>(exercise));
        }
        return 1;
    }

    static constexpr Entry kSet[] = {
        {RD_RADIO_FLAGS, RadioFlags},
        {RD_HOP_NOISE_THRESHOLD, HopNoiseThreshold},
        {RD_HOP_NOISE_BYTES, HopNoiseBytes},
        {RD_HOP_NOISE_SHIFT, HopNoiseShift},
        {RD_ALLOW_PLAIN_XMIT, AllowPlainXmit},
        {RD_XMIT_GAIN, XmitGain},
        {RD_NOISE_LEVEL_DBM, NoiseLevelDbm},
        {RD_XMIT_FILTER, XmitFilter},
        {RD_FULL_DUPLEX, FullDuplex},
        {RD_NO_OWN_ENTITY_TEST, NoOwnEntityTest},
        {RD_CVSD_STEP_SMOOTHING, CvsdParameter},
        {RD_CVSD_INTEGRATOR_LEAK, CvsdParameter},
        {RD_CVSD_MAX_STEP, CvsdParameter},
        {RD_CVSD_MIN_STEP_X16, CvsdParameter},
        {RD_CVSD_DECODER_LOWPASS, CvsdParameter},
        {RD_CVSD_DECODER_GAIN, CvsdParameter},
        {RD_OWN_ENTITY_ANY_RADIO, OwnEntityAnyRadio},
        {RD_EXTRA_EXERCISES, ExtraExercises},
    };

    // ---- Get: the records of the radio's network (HLA or DIS).

    static const std::vector<std::shared_ptr<CReceive>>& Records(const CRadioModel& r) {
        return (r.m_nNetworkMode.load() & NET_HLA) ? r.m_hlaReceives : r.m_receives;
    }
    static bool Audible(const CReceive& record) {
        return record.transmitting && record.squelchOpen;
    }
    // Four u16: site, application, entity, radio.
    static void WriteId(void* out, const RadioId& key) {
        const std::uint16_t ids[4] = {key.entityId.site, key.entityId.application,
                                      key.entityId.entity, key.radioNumber};
        std::memcpy(out, ids, sizeof ids);
    }

    // The largest signal or audio level among the audible records.
    static int Largest(CRadioModel& r, int id, void* out) {
        double largest = 0.0;
        for (auto& record : Records(r))
            if (Audible(*record))
                largest = std::max(largest,
                                   id == RD_MAX_SIGNAL ? record->GetSignal() : record->audioLevel);
        Write(out, static_cast<float>(largest));
        return 1;
    }
    static int IsTransmitting(CRadioModel& r, int, void* out) {
        std::uint32_t transmitting = 0;
        if (r.m_nNetworkMode.load() & NET_HLA) {
            transmitting = r.m_nPTT != 0;
        } else if (r.IsKeyed()) {
            for (auto& record : r.m_receives)
                if (r.IsOwnEntity(*record)) transmitting = 1;
        }
        Write(out, transmitting);
        return 1;
    }
    static int XmitLevel(CRadioModel& r, int, void* out) {
        Write(out, r.IsKeyed() ? static_cast<float>(r.m_fXmitLevel.load()) : 0.0f);
        return 1;
    }
    // The value holds an index into the audible records, strongest first.
    static int XmitId(CRadioModel& r, int, void* out) {
        const auto index = Read<std::uint16_t>(out);
        std::vector<const CReceive*> sorted;
        for (auto& record : Records(r)) {
            if (!Audible(*record)) continue;
            auto at = std::find_if(sorted.begin(), sorted.end(), [&](const CReceive* s) {
                return s->GetSignal() < record->GetSignal();
            });
            sorted.insert(at, record.get());
        }
        if (index >= sorted.size()) {
            WriteId(out, RadioId{});
            return 1;  // past the end: 1, not 0
        }
        WriteId(out, sorted[index]->id);
        return 0;
    }
    static int RecvCryptoSystem(CRadioModel& r, int, void* out) {
        const bool hla = (r.m_nNetworkMode.load() & NET_HLA) != 0;
        std::uint32_t system = 0;
        for (auto& record : Records(r)) {
            if (!record->squelchOpen || record->cryptoSystem == 0) continue;
            if (!hla && r.m_params.allowPlainXmit && record->cryptoKey == 0) continue;
            system = record->cryptoSystem;
        }
        Write(out, system);
        return 1;
    }
    static int AudibleCount(CRadioModel& r, int, void* out) {
        std::uint32_t count = 0;
        for (auto& record : Records(r))
            if (Audible(*record)) ++count;
        Write(out, count);
        return 1;
    }
    static int StrongestXmitId(CRadioModel& r, int, void* out) {
        const CReceive* strongest = nullptr;
        for (auto& record : Records(r))
            if (Audible(*record) && (!strongest || record->GetSignal() > strongest->GetSignal()))
                strongest = record.get();
        if (!strongest) return 0;
        WriteId(out, strongest->id);
        return 1;
    }

    static constexpr Entry kGet[] = {
        {RD_MAX_SIGNAL, Largest},
        {RD_MAX_AUDIO_LEVEL, Largest},
        {RD_IS_TRANSMITTING, IsTransmitting},
        {RD_XMIT_LEVEL, XmitLevel},
        {RD_XMIT_ID, XmitId},
        {RD_RECV_CRYPTO_SYSTEM, RecvCryptoSystem},
        {RD_AUDIBLE_COUNT, AudibleCount},
        {RD_STRONGEST_XMIT_ID, StrongestXmitId},
    };
};

int CRadioModel::SetRadioData(int id, void* value) {
    if (!value) return 0;
    Guard lock(*this);
    return RadioDataTable::Find(RadioDataTable::kSet, *this, id, value);
}

int CRadioModel::GetRadioData(int id, void* out) {
    if (!out) return 0;
    Guard lock(*this);
    return RadioDataTable::Find(RadioDataTable::kGet, *this, id, out);
}
