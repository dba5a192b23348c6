// Conformance with an independent DIS decoder: the converters' output is
// written as a capture file (Ethernet/IPv4/UDP frames from 127.0.0.1 port
// 3000 to 127.0.0.1 port 3000), decoded by tshark, and tshark's fields are
// compared with the values the host-order records held. Where the system
// deliberately gives a field another meaning than the standard, the test
// pins the system's value and says why.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "net/pdu.h"
#include "net/pdu_samples.h"

namespace hcy::net {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::BytesOf;
using test::Concat;

// --- capture file ----------------------------------------------------------

void PutLe32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::byte>(v >> (8 * i)));
}
void PutLe16(Bytes& out, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) out.push_back(static_cast<std::byte>(v >> (8 * i)));
}
void PutBe16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::byte>(v >> 8));
    out.push_back(static_cast<std::byte>(v));
}

// One Ethernet/IPv4/UDP frame, loopback to loopback, DIS port 3000.
Bytes UdpFrame(const Bytes& payload) {
    constexpr std::uint16_t kDisPort = 3000;
    Bytes frame(12, std::byte{0});  // destination and source MAC
    PutBe16(frame, 0x0800);         // IPv4

    Bytes ip;
    const auto ipLength = static_cast<std::uint16_t>(20 + 8 + payload.size());
    ip.push_back(std::byte{0x45});
    ip.push_back(std::byte{0});
    PutBe16(ip, ipLength);
    PutBe16(ip, 1);       // identification
    PutBe16(ip, 0x4000);  // don't fragment
    ip.push_back(std::byte{64});  // time to live
    ip.push_back(std::byte{17});  // UDP
    PutBe16(ip, 0);               // checksum, filled below
    for (int i = 0; i < 2; ++i) {  // 127.0.0.1 -> 127.0.0.1
        ip.push_back(std::byte{127});
        ip.push_back(std::byte{0});
        ip.push_back(std::byte{0});
        ip.push_back(std::byte{1});
    }
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < ip.size(); i += 2)
        sum += (std::to_integer<std::uint32_t>(ip[i]) << 8) |
               std::to_integer<std::uint32_t>(ip[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    ip[10] = static_cast<std::byte>(~sum >> 8);
    ip[11] = static_cast<std::byte>(~sum);

    frame.insert(frame.end(), ip.begin(), ip.end());
    PutBe16(frame, kDisPort);
    PutBe16(frame, kDisPort);
    PutBe16(frame, static_cast<std::uint16_t>(8 + payload.size()));
    PutBe16(frame, 0);  // no UDP checksum
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

void WriteCapture(const fs::path& path, const std::vector<Bytes>& payloads) {
    Bytes file;
    PutLe32(file, 0xA1B2C3D4);  // microsecond capture, little-endian
    PutLe16(file, 2);
    PutLe16(file, 4);
    PutLe32(file, 0);      // time zone
    PutLe32(file, 0);      // accuracy
    PutLe32(file, 65535);  // snapshot length [bytes]
    PutLe32(file, 1);      // Ethernet
    std::uint32_t second = 1;
    for (const Bytes& payload : payloads) {
        const Bytes frame = UdpFrame(payload);
        PutLe32(file, second++);
        PutLe32(file, 0);
        PutLe32(file, static_cast<std::uint32_t>(frame.size()));
        PutLe32(file, static_cast<std::uint32_t>(frame.size()));
        file.insert(file.end(), frame.begin(), frame.end());
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
}

// --- decoding --------------------------------------------------------------

const std::vector<std::string> kFields = {
    "dis.proto_ver", "dis.exer_id", "dis.pdu_type", "dis.proto_fam", "dis.pdu_length",
    "dis.entity_id_site", "dis.entity_id_application", "dis.entity_id_entity",
    "dis.radio.radio_id", "dis.radio.transmitter_radio_id",
    "dis.entityKind", "dis.country", "dis.radio.nomenclature", "dis.radio.transmit_state",
    "dis.radio.input_source",
    "dis.antenna_location.x", "dis.antenna_location.y", "dis.antenna_location.z",
    "dis.rel_antenna_location.z",
    "dis.radio.frequency", "dis.transmit_freq_bandwidth", "dis.transmit_power",
    "dis.radio.mod_type.major",
    "dis.modulation_detail", "dis.radio.mod_type.system", "dis.radio.crypto_system",
    "dis.radio.encryption_key", "dis.radio.encryption_key.mode", "dis.radio.encryption_key.id",
    "dis.radio.mod_param.length", "dis.radio.mod_param.all", "dis.padding",
    "dis.radio.encoding_class", "dis.radio.encoding_type.audio",
    "dis.radio.tdl_type", "dis.radio.sample_rate", "dis.radio.data_length",
    "dis.radio.num_of_samples", "dis.radio.signal_data",
    "dis.radio.receive_state", "dis.receive_power",
    "dis.entity_location.x", "dis.entity_location.y", "dis.entity_location.z",
    "dis.force_id", "dis.entity_linear_velocity.x", "dis.entity_orientation.psi",
};

// One decoded frame: field name -> tshark's text (occurrences joined by ',').
struct Decoded {
    std::map<std::string, std::string> fields;
    std::string operator[](const std::string& name) const {
        auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    }
    double number(const std::string& name) const { return std::stod((*this)[name]); }
};

class PduTsharkTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("tshark -v >/dev/null 2>&1") != 0) {
            if (std::getenv("CI") != nullptr) FAIL() << "tshark is required on CI";
            GTEST_SKIP() << "tshark not installed; the independent decoder check is skipped";
        }
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("hcy-pdu-tshark-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }

    // Decodes the payloads with tshark, one result per frame.
    std::vector<Decoded> Decode(const std::vector<Bytes>& payloads) {
        const fs::path capture = dir_ / "pdus.pcap";
        const fs::path output = dir_ / "fields.txt";
        WriteCapture(capture, payloads);
        std::string command = "tshark -n -r '" + capture.string() +
                              "' -d udp.port==3000,dis -T fields -E separator=/t"
                              " -E occurrence=a -E aggregator=,";
        for (const std::string& field : kFields) command += " -e " + field;
        const fs::path errors = dir_ / "errors.txt";
        command += " > '" + output.string() + "' 2> '" + errors.string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::ifstream text(errors);
            ADD_FAILURE() << command << "\n"
                          << std::string(std::istreambuf_iterator<char>(text), {});
        }

        std::vector<Decoded> frames;
        std::ifstream in(output);
        std::string line;
        while (std::getline(in, line)) {
            Decoded frame;
            std::istringstream columns(line);
            std::string value;
            for (const std::string& field : kFields) {
                if (!std::getline(columns, value, '\t')) value.clear();
                frame.fields[field] = value;
            }
            frames.push_back(frame);
        }
        EXPECT_EQ(frames.size(), payloads.size());
        return frames;
    }

    static Bytes ToWire(std::size_t (*convert)(std::span<const std::byte>, std::span<std::byte>),
                        const Bytes& host) {
        Bytes wire(host.size());
        EXPECT_EQ(convert(host, wire), host.size());
        return wire;
    }

    static void ExpectHeader(const Decoded& d, const PduHeader& h, std::size_t datagramBytes) {
        EXPECT_EQ(d["dis.proto_ver"], std::to_string(h.protocolVersion));
        EXPECT_EQ(d["dis.exer_id"], std::to_string(h.exerciseId));
        EXPECT_EQ(d["dis.pdu_type"], std::to_string(h.pduType));
        EXPECT_EQ(d["dis.proto_fam"], std::to_string(h.protocolFamily));
        EXPECT_EQ(d["dis.pdu_length"], std::to_string(h.length));
        EXPECT_EQ(h.length, datagramBytes);
    }

    static void ExpectEntity(const Decoded& d, const std::string& site, const std::string& app,
                             const std::string& entity) {
        EXPECT_EQ(d["dis.entity_id_site"], site);
        EXPECT_EQ(d["dis.entity_id_application"], app);
        EXPECT_EQ(d["dis.entity_id_entity"], entity);
    }

    fs::path dir_;
};

TEST_F(PduTsharkTest, RadioPdusDecodeToTheRecordValues) {
    // Transmitter: a realistic modulation, as the radios send it.
    TransmitterPdu transmitter = test::SampleTransmitter();
    transmitter.antennaPatternType = 0;
    transmitter.antennaPatternLength = 0;
    transmitter.modulation = {0x0001, 1, 2, 1};
    const Bytes transmitterHost =
        Concat(BytesOf(transmitter), test::SampleModulationParameters());
    const Bytes signalHost = Concat(BytesOf(test::SampleSignal()), test::SampleSignalAudio());
    const ReceiverPdu receiver = test::SampleReceiver();

    const std::vector<Decoded> frames = Decode({
        ToWire(TransmitterPduToNet, transmitterHost),
        ToWire(SignalPduToNet, signalHost),
        ToWire(ReceiverPduToNet, BytesOf(receiver)),
    });
    ASSERT_EQ(frames.size(), 3u);

    const Decoded& t = frames[0];
    ExpectHeader(t, transmitter.header, transmitterHost.size());
    ExpectEntity(t, "2571", "3085", "3599");  // 0x0A0B, 0x0C0D, 0x0E0F
    EXPECT_EQ(t["dis.radio.radio_id"], "4113");
    EXPECT_EQ(t["dis.entityKind"], "7");
    EXPECT_EQ(t["dis.country"], "225");
    EXPECT_EQ(t["dis.radio.nomenclature"], "5912");
    EXPECT_EQ(t["dis.radio.transmit_state"], "2");
    // Input source: the low 8 bits of the keying device's source word, not
    // the standard's enumeration of crew positions.
    EXPECT_EQ(t["dis.radio.input_source"], "25");
    // Bytes 30 and 31 are padding to a standard reader; the system carries
    // the radio's net number there.
    // (Occurrences: header padding, these two bytes, the 3 bytes at 101.)
    EXPECT_EQ(t["dis.padding"], "0000,1a1b,000000");
    EXPECT_EQ(t.number("dis.antenna_location.x"), 1.5);
    EXPECT_EQ(t.number("dis.antenna_location.y"), -2.25);
    EXPECT_EQ(t.number("dis.antenna_location.z"), 6378137.0);
    EXPECT_EQ(t.number("dis.rel_antenna_location.z"), 2.0);
    EXPECT_EQ(t["dis.radio.frequency"], "4294967554");  // the two halves as one u64
    EXPECT_EQ(t.number("dis.transmit_freq_bandwidth"), 25000.0);
    EXPECT_EQ(t.number("dis.transmit_power"), 40.0);
    EXPECT_EQ(t["dis.radio.mod_type.major"], "1");
    EXPECT_EQ(t["dis.modulation_detail"], "2");
    EXPECT_EQ(t["dis.radio.mod_type.system"], "1");
    EXPECT_EQ(t["dis.radio.crypto_system"], "10281");  // 0x2829
    // The whole u16 is the crypto key (0x8005); a standard reader takes bit
    // 15 as the encryption mode and the rest as the key.
    EXPECT_EQ(t["dis.radio.encryption_key"], "0x8005");
    EXPECT_EQ(t["dis.radio.encryption_key.mode"], "1");
    EXPECT_EQ(t["dis.radio.encryption_key.id"], "5");
    EXPECT_EQ(t["dis.radio.mod_param.length"], "16");
    // Modulation parameters travel untouched.
    EXPECT_EQ(t["dis.radio.mod_param.all"], "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");

    const Decoded& s = frames[1];
    const SignalPdu signal = test::SampleSignal();
    ExpectHeader(s, signal.header, signalHost.size());
    ExpectEntity(s, "2571", "3085", "3599");
    EXPECT_EQ(s["dis.radio.radio_id"], "4113");
    EXPECT_EQ(s["dis.radio.encoding_class"], "0");
    EXPECT_EQ(s["dis.radio.encoding_type.audio"], "4");
    EXPECT_EQ(s["dis.radio.tdl_type"], "0");
    EXPECT_EQ(s["dis.radio.sample_rate"], "16000");
    EXPECT_EQ(s["dis.radio.data_length"], "64");
    EXPECT_EQ(s["dis.radio.num_of_samples"], "4");
    // Encoding 4 means big-endian PCM to a standard reader; the system's PCM
    // codec writes little-endian samples and the converters leave them so.
    EXPECT_EQ(s["dis.radio.signal_data"], "3412feff0201007f");

    const Decoded& r = frames[2];
    ExpectHeader(r, receiver.header, sizeof(ReceiverPdu));
    ExpectEntity(r, "2571,12337", "3085,12851", "3599,13365");  // receiver, transmitter
    EXPECT_EQ(r["dis.radio.radio_id"], "4113");
    EXPECT_EQ(r["dis.radio.transmitter_radio_id"], "13879");
    EXPECT_EQ(r["dis.radio.receive_state"], "2");
    // Received power is in watts here; a standard reader calls it dBm.
    EXPECT_FLOAT_EQ(static_cast<float>(r.number("dis.receive_power")), 8.6e-8f);
}

TEST_F(PduTsharkTest, EntityStateReadsAsTheDecoderReadsIt) {
    const Bytes wire = test::SampleEntityStateWire();
    Bytes host(wire.size());
    ASSERT_EQ(EntityStatePduToHost(wire, host), ENTITY_STATE_PDU_SIZE);
    const EntityStatePdu pdu = *ReadRecord<EntityStatePdu>(host);

    const std::vector<Decoded> frames = Decode({wire});
    ASSERT_EQ(frames.size(), 1u);
    const Decoded& d = frames[0];
    ExpectHeader(d, pdu.header, wire.size());
    ExpectEntity(d, std::to_string(pdu.entityId.site), std::to_string(pdu.entityId.application),
                 std::to_string(pdu.entityId.entity));
    EXPECT_EQ(d["dis.force_id"], std::to_string(pdu.forceId));
    EXPECT_EQ(d.number("dis.entity_location.x"), pdu.location.x);
    EXPECT_EQ(d.number("dis.entity_location.y"), pdu.location.y);
    EXPECT_EQ(d.number("dis.entity_location.z"), pdu.location.z);
    EXPECT_EQ(static_cast<float>(d.number("dis.entity_linear_velocity.x")), pdu.linearVelocity.x);
    EXPECT_EQ(static_cast<float>(d.number("dis.entity_orientation.psi")), pdu.orientation.x);
}

TEST_F(PduTsharkTest, InterphonePdusCarryAStandardHeader) {
    // Types 160 and 161 are the system's own; a standard reader knows only
    // their header.
    const IcsTransmitterPdu control = test::SampleIcsTransmitter();
    const Bytes audioHost = Concat(BytesOf(test::SampleIcsSignal()), test::SampleIcsSignalAudio());
    const std::vector<Decoded> frames = Decode({
        ToWire(IcsTransmitterPduToNet, BytesOf(control)),
        ToWire(IcsSignalPduToNet, audioHost),
    });
    ASSERT_EQ(frames.size(), 2u);
    ExpectHeader(frames[0], control.header, sizeof(IcsTransmitterPdu));
    ExpectHeader(frames[1], test::SampleIcsSignal().header, audioHost.size());
}

}  // namespace
}  // namespace hcy::net
