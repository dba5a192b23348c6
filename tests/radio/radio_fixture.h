#pragma once
// Radios under test without sockets: what they post to the network manager
// is captured through the radio post hook, receive paths are stand-ins made
// through the path factory, host notices go to a message window, and time is
// the manual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/recv_path.h"
#include "base/messages.h"
#include "core/app.h"
#include "hcyplat/clock.h"
#include "hcyplat/window.h"
#include "net/pdu.h"
#include "radio/generic_radio.h"
#include "radio/radio_post.h"
#include "radio/receive.h"
#include "support/stand_ins.h"

namespace hcytest {

using hcy::net::PduHeader;

// A receive path that records what the radio asks of it.
class StandInPath : public NullRecvPath {
public:
    struct Write {
        const CReceive* record;
        std::vector<std::int16_t> samples;
        std::uint32_t rate;
    };
    explicit StandInPath(Kind kind) : NullRecvPath(kind) {}

    bool noiseMuted = false, squelchNoise = false, backgroundNoise = false;
    std::vector<const CReceive*> gains, forgotten;        // UpdateSourceGain, ForgetSource
    std::vector<std::pair<const CReceive*, bool>> stops;  // StopSource (record, tail)
    std::vector<Write> writes;
    int idleStops = 0, stopAlls = 0, detachAlls = 0;

