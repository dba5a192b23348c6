#include "radio/generic_radio.h"

#include <cmath>

#include "radio/receive.h"

namespace hcy::radio {

double EllipsoidHeight(double x, double y, double z) {
    const double p = std::sqrt(x * x + y * y);
    // atan2 keeps the poles (p = 0) exact: +-pi/2.
    const double phi = std::atan2(z * 1.006739532, p);
    const double s = std::sin(phi);
    return p * std::cos(phi) + z * s - 6378137.0 * std::sqrt(1.0 - 0.006694379 * s * s);
}

double RadioHorizon(double h, double extraMetres) {
    const double r = std::sqrt(17.0 * (std::fabs(h) + extraMetres)) * 1000.0;
    return h < 0.0 ? -r : r;
}

}  // namespace hcy::radio

namespace {

bool AtOrigin(double x, double y, double z) { return x == 0.0 && y == 0.0 && z == 0.0; }

// 3e8 / (4 pi): free-space loss L = (K / (d f))^2 [m Hz].
constexpr double kFreeSpace = 23873241.46;

}  // namespace

CGenericRadioModel::CGenericRadioModel() {
    Params().system = 1;
    Params().duplex = DUPLEX_HALF;
    Params().receptionMode = RECEPTION_MODE_TAIL;
    Params().recvPathNoise = 0;
    // The 16-byte hop-net record, FH net id 1 in its low byte.
    Params().modulationParameters.assign(16, 0);
    Params().modulationParameters[1] = 1;
}

int CGenericRadioModel::SetFrequency(double receiveHz, double transmitHz) {
    return CRadioModel::SetFrequency(receiveHz, transmitHz) ? 1 : 0;
}

// Half duplex: while the radio transmits, its paths' noise is muted and
// what it hears is blocked. Decided by the outcome of the keying, so that a
// refused key or another source's release changes nothing.
int CGenericRadioModel::SetPTT(int on, std::uint32_t source) {
    Guard lock(*this);
    const int result = CRadioModel::SetPTT(on, source);
    if (Params().duplex == DUPLEX_HALF) {
        const bool keyed = IsKeyed();
        MutePathNoise(keyed);
        SetRecordsPttBlock(keyed);
    }
    return result;
}

void CGenericRadioModel::PropLossModel(CReceive& r) {
    const double tx = r.GetAntennaX(), ty = r.GetAntennaY(), tz = r.GetAntennaZ();
    const double ax = Params().antennaWorld.x + Params().antennaRelative.x;
    const double ay = Params().antennaWorld.y + Params().antennaRelative.y;
    const double az = Params().antennaWorld.z + Params().antennaRelative.z;
    // Received power with no path loss [W]: transmitted power [dBm] and the
    // receive gain [dB].
    const double unattenuated =
        std::pow(10.0, 0.1 * r.power) * 0.001 * std::pow(10.0, 0.1 * Params().recvGain);
    double loss = 1.0;
    r.noPosition = true;
    if (!AtOrigin(tx, ty, tz) && !AtOrigin(ax, ay, az)) {
        const double d =
            std::sqrt((tx - ax) * (tx - ax) + (ty - ay) * (ty - ay) + (tz - az) * (tz - az));
        const double f = Params().recvFrequency;
        if (d != 0.0 && f > 0.0) {
            const double q = kFreeSpace / (d * f);
            const double l = q * q;
            // Unknown tuning (f <= 0) or an overflow is no position; closer
            // than the near field no more than the transmitted power arrives.
            if (std::isfinite(l)) {
                loss = std::min(l, 1.0);
                r.noPosition = false;
            }
        }
    }
    if (r.noPosition && (AtOrigin(tx, ty, tz) || AtOrigin(ax, ay, az))) {
        r.propagation = 1.0;
        r.receivedPower = unattenuated;
        return;
    }
    r.receivedPower = unattenuated * loss;
    const double ratio = r.receivedPower / Params().noiseLevel;
    r.propagation = ratio >= 1.0 ? 1.0 : (ratio > 0.0 ? ratio : 0.0);
}

void CGenericRadioModel::RoundEarthModel(CReceive& r) { LineOfSight(r, 0.0); }

void CGenericRadioModel::LineOfSight(CReceive& r, double extraMetres) {
    r.lineOfSight = 1.0;
    if (r.frequency < Params().roundEarthThreshold) return;
    const double tx = r.GetAntennaX(), ty = r.GetAntennaY(), tz = r.GetAntennaZ();
    const double ax = Params().antennaWorld.x + Params().antennaRelative.x;
    const double ay = Params().antennaWorld.y + Params().antennaRelative.y;
    const double az = Params().antennaWorld.z + Params().antennaRelative.z;
    if (AtOrigin(tx, ty, tz) || AtOrigin(ax, ay, az)) return;
    const double d =
        std::sqrt((tx - ax) * (tx - ax) + (ty - ay) * (ty - ay) + (tz - az) * (tz - az));
    if (!(d >= 500.0)) return;
    double horizon =
        hcy::radio::RadioHorizon(hcy::radio::EllipsoidHeight(tx, ty, tz), extraMetres) +
        hcy::radio::RadioHorizon(hcy::radio::EllipsoidHeight(ax, ay, az), extraMetres);
    if (horizon < 0.0) horizon = 0.0;
    if (d <= horizon) return;
    const double factor = 1.0 - (d - horizon) / (0.1 * d);
    r.lineOfSight = factor > 0.0 ? factor : 0.0;
}

void CGenericRadioModel::TunerModel(CReceive& r) {
    if (Params().net != 0) {
        r.tuner = r.net == Params().net ? 1.0 : 0.0;
        return;
    }
    const double hb = 0.5 * r.bandwidth;
    if (hb == 0.0) {
        r.tuner = r.frequency == Params().recvFrequency ? 1.0 : 0.0;
        return;
    }
    TunerCurve(r, std::fabs(r.frequency - Params().recvFrequency), hb);
}

void CGenericRadioModel::TunerCurve(CReceive& r, double df, double hb) {
    const double t = 1.0 - 0.293 * df * df / (hb * hb);
    r.tuner = t > 0.0 ? t : 0.0;
    r.frequencyOffset = df >= 10.0 ? df : 0.0;
}

void CGenericRadioModel::SquelchModel(CReceive& r) {
    r.squelch = r.propagation * r.tuner > Params().squelchLevel ? 1.0 : 0.0;
}
