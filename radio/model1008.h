#pragma once
// The six-channel set (model 1008). The host fills channel slots 0 to 5 and
// picks the transmit channel through negative frequency values:
//   receive -(slot x 65536 + channel): slot := -channel; slot 0 is also the
//                                      tuned receive frequency
//   transmit -channel:                 sent as the transmit frequency
// A transmitter is heard when its frequency equals a slot's value. The slot
// it matched is the record's receive value, its priority: while any radio of
// the library hears a higher value, output buffers drop the lower ones (the
// library-wide receive-value gate), and a value above 0 plays at full volume,
// centred.
#include <array>

#include "radio/intercom_model.h"

class CModel1008 : public CIntercomModel {
public:
    static constexpr int kChannelSlots = 6;

    CModel1008();

    // Always 1: a value that is not negative records its error text and
    // goes on ("Selected receive channel out of range.", "Selected transmit
    // channel out of range."); a slot above 5 is ignored.
    int SetFrequency(double receiveHz, double transmitHz) override;
    // Slots 5 down to 1, then 0: the first equal value sets tuner 1.0 and
    // the receive value to the slot; none: 0.0 and -1. A frequency of 0 or
    // above is never heard (receive value 0).
    void TunerModel(CReceive& record) override;

private:
    double m_fTxChannelValue = 0.0;  // the transmit value last given (negative, or 0.0)
    std::array<double, kChannelSlots> m_channelValues{};  // negated channel numbers
};
