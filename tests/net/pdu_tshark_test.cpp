// Conformance with an independent DIS decoder: the converters' output is
// written as a capture file (IPv4/UDP packets from 127.0.0.1 port 3000 to
// 127.0.0.1 port 3000), decoded by tshark, and tshark's fields are compared
// with the values the host-order records held. Where the system deliberately
// gives a field another meaning than the standard, the test pins the
// system's value and says why.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

#include "halcyra/halcyra.h"
#include "media/net_play_device.h"
#include "net_fixture.h"
#include "radio/arc164_radio.h"
#include "radio/radio_post.h"
#include "radio/sincgars_radio.h"

using namespace nettest;
namespace fs = std::filesystem;

namespace {

void Put(Bytes& out, std::uint32_t value, int bytes, bool bigEndian = false) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::byte>(value >> 8 * (bigEndian ? bytes - 1 - i : i)));
}

void WriteCapture(const fs::path& path, const std::vector<Bytes>& payloads) {
    Bytes file;
    // Microsecond capture 2.4, snapshot length 65535 [bytes], raw IP packets.
    for (std::uint32_t v : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 65535u, 101u}) Put(file, v, 4);
    std::uint32_t second = 1;
    for (const Bytes& payload : payloads) {
        Bytes ip;
        const auto size = static_cast<std::uint32_t>(28 + payload.size());
        // Version 4, length; identification 1, don't fragment; time to live
        // 64, UDP; 127.0.0.1 to 127.0.0.1.
        for (std::uint32_t word :
             {0x45000000u | size, 0x00014000u, 0x40110000u, 0x7F000001u, 0x7F000001u})
            Put(ip, word, 4, true);
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < 20; i += 2)
            sum += std::to_integer<std::uint32_t>(ip[i]) << 8 |
                   std::to_integer<std::uint32_t>(ip[i + 1]);
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        ip[10] = static_cast<std::byte>(~sum >> 8);
        ip[11] = static_cast<std::byte>(~sum);
        Put(ip, 3000u << 16 | 3000u, 4, true);  // DIS port both ways
        Put(ip, (size - 20) << 16, 4, true);    // UDP length, no checksum
        ip.insert(ip.end(), payload.begin(), payload.end());
        for (std::uint32_t v : {second++, 0u, size, size}) Put(file, v, 4);
        file.insert(file.end(), ip.begin(), ip.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

using Expected = std::vector<std::pair<std::string, std::string>>;

Expected Header(const PduHeader& h) {
    return {{"dis.proto_ver", std::to_string(h.protocolVersion)},
            {"dis.exer_id", std::to_string(h.exerciseId)},
            {"dis.pdu_type", std::to_string(h.pduType)},
            {"dis.proto_fam", std::to_string(h.protocolFamily)},
            {"dis.pdu_length", std::to_string(h.length)}};
}

Expected operator+(Expected a, const Expected& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes ToWire(Converter convert, const Bytes& host) {
    Bytes wire(host.size());
    EXPECT_EQ(convert(host, wire), host.size());
    return wire;
}

class PduTsharkTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("tshark -v >/dev/null 2>&1") != 0) {
            if (std::getenv("CI") != nullptr) FAIL() << "tshark is required on CI";
            GTEST_SKIP() << "tshark not installed; the independent decoder check is skipped";
        }
        dir_ = fs::temp_directory_path() /
               ("hcy-pdu-tshark-" + std::to_string(std::random_device()()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }

    // Decodes the datagrams with tshark and compares each frame's fields
    // (occurrences joined by ',') with what is expected of it. Values with a
    // point or an exponent are compared as numbers (tshark prints floating
    // fields its own way), everything else as text.
    void ExpectDecoded(const std::vector<std::pair<Bytes, Expected>>& frames) {
        std::vector<Bytes> payloads;
        std::vector<std::string> fields;
        for (const auto& [wire, expected] : frames) {
            payloads.push_back(wire);
            for (const auto& [field, value] : expected)
                if (std::find(fields.begin(), fields.end(), field) == fields.end())
                    fields.push_back(field);
        }
        WriteCapture(dir_ / "pdus.pcap", payloads);
        std::string command =
            "tshark -n -r '" + (dir_ / "pdus.pcap").string() +
            "' -d udp.port==3000,dis -T fields -E separator=/t -E occurrence=a -E aggregator=,";
        for (const std::string& field : fields) command += " -e " + field;
        command += " > '" + (dir_ / "fields.txt").string() + "' 2> '" +
                   (dir_ / "errors.txt").string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::ifstream text(dir_ / "errors.txt");
            ADD_FAILURE() << command << "\n"
                          << std::string(std::istreambuf_iterator<char>(text), {});
        }
        std::ifstream in(dir_ / "fields.txt");
        std::size_t frame = 0;
        for (std::string line; std::getline(in, line) && frame < frames.size(); ++frame) {
            SCOPED_TRACE("frame " + std::to_string(frame));
            std::map<std::string, std::string> decoded;
            std::istringstream columns(line);
            for (const std::string& field : fields) std::getline(columns, decoded[field], '\t');
            EXPECT_EQ(decoded["dis.pdu_length"], std::to_string(frames[frame].first.size()));
            for (const auto& [field, value] : frames[frame].second) {
                const std::string& got = decoded[field];
                char* end = nullptr;
                std::strtod(value.c_str(), &end);
                if (*end != '\0' || value.find_first_of(".e") == std::string::npos || got.empty()) {
                    EXPECT_EQ(got, value) << field;
                } else {
                    EXPECT_NEAR(std::stod(got), std::stod(value), std::abs(std::stod(value)) * 1e-6)
                        << field;
                }
            }
        }
        EXPECT_EQ(frame, frames.size());
    }

    fs::path dir_;
};

