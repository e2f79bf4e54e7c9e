#pragma once

namespace kalto
{

enum BiquadType
{
    lowpass = 0,
    highpass,
    bandpass,
    notch,
    peak,
    lowshelf,
    highshelf
};

// About 1/sqrt(2): a low-pass section's flattest pass band without a peak.
inline constexpr double butterworthQ = 0.707;

// One second-order IIR section in transposed direct form II, in double precision.
class Biquad
{
public:
    void setBiquad (int type, double Fc, double Q, double peakGainDB);
    void calcBiquad();
    void reset();

    double process (double in)
    {
        const double out = in * a0 + z1;
        z1 = in * a1 + z2 - b1 * out;
        z2 = in * a2 - b2 * out;
        return out;
    }

private:
    friend class BiquadProbe; // the tests' view of the coefficients and state

    // Until it is set, a section passes its input unchanged; its cut-off is
    // half the sample rate, the highest there is, with a flat pass band.
    static constexpr double nyquistFc = 0.5;

    int type = lowpass;
    double a0 = 1.0, a1 = 0.0, a2 = 0.0;
    double b1 = 0.0, b2 = 0.0;
    double Fc = nyquistFc, Q = butterworthQ, peakGainDB = 0.0;
    double z1 = 0.0, z2 = 0.0;
};

} // namespace kalto
