#pragma once

namespace kalto
{

// Fires when the input's magnitude exceeds 1.5 times the peak it holds; after
// an onset it follows the attack up to the first zero crossing.
class OnsetDetector
{
public:
    OnsetDetector() { reset(); }

    bool process (float x, float magnitude)
    {
        const bool crossing = (x < 0.0f && previous > 0.0f) || (x > 0.0f && previous < 0.0f);
        bool onset = false;

        if (armed)
        {
            if (magnitude > peak)
                peak = magnitude;
            if (crossing)
                armed = false;
        }
        else if (magnitude > ratio * peak)
        {
            peak = magnitude;
            armed = true;
            onset = true;
        }

        previous = x;
        return onset;
    }

    void reset()
    {
        ratio = onsetRatio;
        peak = restingPeak;
        armed = false;
        previous = 0.0f;
    }

private:
    friend class OnsetDetectorProbe; // the tests' view of the held peak

    // A new onset needs more than this many times the held peak.
    static constexpr float onsetRatio = 1.5f;
    // At rest any magnitude above 0.001 (-60 dBFS, onsetRatio times this)
    // fires, so digital silence never does.
    static constexpr float restingPeak = 0.0006666667f;

    bool armed = false;
    float peak = restingPeak;
    float previous = 0.0f;
    float ratio = onsetRatio;
};

} // namespace kalto
