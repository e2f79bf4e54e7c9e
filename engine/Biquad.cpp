#include "engine/Biquad.h"

#include <cmath>

namespace kalto
{

void Biquad::setBiquad (int newType, double newFc, double newQ, double newPeakGainDB)
{
    type = newType;
    Fc = newFc;
    Q = newQ;
    peakGainDB = newPeakGainDB;
    calcBiquad();
    reset();
}

void Biquad::reset()
{
    z1 = 0.0;
    z2 = 0.0;
}

void Biquad::calcBiquad()
{
    constexpr double pi = 3.141592653589793;
    constexpr double sqrt2 = 1.4142135623730951;
    const double K = std::tan (pi * Fc);
    const double V = std::pow (10.0, std::fabs (peakGainDB) / 20.0);
    const double sqrt2V = std::sqrt (2.0 * V);
    const double KK = K * K;
    // A NaN gain is not a boost.
    const bool boost = peakGainDB >= 0.0;
    double norm = 0.0;

    switch (type)
    {
        case lowpass:
            norm = 1.0 / (1.0 + K / Q + KK);
            a0 = KK * norm;
            a1 = 2.0 * a0;
            a2 = a0;
            b1 = 2.0 * (KK - 1.0) * norm;
            b2 = (1.0 - K / Q + KK) * norm;
            break;

        case highpass:
            norm = 1.0 / (1.0 + K / Q + KK);
            a0 = norm;
            a1 = -2.0 * a0;
            a2 = a0;
            b1 = 2.0 * (KK - 1.0) * norm;
            b2 = (1.0 - K / Q + KK) * norm;
            break;

        case bandpass:
            norm = 1.0 / (1.0 + K / Q + KK);
            a0 = K / Q * norm;
            a1 = 0.0;
            a2 = -a0;
            b1 = 2.0 * (KK - 1.0) * norm;
            b2 = (1.0 - K / Q + KK) * norm;
            break;

        case notch:
            norm = 1.0 / (1.0 + K / Q + KK);
            a0 = (1.0 + KK) * norm;
            a1 = 2.0 * (KK - 1.0) * norm;
            a2 = a0;
            b1 = a1;
            b2 = (1.0 - K / Q + KK) * norm;
            break;

        case peak:
            if (boost)
            {
                norm = 1.0 / (1.0 + K / Q + KK);
                a0 = (1.0 + V * K / Q + KK) * norm;
                a1 = 2.0 * (KK - 1.0) * norm;
                a2 = (1.0 - V * K / Q + KK) * norm;
                b1 = a1;
                b2 = (1.0 - K / Q + KK) * norm;
            }
            else
            {
                norm = 1.0 / (1.0 + V * K / Q + KK);
                a0 = (1.0 + K / Q + KK) * norm;
                a1 = 2.0 * (KK - 1.0) * norm;
                a2 = (1.0 - K / Q + KK) * norm;
                b1 = a1;
                b2 = (1.0 - V * K / Q + KK) * norm;
            }
            break;

        case lowshelf:
            if (boost)
            {
                norm = 1.0 / (1.0 + sqrt2 * K + KK);
                a0 = (1.0 + sqrt2V * K + V * KK) * norm;
                a1 = 2.0 * (V * KK - 1.0) * norm;
                a2 = (1.0 - sqrt2V * K + V * KK) * norm;
                b1 = 2.0 * (KK - 1.0) * norm;
                b2 = (1.0 - sqrt2 * K + KK) * norm;
            }
            else
            {
                norm = 1.0 / (1.0 + sqrt2V * K + V * KK);
                a0 = (1.0 + sqrt2 * K + KK) * norm;
                a1 = 2.0 * (KK - 1.0) * norm;
                a2 = (1.0 - sqrt2 * K + KK) * norm;
                b1 = 2.0 * (V * KK - 1.0) * norm;
                b2 = (1.0 - sqrt2V * K + V * KK) * norm;
            }
            break;

        case highshelf:
            if (boost)
            {
                norm = 1.0 / (1.0 + sqrt2 * K + KK);
                a0 = (V + sqrt2V * K + KK) * norm;
                a1 = 2.0 * (KK - V) * norm;
                a2 = (V - sqrt2V * K + KK) * norm;
                b1 = 2.0 * (KK - 1.0) * norm;
                b2 = (1.0 - sqrt2 * K + KK) * norm;
            }
            else
            {
                norm = 1.0 / (V + sqrt2V * K + KK);
                a0 = (1.0 + sqrt2 * K + KK) * norm;
                a1 = 2.0 * (KK - 1.0) * norm;
                a2 = (1.0 - sqrt2 * K + KK) * norm;
                b1 = 2.0 * (KK - V) * norm;
                b2 = (V - sqrt2V * K + KK) * norm;
            }
            break;

        default:
            // An unknown type keeps the coefficients it had.
            break;
    }
}

} // namespace kalto
