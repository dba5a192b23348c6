#pragma once
// Interphone stations under test without sockets: what they post to the
// network manager is captured through the post hook, PDUs are written by
// hand and fed in, and receive paths are recording stand-ins.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/recv_path.h"
#include "core/app.h"
#include "interphone/ics_station.h"
#include "net/pdu.h"
#include "radio/radio_post.h"
#include "radio/receive.h"
#include "support/stand_ins.h"

namespace hcytest {

using hcy::net::EntityId;
using hcy::net::IcsSignalPdu;
using hcy::net::IcsTransmitterPdu;

// A receive path that records what its station asks of it, naming each
// record by its remote station number ("local" for the sidetone source).
class RecordingPath : public NullRecvPath {
public:
    std::vector<std::string> calls;                 // "gain 5", "stop local", "forget 5"
    std::vector<std::vector<std::int16_t>> writes;  // audio written, in order
    int stopAlls = 0;

    static std::string Name(const CReceive* r) {
        return r ? std::to_string(r->id.radioNumber) : "local";
    }
    bool UpdateSourceGain(const CReceive* r) override {
        calls.push_back("gain " + Name(r));
        return true;
    }
    void StopSource(const CReceive* r, bool) override { calls.push_back("stop " + Name(r)); }
    void ForgetSource(const CReceive* r) override { calls.push_back("forget " + Name(r)); }
    void WriteAudio(const CReceive*, const std::int16_t* s, std::uint32_t bytes,
                    std::uint32_t) override {
        writes.emplace_back(s, s + bytes / 2);
    }
    void StopAll() override {
        ++stopAlls;
        NullRecvPath::StopAll();
    }
};

// The host-visible call words: dial tone, caller, busy, ringback.
inline std::vector<std::uint32_t> Words(CICSModel& s) {
    std::vector<std::uint32_t> w(4);
    for (int i = 0; i < 4; ++i) s.GetData(ICS_DATA_DIAL_TONE + i, &w[i]);
    return w;
}

// What a control PDU says of the call, as text: "station/line called
// dialing reply lineState/replierState".
inline std::string Summary(const IcsTransmitterPdu& p) {
    char text[64];
    std::snprintf(text, sizeof text, "%u/%04x called %u dialing %u reply %u state %u/%u",
                  p.stationNumber, p.line, p.calledStation, p.dialing, p.replyCode, p.lineState,
                  p.replierLineState);
    return text;
}

inline hcy::net::PduHeader Header(std::uint8_t type, std::size_t length, std::uint8_t exercise) {
    return {6, exercise, type, hcy::net::PROTOCOL_FAMILY_ICS, 0, static_cast<std::uint16_t>(length),
            0};
}

// Entity (1, 1, n) of station n.
inline EntityId Entity(std::uint16_t n) { return {1, 1, n}; }

// A control PDU from station `from`, addressed to itself (a status).
inline IcsTransmitterPdu ControlFrom(std::uint16_t from, std::uint16_t line, std::uint16_t called,
                                     std::uint8_t dialing, std::uint8_t reply,
                                     std::uint8_t lineState, std::uint8_t exercise = 1) {
    IcsTransmitterPdu p{};
    p.header = Header(hcy::net::PDU_TYPE_ICS_TRANSMITTER, 40, exercise);
    p.senderId = p.addressedId = Entity(from);
    p.stationNumber = from;
    p.line = line;
    p.calledStation = called;
    p.dialing = dialing;
    p.replyCode = reply;
    p.lineState = lineState;
    return p;
}

// Station `from` dials `to`, off hook with no line yet.
inline IcsTransmitterPdu DialRequest(std::uint16_t from, std::uint16_t to) {
    return ControlFrom(from, static_cast<std::uint16_t>(to << 8 | from), to, 1, 0, 1);
}

// Station `from` replies `code` to station `to`'s request on `line`.
inline IcsTransmitterPdu Reply(std::uint16_t from, std::uint16_t to, std::uint16_t line,
                               std::uint8_t code) {
    IcsTransmitterPdu p = ControlFrom(from, line, to, 0, code, 1);
    p.addressedId = Entity(to);
    return p;
}

inline IcsTransmitterPdu Status(std::uint16_t from, std::uint16_t line, std::uint8_t state) {
    return ControlFrom(from, line, 0, 0, 0, state);
}

inline void Feed(CICSModel& s, const IcsTransmitterPdu& p) { s.OnControlPdu(&p, sizeof p); }

// Station 3, entity (1, 1, 3), with one receive path.
class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        hcy::radio::SetNetMgrHookForTest([this](hcy::radio::NetMgrMessage&& m) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (m.pdu) sent_.push_back(std::move(m.pdu->pdu));
        });
        previousFactory_ = SetRecvPathMakerForTest([this](CRecvPath::Kind) {
            auto path = std::make_unique<RecordingPath>();
            paths.push_back(path.get());
            return path;
        });
        theApp.ClearError();
        station = std::make_shared<CIcsStation>();
        station->SetEntityID(1, 1, 3);
        station->SetStationID(3);
        station->SetMasterVolume(1.0f);
        station->AddRecvPath(&device, 0);
    }

    void TearDown() override {
        station.reset();
        SetRecvPathMakerForTest(std::move(previousFactory_));
        hcy::radio::SetNetMgrHookForTest({});
    }

    // Everything posted since the last call, oldest first.
    std::vector<std::vector<std::byte>> Sent() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(sent_, {});
    }
    std::vector<std::string> SentControls() {
        std::vector<std::string> out;
        for (auto& bytes : Sent()) out.push_back(Summary(As<IcsTransmitterPdu>(bytes)));
        return out;
    }

    template <class T>
    static T As(const std::vector<std::byte>& bytes) {
        T record;
        std::memcpy(&record, bytes.data(), sizeof record);
        return record;
    }

    StandInDevice device;
    std::vector<RecordingPath*> paths;
    std::shared_ptr<CIcsStation> station;

private:
    std::mutex mutex_;
    std::vector<std::vector<std::byte>> sent_;
    RecvPathMaker previousFactory_;
};

}  // namespace hcytest
