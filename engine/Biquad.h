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

    int type = lowpass;
    double a0 = 1.0, a1 = 0.0, a2 = 0.0;
    double b1 = 0.0, b2 = 0.0;
    double Fc = 0.5, Q = 0.707, peakGainDB = 0.0;
    double z1 = 0.0, z2 = 0.0;
};

} // namespace kalto