TEST_F(PduTsharkTest, EveryPduDecodesToTheRecordValues) {
    // Transmitter: a realistic modulation, as the radios send it.
    TransmitterPdu transmitter = SampleTransmitter();
    transmitter.antennaPatternType = 0;
    transmitter.antennaPatternLength = 0;
    transmitter.modulation = {0x0001, 1, 2, 1};
    const Samples s;
    Bytes esHost(s.esWire.size());
    ASSERT_EQ(EntityStatePduToHost(s.esWire, esHost), ENTITY_STATE_PDU_SIZE);
    const EntityStatePdu es = *ReadRecord<EntityStatePdu>(esHost);
    const Expected radioId = {{"dis.entity_id_site", "2571"},  // 0x0A0B, 0x0C0D, 0x0E0F, 0x1011
                              {"dis.entity_id_application", "3085"},
                              {"dis.entity_id_entity", "3599"},
                              {"dis.radio.radio_id", "4113"}};
    ExpectDecoded({
        {ToWire(TransmitterPduToNet, Cat(RecordBytes(transmitter), kModulationParameters)),
         Header(transmitter.header) + radioId +
             Expected{
                 {"dis.entityKind", "7"},
                 {"dis.country", "225"},
                 {"dis.radio.nomenclature", "5912"},
                 {"dis.radio.transmit_state", "2"},
                 // Input source: the low 8 bits of the keying device's source
                 // word, not the standard's enumeration of crew positions.
                 {"dis.radio.input_source", "25"},
                 // Bytes 30 and 31 are padding to a standard reader; the system
                 // carries the radio's net number there. (Occurrences: header
                 // padding, these two bytes, the 3 bytes at 101.)
                 {"dis.padding", "0000,1a1b,000000"},
                 {"dis.antenna_location.x", "1.5"},
                 {"dis.antenna_location.y", "-2.25"},
                 {"dis.antenna_location.z", "6378137.0"},
                 {"dis.rel_antenna_location.z", "2.0"},
                 {"dis.radio.frequency", "4294967554"},  // the two halves as one u64
                 {"dis.transmit_freq_bandwidth", "25000.0"},
                 {"dis.transmit_power", "40.0"},
                 {"dis.radio.mod_type.major", "1"},
                 {"dis.modulation_detail", "2"},
                 {"dis.radio.mod_type.system", "1"},
                 {"dis.radio.crypto_system", "10281"},  // 0x2829
                 // The whole u16 is the crypto key (0x8005); a standard reader
                 // takes bit 15 as the encryption mode and the rest as the key.
                 {"dis.radio.encryption_key", "0x8005"},
                 {"dis.radio.encryption_key.mode", "1"},
                 {"dis.radio.encryption_key.id", "5"},
                 {"dis.radio.mod_param.length", "16"},
                 {"dis.radio.mod_param.all", "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf"}}},  // untouched
        {ToWire(SignalPduToNet, s.sigHost),
         Header(SampleSignal().header) + radioId +
             Expected{{"dis.radio.encoding_class", "0"},
                      {"dis.radio.encoding_type.audio", "4"},
                      {"dis.radio.tdl_type", "0"},
                      {"dis.radio.sample_rate", "16000"},
                      {"dis.radio.data_length", "64"},
                      {"dis.radio.num_of_samples", "4"},
                      // Encoding 4 means big-endian PCM to a standard reader; the
                      // system's PCM codec writes little-endian samples and the
                      // converters leave them so.
                      {"dis.radio.signal_data", "3412feff0201007f"}}},
        {ToWire(ReceiverPduToNet, s.rxHost),
         Header(SampleReceiver().header) +
             Expected{
                 {"dis.entity_id_site", "2571,12337"},  // receiver, transmitter
                 {"dis.entity_id_application", "3085,12851"},
                 {"dis.entity_id_entity", "3599,13365"},
                 {"dis.radio.radio_id", "4113"},
                 {"dis.radio.transmitter_radio_id", "13879"},
                 {"dis.radio.receive_state", "2"},
                 {"dis.receive_power", "8.6e-08"}}},  // watts here; a standard reader calls it dBm
        // Entity State: what the to-host converter read is what the decoder reads.
        {s.esWire,
         Header(es.header) +
             Expected{{"dis.entity_id_site", std::to_string(es.entityId.site)},
                      {"dis.entity_id_application", std::to_string(es.entityId.application)},
                      {"dis.entity_id_entity", std::to_string(es.entityId.entity)},
                      {"dis.force_id", std::to_string(es.forceId)},
                      {"dis.entity_location.x", std::to_string(es.location.x)},
                      {"dis.entity_location.y", std::to_string(es.location.y)},
                      {"dis.entity_location.z", std::to_string(es.location.z)},
                      {"dis.entity_linear_velocity.x", std::to_string(es.linearVelocity.x)},
                      {"dis.entity_orientation.psi", std::to_string(es.orientation.x)}}},
        // Types 160 and 161 are the system's own; a standard reader knows
        // only their header.
        {ToWire(IcsTransmitterPduToNet, s.icsTxHost), Header(SampleIcsTransmitter().header)},
        {ToWire(IcsSignalPduToNet, s.icsSigHost), Header(SampleIcsSignal().header)},
    });
}

