#pragma once
// The secure models under test: a model of a code on a stand-in path, with
// a configuration folder of its own, fed Transmitter PDUs that carry crypto,
// spread spectrum and modulation, and WAV files for its prompts and tones.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "halcyra/halcyra.h"
#include "model_fixture.h"
#include "radio/arc164_radio.h"
#include "radio/arc186_radio.h"
#include "radio/secure_radio.h"
#include "radio/sincgars_radio.h"
#include "support/test_support.h"

namespace hcytest::secure {

using hcy::net::TransmitterPdu;
using Bytes = std::vector<std::uint8_t>;

// What the tests vary of a heard transmitter beyond TransmitterSpec.
struct Air {
    std::uint16_t system = 0, key = 0, spread = 0, major = 3, detail = 1;
};

template <class Model>
struct Open : Model {
    Open() : Model(std::make_shared<CNetPlayDevices>()) {}
    using Model::Params;
};

class SecureModels : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        home_ = std::make_unique<hcytest::ScopedEnv>("XDG_CONFIG_HOME", dir_.path());
        cwd_ = std::make_unique<hcytest::ScopedCwd>(dir_.path());
    }
    void TearDown() override {
        ModelTest::TearDown();
        cwd_.reset();
        home_.reset();
    }
    void WriteConfig(const std::string& text) {
        hcytest::WriteFile(dir_.file("Tervale.cfg"), text);
    }

    // A model tuned to 30 MHz at the fixture radio's place; its path index.
    template <class Model = CRadioModel>
    std::shared_ptr<Model> Tuned(std::uint16_t code, std::size_t& p, double hertz = 30e6) {
        auto model = std::dynamic_pointer_cast<Model>(Make(code, &p));
        model->SetXYZPosition(6378137.0, 0.0, 0.0);
        model->SetFrequency(hertz, hertz);
        return model;
    }

    static std::vector<std::byte> Pdu(const TransmitterSpec& s, const Air& a) {
        auto bytes = MakeTransmitterPdu(s);
        auto t = As<TransmitterPdu>(bytes);
        t.cryptoSystem = a.system;
        t.cryptoKeyId = a.key;
        t.modulation = {a.spread, a.major, a.detail, 1};
        std::memcpy(bytes.data(), &t, sizeof t);
        return bytes;
    }

    // Keyed transmission of 32 samples: whether the model heard it (started
    // it on its path) and how many blocks it played.
    struct Heard {
        const CReceive* record;
        std::size_t blocks;
    };
    Heard Hear(CRadioModel& model, std::size_t p, const TransmitterSpec& s, const Air& a = {}) {
        Path(p).gains.clear();
        Path(p).writes.clear();
        Deliver(model, Pdu(s, a));
        Deliver(model, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
        return {Started(Path(p)), Path(p).writes.size()};
    }

    TransmitterPdu LastTransmitterPdu() {
        const auto pdus = Pdus(hcy::net::PDU_TYPE_TRANSMITTER);
        EXPECT_FALSE(pdus.empty());
        return pdus.empty() ? TransmitterPdu{} : As<TransmitterPdu>(pdus.back());
    }
    Bytes Parameters() {
        const auto pdus = Pdus(hcy::net::PDU_TYPE_TRANSMITTER);
        if (pdus.empty()) return {};
        Bytes out;
        for (std::size_t i = hcy::net::TRANSMITTER_PDU_SIZE; i < pdus.back().size(); ++i)
            out.push_back(static_cast<std::uint8_t>(pdus.back()[i]));
        return out;
    }
    static double Frequency(const TransmitterPdu& t) {
        return FrequencyFromWords(t.frequencyHigh, t.frequencyLow);
    }
    static int Data(CRadioModel& model, int id, auto value) {
        return model.SetRadioData(id, &value);
    }

    hcytest::TempDir dir_;
    std::unique_ptr<hcytest::ScopedEnv> home_;
    std::unique_ptr<hcytest::ScopedCwd> cwd_;
};

// A 16-bit mono PCM file at 16 kHz of `count` samples of `value`.
inline std::string WriteWav(const std::string& path, std::size_t count, std::int16_t value) {
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    const auto bytes = static_cast<std::uint32_t>(count * 2);
    std::string file = "RIFF" + u32(36 + bytes) + "WAVEfmt " + u32(16) + u32(0x00010001) +
                       u32(16000) + u32(32000) + u32(0x00100002) + "data" + u32(bytes);
    for (std::size_t i = 0; i < count; ++i) file += std::string{char(value), char(value >> 8)};
    WriteFile(path, file);
    return path;
}

}  // namespace hcytest::secure
