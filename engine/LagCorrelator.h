#pragma once

#include "engine/RingBuffer.h"

#include <cstdint>

namespace kalto
{

// Sliding-window normalised correlation of the signal with itself at one lag,
// carried incrementally over the last lag + 1 products.
class LagCorrelator
{
public:
    explicit LagCorrelator (int lagToUse) : lag (lagToUse) {}

    bool update (const RingBuffer& ring, float& result)
    {
        const float newest = ring.ago (0);
        const float delayed = ring.ago (lag);
        sxy += newest * delayed;
        syy += delayed * delayed;

        const bool ready = count > (uint32_t) lag;
        if (ready)
        {
            const float leaving = ring.ago (lag + 1);
            const float leavingDelayed = ring.ago (2 * lag + 1);
            sxy -= leaving * leavingDelayed;
            syy -= leavingDelayed * leavingDelayed;
            result = (sxy - syy) / syy;
        }

        ++count;
        return ready;
    }

    // Forgets the window; the lag stays.
    void empty()
    {
        count = 0;
        sxy = 0.0f;
        syy = 0.0f;
    }

private:
    friend class LagCorrelatorProbe; // the tests' view of the window

    uint32_t count = 0;
    int lag = 0;
    float sxy = 0.0f;
    float syy = 0.0f;
};

} // namespace kalto
