#include "radio/receive.h"

double FrequencyFromWords(std::uint32_t high, std::uint32_t low) {
    const std::uint64_t bits = (std::uint64_t{high} << 32) | low;
    return static_cast<double>(static_cast<std::int64_t>(bits));
}

void CReceive::Reset() {
    removed.store(true, std::memory_order_relaxed);
    modulationParameters.clear();
    modulationParameters.shrink_to_fit();
}

void CReceive::UpdateFromTransmitterPdu(const hcy::net::TransmitterPdu& pdu,
                                        std::span<const std::uint8_t> parameters) {
    transmitting = pdu.transmitState == 2;
    id = pdu.radioId;
    protocolVersion = pdu.header.protocolVersion;
    exercise = pdu.header.exerciseId;
    inputSource = pdu.inputSource;
    antennaWorld = pdu.antennaLocation;
    antennaRelative = pdu.relativeAntennaLocation;
    frequency = FrequencyFromWords(pdu.frequencyHigh, pdu.frequencyLow);
    net = pdu.netNumber;
    bandwidth = pdu.bandwidth;
    power = pdu.power;
    cryptoSystem = pdu.cryptoSystem;
    cryptoKey = pdu.cryptoKeyId;
    spreadSpectrum = pdu.modulation.spreadSpectrum;
    majorModulation = pdu.modulation.major;
    detailModulation = pdu.modulation.detail;
    if (!parameters.empty()) modulationParameters.assign(parameters.begin(), parameters.end());
}
