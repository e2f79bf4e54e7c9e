#include "engine/AutocorrelationBank.h"

#include "engine/SemitoneScale.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace kalto
{

int semitonePeriod (int note, int sampleRate)
{
    using namespace semitoneScale;
    const float exponent = ((float) note - (float) referenceNote) / (float) semitonesPerOctave;
    const double frequency = std::pow (2.0, (double) exponent) * tableReferenceHz;
    return (int) std::round ((1.0 / frequency) * (double) (float) sampleRate);
}

namespace
{
int longestLag (int sampleRate, int lowNote, int highNote)
{
    return highNote > lowNote ? semitonePeriod (lowNote, sampleRate) : 0;
}
} // namespace

AutocorrelationBank::AutocorrelationBank (int sampleRate, int lowNote, int highNote)
    : accumulators ((std::size_t) std::max (0, highNote - lowNote), 0.0f),
      lags ((std::size_t) std::max (0, highNote - lowNote), 0),
      count (std::max (0, highNote - lowNote)),
      ring (longestLag (sampleRate, lowNote, highNote) + 1)
{
    for (int i = 0; i < count; ++i)
        lags[(std::size_t) i] = semitonePeriod (lowNote + i, sampleRate);
}

void AutocorrelationBank::pushSample (float y)
{
    ring.push (y);
    for (int i = 0; i < count; ++i)
        accumulators[(std::size_t) i] += y * ring.ago (lags[(std::size_t) i]);
}

void AutocorrelationBank::reset()
{
    std::fill (accumulators.begin(), accumulators.end(), 0.0f);
    ring.clear();
}

bool AutocorrelationBank::isPeak (int k) const
{
    const float v = accumulators[(std::size_t) k];
    return v > 0.0f && v > accumulators[(std::size_t) k + 1] && v > accumulators[(std::size_t) k - 1];
}

void AutocorrelationBank::findStrongestPeak (int& index, float& value) const
{
    index = 0;
    value = -std::numeric_limits<float>::infinity();
    if (count < 3)
        return;

    float best = -std::numeric_limits<float>::infinity();
    for (int k = 1; k <= count - 2; ++k)
    {
        const float v = accumulators[(std::size_t) k];
        if (isPeak (k) && v > best)
        {
            index = k;
            value = v;
            best = v;
        }
    }
}

void AutocorrelationBank::scoreHarmonics (int index, int& hits, float& sum, float reference) const
{
    // One, two, three, four and five times the candidate's period.
    static constexpr int steps[] = { 12, 7, 5, 4 };
    // Each counted entry must reach this share of the one counted before it.
    static constexpr double harmonicShare = 0.6;

    if (index <= 0 || index > count - 2)
        return;

    int k = index;
    for (int step = 0;; ++step)
    {
        if (! isPeak (k))
            return;

        const float v = accumulators[(std::size_t) k];
        sum += v;
        if ((double) v > harmonicShare * (double) reference)
        {
            ++hits;
            reference = v;
        }

        if (step == (int) std::size (steps))
            return;
        k -= steps[step];
        if (k <= 0)
            return;
    }
}

} // namespace kalto