    void PlaySquelchNoise(bool on) override { squelchNoise = on; }
    void PlayBackgroundNoise(bool on) override { backgroundNoise = on; }
    void MuteNoise(bool mute) override { noiseMuted = mute; }
    bool UpdateSourceGain(const CReceive* r) override {
        gains.push_back(r);
        return true;
    }
    void StopSource(const CReceive* r, bool tail) override { stops.emplace_back(r, tail); }
    void ForgetSource(const CReceive* r) override { forgotten.push_back(r); }
    void WriteAudio(const CReceive* r, const std::int16_t* s, std::uint32_t bytes,
                    std::uint32_t rate) override {
        writes.push_back({r, std::vector<std::int16_t>(s, s + bytes / 2), rate});
    }
    void StopIdleOutputBuffers() override { ++idleStops; }
    void StopAll() override {
        ++stopAlls;
        NullRecvPath::StopAll();
    }
    void DetachAll() override {
        ++detachAlls;
        NullRecvPath::DetachAll();
    }
};

// A generic radio whose settings tests may set directly.
class TestRadio : public CGenericRadioModel {
public:
    using CGenericRadioModel::Params;
    int Keyed() const { return IsKeyed() ? 1 : 0; }
};

// A Transmitter PDU in host order, as a datagram of `extra` parameter bytes.
struct TransmitterSpec {
    hcy::net::RadioId id{{10, 20, 30}, 1};
    std::uint8_t state = 2;
    std::uint8_t exercise = 1;
    std::uint8_t inputSource = 2;
    double frequency = 30e6;
    float bandwidth = 100.0f;
    float power = 19.68f;
    double x = 6378137.0, y = 1000.0, z = 0.0;
    std::uint16_t net = 0;
    std::vector<std::uint8_t> parameters = {};
};

inline std::vector<std::byte> MakeTransmitterPdu(const TransmitterSpec& s) {
    hcy::net::TransmitterPdu pdu{};
    pdu.header = {6, s.exercise, hcy::net::PDU_TYPE_TRANSMITTER,
                  4, 0,          static_cast<std::uint16_t>(104 + s.parameters.size()),
                  0};
    pdu.radioId = s.id;
    pdu.transmitState = s.state;
    pdu.inputSource = s.inputSource;
    pdu.netNumber = s.net;
    pdu.antennaLocation = {s.x, s.y, s.z};
    pdu.setFrequency(static_cast<std::uint64_t>(s.frequency));
    pdu.bandwidth = s.bandwidth;
    pdu.power = s.power;
    pdu.modulationParameterLength = static_cast<std::uint8_t>(s.parameters.size());
    std::vector<std::byte> bytes(sizeof pdu);
    std::memcpy(bytes.data(), &pdu, sizeof pdu);
    for (std::uint8_t p : s.parameters) bytes.push_back(std::byte{p});
    return bytes;
}

inline std::vector<std::byte> MakeSignalPdu(const hcy::net::RadioId& id, std::uint16_t encoding,
                                            const std::vector<std::uint8_t>& data,
                                            std::uint16_t sampleCount, std::uint32_t rate = 16000,
                                            std::uint8_t exercise = 1) {
    hcy::net::SignalPdu pdu{};
    pdu.header = {6, exercise, hcy::net::PDU_TYPE_SIGNAL,
                  4, 0,        static_cast<std::uint16_t>(32 + data.size()),
                  0};
    pdu.radioId = id;
    pdu.encodingScheme = encoding;
    pdu.sampleRate = rate;
    pdu.dataLengthBits = static_cast<std::uint16_t>(data.size() * 8);
    pdu.sampleCount = sampleCount;
    std::vector<std::byte> bytes(32 + data.size());
    std::memcpy(bytes.data(), &pdu, sizeof pdu);
    if (!data.empty()) std::memcpy(bytes.data() + 32, data.data(), data.size());
    return bytes;
}

inline void Deliver(CRadioModel& radio, const std::vector<std::byte>& bytes) {
    const auto type = static_cast<std::uint8_t>(bytes[2]);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    if (type == hcy::net::PDU_TYPE_TRANSMITTER)
        radio.OnTransmitterPdu(reinterpret_cast<const hcy::net::TransmitterPdu*>(bytes.data()),
                               length);
    else
        radio.OnSignalPdu(reinterpret_cast<const hcy::net::SignalPdu*>(bytes.data()), length);
}

class RadioTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UseManualClock();
        hcy::radio::SetNetMgrHookForTest([this](hcy::radio::NetMgrMessage&& m) {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(std::move(m));
        });
        realPaths_ = SetRecvPathMakerForTest([this](CRecvPath::Kind kind) {
            auto path = std::make_unique<StandInPath>(kind);
            paths_.push_back(path.get());
            return path;
        });
        window_ = plat::CreateMessageWindow();
        hcy::Library().m_hMsgWnd = window_;
        hcy::Library().m_nEnablePDUs = 0;
        theApp.ClearError();
        radio = std::make_shared<TestRadio>();
        radio->SetRadioId(1, 2, 3, 4);
        radio->SetUserId(7);
        radio->SetXYZPosition(6378137.0, 0.0, 0.0);
        radio->SetFrequency(30e6, 30e6);
        device = std::make_shared<StandInDevice>();
        device->SetHandle(5);
        radio->AttachRecvPath(device.get(), 0);
        Clear();
    }

    void TearDown() override {
        radio.reset();
        SetRecvPathMakerForTest(
            std::move(realPaths_));  // for the tests that play through real paths
        hcy::radio::SetNetMgrHookForTest({});
        hcy::Library().m_hMsgWnd = 0;
        hcy::Library().m_nEnablePDUs = 0;
        plat::DestroyMessageWindow(window_);
        plat::UseRealClock();
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.clear();
    }

    // What was posted so far, oldest first: PDUs of one type (host order),
    // notices (everything but PDUs), or every outgoing PDU request.
    std::vector<std::vector<std::byte>> Pdus(std::uint8_t type) {
        std::vector<std::vector<std::byte>> out;
        for (auto& m : Outgoing())
            if (static_cast<std::uint8_t>(m.pdu.at(2)) == type) out.push_back(m.pdu);
        return out;
    }
    std::vector<hcy::radio::NetMgrMessage> Notices() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<hcy::radio::NetMgrMessage> out;
        std::copy_if(messages_.begin(), messages_.end(), std::back_inserter(out),
                     [](auto& m) { return m.message != hcy::WM_NETMGR_SEND_PDU; });
        return out;
    }
    std::vector<OutgoingPdu> Outgoing() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<OutgoingPdu> out;
        for (auto& m : messages_)
            if (m.message == hcy::WM_NETMGR_SEND_PDU && m.pdu) out.push_back(*m.pdu);
        return out;
    }

    template <class T>
    static T As(const std::vector<std::byte>& bytes) {
        T record;
        std::memcpy(&record, bytes.data(), sizeof record);
        return record;
    }

    // Host notices (lParam) posted to the message window so far.
    std::vector<std::pair<plat::WPARAM, plat::LPARAM>> Activity() {
        std::vector<std::pair<plat::WPARAM, plat::LPARAM>> out;
        plat::WindowMessage m;
        while (plat::PeekWindowMessage(window_, m))
            if (m.message == WM_CLIENT_RADIO_ACTIVITY) out.emplace_back(m.wParam, m.lParam);
        return out;
    }

    StandInPath& Path(std::size_t i = 0) { return *paths_.at(i); }

    void Hear(const TransmitterSpec& s) { Deliver(*radio, MakeTransmitterPdu(s)); }
    // 32 samples of 16-bit PCM from `id`.
    void Speak(const hcy::net::RadioId& id) {
        Deliver(*radio, MakeSignalPdu(id, 4, std::vector<std::uint8_t>(64), 32));
    }

    std::mutex mutex_;
    std::vector<hcy::radio::NetMgrMessage> messages_;
    std::vector<StandInPath*> paths_;
    RecvPathMaker realPaths_;
    plat::HWND window_ = 0;
    std::shared_ptr<TestRadio> radio;
    std::shared_ptr<StandInDevice> device;
};

}  // namespace hcytest
