#pragma once

// The lag search one lag after another, as the arithmetic is specified: the
// reference the vector searches must match to the bit.

#include "engine/LagCorrelators.h"

namespace kalto
{

inline LagSearchResult searchLagsOneByOne (LagCorrelators::Arrays c, const float* signal, int shortest, int longest,
                                           float floor, float* results)
{
    bool allReady = true;
    float best = floor;
    int bestLag = shortest;
    for (int lag = shortest; lag < longest; ++lag)
    {
        const float newest = signal[0];
        const float delayed = signal[lag];
        float& sxy = c.sxy[lag];
        float& syy = c.syy[lag];
        sxy += newest * delayed;
        syy += delayed * delayed;

        const bool ready = c.count[lag] > (uint32_t) lag;
        if (ready)
        {
            const float leaving = signal[lag + 1];
            const float leavingDelayed = signal[2 * lag + 1];
            sxy -= leaving * leavingDelayed;
            syy -= leavingDelayed * leavingDelayed;
            results[lag] = (sxy - syy) / syy;
        }
        ++c.count[lag];

        allReady = allReady && ready;
        if (allReady && results[lag] > best)
        {
            best = results[lag];
            bestLag = lag;
        }
    }
    return { allReady, best, bestLag };
}

} // namespace kalto