// The modulation parameters as the secure models send them: the hop-net
// record in network order (decoded field by field by a standard reader when
// the radio system says CCTT SINCGARS, 6; SINCGARS radios say 5, which it
// shows as bytes), and the ARC-164's HQ block, eight words in the machine's
// own order.
TEST_F(PduTsharkTest, TheSecureModelsModulationParametersDecode) {
    // The ARC-164 reads its band from a configuration of its own: none.
    const hcytest::ScopedEnv home("XDG_CONFIG_HOME", dir_.string());
    const hcytest::ScopedCwd cwd(dir_.string());
    std::vector<Bytes> sent;
    hcy::radio::SetNetMgrHookForTest([&](hcy::radio::NetMgrMessage&& m) {
        if (m.pdu) sent.push_back(m.pdu->pdu);
    });
    auto set = [](CRadioModel& radio, int id, auto value) { radio.SetRadioData(id, &value); };
    CSincgarsRadioModel sincgars(std::make_shared<CNetPlayDevices>());
    sincgars.SetFrequency(30e6, 30e6);
    set(sincgars, RD_FH_NET_ID, std::uint16_t{258});
    set(sincgars, RD_HOP_SET_ID, std::uint16_t{772});
    set(sincgars, RD_LOCKOUT_SET_ID, std::uint16_t{1286});
    set(sincgars, RD_FH_SYNC_OFFSET, std::uint32_t{117967114});
    set(sincgars, RD_TRANSEC_KEY, std::uint16_t{2828});
    set(sincgars, RD_CLEAR_CHANNEL, std::uint8_t{1});
    sincgars.SetSpreadSpectrum(1);
    sincgars.Heartbeat();
    sincgars.SetSystem(6);
    sincgars.SetPTT(1, 2);  // the first PDU of the keying: start of message
    CArc164RadioModel arc164(std::make_shared<CNetPlayDevices>());
    arc164.SetFrequency(243e6, 243e6);
    set(arc164, RD_FH_NET_ID, std::uint16_t{0x0102});
    set(arc164, RD_FH_SYNC_OFFSET, std::uint16_t{3});
    set(arc164, RD_HQ_SET_WOD, std::uint32_t{5} << 16 | 0xA1B2);
    arc164.Heartbeat();
    hcy::radio::SetNetMgrHookForTest({});
    ASSERT_EQ(sent.size(), 3u);
    const Expected length = {{"dis.pdu_type", "25"}, {"dis.pdu_length", "120"}};
    const Expected cctt = {{"dis.radio.mod_type.system", "6"},
                           {"dis.radio.mod_type.frequency_hopping", "1"},
                           {"dis.radio.mod_param.length", "16"},
                           {"dis.radio.mod_param.cctt_cingars.fh_nw_id", "258"},
                           {"dis.radio.mod_param.cctt_cingars.fh_set_id", "772"},
                           {"dis.radio.mod_param.cctt_cingars.fh_lo_set_id", "1286"},
                           {"dis.radio.mod_param.cctt_cingars.fh_msg_start", "1"},
                           {"dis.radio.mod_param.cctt_cingars.fh_sync_offset", "117967114"},
                           {"dis.radio.mod_param.cctt_cingars.fh_securit_key", "2828"},
                           {"dis.radio.mod_param.cctt_cingars.fh_clr_channel", "1"}};
    ExpectDecoded({
        {ToWire(TransmitterPduToNet, sent[0]),
         length + Expected{{"dis.radio.mod_type.system", "5"},
                           {"dis.radio.transmit_state", "1"},
                           {"dis.radio.mod_param.all", "01020304050600000708090a0b0c0100"}}},
        {ToWire(TransmitterPduToNet, sent[1]), length + cctt},
        {ToWire(TransmitterPduToNet, sent[2]),
         length + Expected{{"dis.radio.mod_type.system", "1"},
                           {"dis.radio.frequency", "243000000"},
                           {"dis.radio.mod_param.all", "0201030000000000000000000000b2a1"}}},
    });
}

}  // namespace
