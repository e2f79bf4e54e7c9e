#pragma once

// Measuring what an instrument plays: pitch, level and zero crossings.

#include <cmath>
#include <vector>

namespace kalto
{

// Fundamental frequency near an expected one: the normalised autocorrelation's
// best lag within a fifth either way of the expected period, refined by a
// parabola through its neighbours.
inline double fundamentalHz (const std::vector<float>& x, std::size_t start, std::size_t count, double rate,
                             double expectedHz)
{
    const auto expectedPeriod = rate / expectedHz;
    const auto minLag = (int) std::floor (expectedPeriod / 1.5), maxLag = (int) std::ceil (expectedPeriod * 1.5);
    auto correlation = [&] (int lag) {
        double sum = 0.0, e0 = 0.0, e1 = 0.0;
        for (std::size_t i = start; i < start + count; ++i)
        {
            sum += (double) x[i] * (double) x[i + (std::size_t) lag];
            e0 += (double) x[i] * (double) x[i];
            e1 += (double) x[i + (std::size_t) lag] * (double) x[i + (std::size_t) lag];
        }
        return sum / std::sqrt (e0 * e1 + 1e-30);
    };

    int best = minLag;
    double bestValue = -2.0;
    std::vector<double> values ((std::size_t) (maxLag + 2), 0.0);
    for (int lag = minLag - 1; lag <= maxLag + 1; ++lag)
        values[(std::size_t) lag] = correlation (lag);
    for (int lag = minLag; lag <= maxLag; ++lag)
        if (values[(std::size_t) lag] > bestValue)
            bestValue = values[(std::size_t) (best = lag)];

    const auto a = values[(std::size_t) best - 1], b = values[(std::size_t) best], c = values[(std::size_t) best + 1];
    const auto shift = 0.5 * (a - c) / (a - 2.0 * b + c);
    return rate / (best + shift);
}

inline double cents (double hz, double referenceHz)
{
    return 1200.0 * std::log2 (hz / referenceHz);
}

inline double midiHz (double note)
{
    return 440.0 * std::pow (2.0, (note - 69.0) / 12.0);
}

inline double rmsDb (const std::vector<float>& x, std::size_t start, std::size_t count)
{
    double sum = 0.0;
    for (std::size_t i = start; i < start + count && i < x.size(); ++i)
        sum += (double) x[i] * (double) x[i];
    return 10.0 * std::log10 (sum / (double) count + 1e-30);
}

inline double zeroCrossingsPerSecond (const std::vector<float>& x, std::size_t start, std::size_t count, double rate)
{
    int crossings = 0;
    for (std::size_t i = start + 1; i < start + count; ++i)
        if ((x[i - 1] < 0.0f) != (x[i] < 0.0f))
            ++crossings;
    return crossings * rate / (double) count;
}

} // namespace kalto
