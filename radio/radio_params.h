#pragma once
// A radio's tuning, modulation, crypto and receiver settings, and which
// reception hooks run: the value the radio types set up in their
// constructors and read in their hooks (CRadioModel::Params, with the
// radio's mutex held).
#include <cstdint>
#include <vector>

#include "net/pdu.h"

inline constexpr std::uint32_t DUPLEX_HALF = 9;
inline constexpr std::uint32_t DUPLEX_FULL = 10;
// Reception mode 5: the end of a heard transmission plays the squelch tail
// and tells the devices.
inline constexpr std::uint32_t RECEPTION_MODE_TAIL = 5;
// Modes 6 (intercom, scanner, six-channel set) and 11 (raw DIS): a heard
// transmission ends without tail or notice.
inline constexpr std::uint32_t RECEPTION_MODE_NO_TAIL = 6;
inline constexpr std::uint32_t RECEPTION_MODE_SILENT = 11;

namespace hcy::radio {

struct RadioParams {
    // Tuning.
    double recvFrequency = 0.0;  // whole [Hz]
    double xmitFrequency = 0.0;  // whole [Hz]
    double bandwidth = 100.0;    // [Hz]
    std::uint16_t net = 0;
    std::uint16_t system = 1;
    std::uint16_t majorModulation = 3;
    std::uint16_t detailModulation = 1;
    std::uint16_t spreadSpectrum = 0;
    std::vector<std::uint8_t> modulationParameters;
    std::uint16_t cryptoSystem = 0;
    std::uint16_t cryptoKey = 0;
    std::uint32_t allowPlainXmit = 0;  // a keyed secure radio may send in clear
    // Antenna.
    hcy::net::WorldCoordinates antennaWorld{0.0, 0.0, 0.0};  // geocentric [m]
    hcy::net::Vector3f antennaRelative{0.0f, 0.0f, 0.0f};    // [m]
    // Receiver.
    double noiseLevel = 1e-11;  // receiver noise floor [W]
    double recvGain = 1.64;
    double squelchLevel = 0.2;
    double roundEarthThreshold = 3e7;  // [Hz]
    std::uint32_t duplex = DUPLEX_HALF;
    std::uint32_t receptionMode = RECEPTION_MODE_TAIL;
    std::uint32_t recvPathNoise = 0;  // background-noise default for new paths
    // The reception hooks that run.
    std::uint32_t doPropLoss = 1, doRoundEarth = 1, doTerrain = 1, doTuner = 1, doSquelch = 1,
                  doCrypto = 0, doHopNet = 0;
};

}  // namespace hcy::radio
