#pragma once
// The seam between a radio and its status dialog, which lives above the
// radio (ui/). The radio owns the dialog and hands it copies of its state:
//
//   update tick -> CRadioModel::UpdateRadioData
//                    radio's lock: RadioStatus (own state, one view per record)
//                    no radio lock: StatusDialog::Update(status)
//
// Contract: a StatusDialog never calls the radio back and never waits for
// another thread of the library; its members may be called from any thread
// with no radio lock held (the tables' lock may be held).
#include <cstdint>
#include <vector>

#include "net/pdu.h"

namespace hcy::radio {

// What the dialog shows of one heard transmitter: its record's fields,
// copied under the radio's lock.
struct ReceiveView {
    net::RadioId id{};
    bool transmitting = false;
    std::uint32_t transmitterPduCount = 0;  // Transmitter PDUs received from it
    std::uint32_t signalPduCount = 0;       // Signal PDUs of its current transmission
    std::uint32_t exercise = 0;
    double antennaX = 0, antennaY = 0, antennaZ = 0;  // world plus relative [m]
    double frequency = 0;                             // [Hz]
    double power = 0;                                 // the power field as sent
    // Reception factors (0..1) and their product.
    double propagation = 0, lineOfSight = 0, tuner = 0, squelch = 0, signal = 0;
};

// The radio's own state and its records, in the order they arrived.
struct RadioStatus {
    double transmitFrequency = 0;  // [Hz]
    double recvGain = 0;
    double x = 0, y = 0, z = 0;  // antenna world location, without the relative offset [m]
    std::uint32_t xmitPdusSent = 0;
    std::uint32_t signalPdusSent = 0;
    std::vector<ReceiveView> transmitters;
};

class StatusDialog {
public:
    virtual ~StatusDialog() = default;
    // Opens the dialog for the radio `id` unless it is up already.
    virtual void Show(const net::RadioId& id) = 0;
    // Up from Show until the owner or the user closes it.
    virtual bool IsUp() = 0;
    // The once-a-second refresh; nothing while the dialog is down.
    virtual void Update(const RadioStatus& status) = 0;
    virtual void Close() = 0;
};

}  // namespace hcy::radio
