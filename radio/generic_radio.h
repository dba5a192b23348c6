#pragma once
// The generic radio: free-space propagation, round-earth line of sight, the
// tuner curve and the squelch test. Models 0, 1 and every code without a
// model of its own. The secure, ARC and SINCGARS models reuse its hooks.
#include "radio/radio_model.h"

class CGenericRadioModel : public CRadioModel {
public:
    CGenericRadioModel();

    int SetFrequency(double receiveHz, double transmitHz) override;
    int SetPTT(int on, std::uint32_t source) override;

    void PropLossModel(CReceive& record) override;
    void RoundEarthModel(CReceive& record) override;
    void TunerModel(CReceive& record) override;
    void SquelchModel(CReceive& record) override;

protected:
    // The tuner curve for a transmitter df [Hz] off tune with half bandwidth
    // hb [Hz] (hb != 0): 1 - 0.293 df^2 / hb^2, at least 0; the offset that
    // shifts single-sideband audio is df from 10 Hz up.
    static void TunerCurve(CReceive& record, double df, double hb);
    // The round-earth line of sight, each end's height taken extraMetres [m]
    // higher under the horizon's root.
    void LineOfSight(CReceive& record, double extraMetres);
};

namespace hcy::radio {

// Height above the WGS-84 ellipsoid [m] of a geocentric point [m].
double EllipsoidHeight(double x, double y, double z);
// Radio horizon [m] of an antenna at height h [m]: sqrt(17 |h|) km, negative
// below the ellipsoid. extraMetres is added to |h| under the root.
double RadioHorizon(double h, double extraMetres = 0.0);

}  // namespace hcy::radio
