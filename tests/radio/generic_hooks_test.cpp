// The generic radio's reception hooks on bare records: the worked values of
// free-space loss, round-earth line of sight, the tuner curve and squelch.
#include <cmath>

#include "radio_fixture.h"

namespace {

using hcytest::RadioTest;

constexpr double kEarth = 6378137.0;

// Longitude [rad] at which the chord from longitude 0 is d [m] long, at
// height h [m] on the equator, and the point there.
double ChordAngle(double h, double d) { return 2.0 * std::asin(d / (2.0 * (kEarth + h))); }
hcy::net::WorldCoordinates OnEquator(double h, double d) {
    const double lambda = ChordAngle(h, d);
    return {(kEarth + h) * std::cos(lambda), (kEarth + h) * std::sin(lambda), 0.0};
}

class GenericHooks : public hcytest::RadioTest {
protected:
    GenericHooks() {
        r.frequency = 30e6;
        r.bandwidth = 100.0;
        r.power = 19.68;
    }
    CReceive r;  // a transmitter heard
};

TEST_F(GenericHooks, FreeSpaceAtOneKilometreAndThirtyMegahertz) {
    r.antennaWorld = {kEarth, 1000.0, 0.0};
    radio->PropLossModel(r);
    EXPECT_FALSE(r.noPosition);
    // L = (23873241.46 / 3e10)^2; P = 0.0928966 W x L x 10^0.164.
    EXPECT_NEAR(r.receivedPower, 8.5818e-8, 0.0005e-8);
    EXPECT_EQ(r.propagation, 1.0);

    // Unknown (origin) or equal positions: no path loss, line of sight clear.
    r.antennaWorld = {0.0, 0.0, 0.0};
    radio->PropLossModel(r);
    EXPECT_TRUE(r.noPosition);
    EXPECT_EQ(r.propagation, 1.0);
    EXPECT_NEAR(r.receivedPower, 0.0928966 * 1.458814, 1e-6);
    radio->RoundEarthModel(r);
    EXPECT_EQ(r.lineOfSight, 1.0);
    r.antennaWorld = {kEarth, 0.0, 0.0};  // the receiver's own point
    radio->PropLossModel(r);
    EXPECT_TRUE(r.noPosition);
    EXPECT_EQ(r.propagation, 1.0);

    // An untuned receiver (0 Hz) has no loss to compute: no position rather
    // than an infinite received power.
    radio->SetFrequency(0.0, 0.0);
    r.antennaWorld = {kEarth, 5000.0, 0.0};
    radio->PropLossModel(r);
    EXPECT_TRUE(r.noPosition);
    EXPECT_TRUE(std::isfinite(r.receivedPower));
}

TEST_F(GenericHooks, SquelchOpenAt200KilometresAndShutAt210) {
    // Antennas 1000 m up on the equator: their horizons (130 km each) keep
    // the line of sight clear, so only the free-space loss decides.
    ASSERT_EQ(radio->SetXYZPosition(kEarth + 1000.0, 0.0, 0.0), 1);
    for (std::uint16_t km : {200, 210}) {
        const hcy::net::WorldCoordinates at = OnEquator(1000.0, km * 1000.0);
        Hear({.id = {10, 20, 30, km}, .x = at.x, .y = at.y});
    }
    std::uint32_t count = 0;
    ASSERT_EQ(radio->GetRadioData(226, &count), 1);  // audible transmitters
    EXPECT_EQ(count, 1u);
    std::uint16_t ids[4] = {};
    ASSERT_EQ(radio->GetRadioData(227, ids), 1);  // the strongest
    EXPECT_EQ(ids[3], 200);
    float signal = 0;
    radio->GetRadioData(101, &signal);
    EXPECT_NEAR(signal, 0.2145, 0.0005);
}

TEST_F(GenericHooks, LineOfSightBoundariesOnTheEquator) {
    ASSERT_EQ(radio->SetXYZPosition(kEarth + 100.0, 0.0, 0.0), 1);
    auto at = [&](double h, double d) {
        r.antennaWorld = OnEquator(h, d);
        radio->RoundEarthModel(r);
        return r.lineOfSight;
    };
    // Both horizons 41231.056 m: H = 82462.113 m.
    EXPECT_EQ(at(100.0, 82000.0), 1.0);
    EXPECT_NEAR(at(100.0, 85000.0), 0.701425, 1e-5);
    EXPECT_NEAR(at(100.0, 90000.0), 0.162457, 1e-5);
    EXPECT_EQ(at(100.0, 91700.0), 0.0);
    r.frequency = 29999999.0;  // below the threshold frequency there is no test
    EXPECT_EQ(at(100.0, 200000.0), 1.0);

    // On the ellipsoid (no horizon): 499 m is clear, from 500 m on it is not.
    r.frequency = 30e6;
    ASSERT_EQ(radio->SetXYZPosition(kEarth, 0.0, 0.0), 1);
    EXPECT_EQ(at(0.0, 499.0), 1.0);
    EXPECT_EQ(at(0.0, 501.0), 0.0);
}

TEST_F(GenericHooks, TunerCurveNetAndExactFrequency) {
    auto tune = [&](double frequency, double bandwidth = 2000.0, std::uint16_t net = 0) {
        r.frequency = frequency;
        r.bandwidth = bandwidth;
        r.net = net;
        radio->TunerModel(r);
        return r.tuner;
    };
    EXPECT_NEAR(tune(30e6 + 800.0), 1.0 - 0.293 * 0.64, 1e-12);
    EXPECT_EQ(r.frequencyOffset, 800.0);
    tune(30e6 + 9.0);
    EXPECT_EQ(r.frequencyOffset, 0.0);
    tune(30e6 - 10.0);
    EXPECT_EQ(r.frequencyOffset, 10.0);
    EXPECT_EQ(tune(30e6 + 2000.0), 0.0);  // past 1.8474 x hb
    // Bandwidth 0: the exact frequency only.
    EXPECT_EQ(tune(30e6, 0.0), 1.0);
    EXPECT_EQ(tune(30e6 + 1.0, 0.0), 0.0);
    // On a net the frequency does not matter.
    radio->SetNet(5);
    EXPECT_EQ(tune(1e9, 100.0, 5), 1.0);
    EXPECT_EQ(tune(1e9, 100.0, 6), 0.0);
}

TEST_F(GenericHooks, SquelchIsStrictAndIgnoresLineOfSight) {
    r.propagation = 0.5;
    r.tuner = 0.4;  // product exactly 0.2, the default level
    r.lineOfSight = 0.0;
    radio->SquelchModel(r);
    EXPECT_EQ(r.squelch, 0.0);
    r.tuner = 0.41;
    radio->SquelchModel(r);
    EXPECT_EQ(r.squelch, 1.0);
    r.propagation = std::nan("");
    radio->SquelchModel(r);
    EXPECT_EQ(r.squelch, 0.0);
}

}  // namespace
