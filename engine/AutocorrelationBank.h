#pragma once

#include "engine/RingBuffer.h"

#include <vector>

namespace kalto
{

// Period in samples of note n on the bank's semitone scale (engine/SemitoneScale.h),
// whose note 9 lies at 13.0 Hz.
int semitonePeriod (int note, int sampleRate);

// One running autocorrelation sum per semitone of the tracker's range,
// accumulated from the last reset (the last onset).
class AutocorrelationBank
{
public:
    AutocorrelationBank (int sampleRate, int lowNote, int highNote);

    void pushSample (float y);
    void reset();
    void findStrongestPeak (int& index, float& value) const;
    void scoreHarmonics (int index, int& hits, float& sum, float reference) const;

private:
    friend class AutocorrelationBankProbe; // the tests' view of the sums and the table

    bool isPeak (int k) const;

    std::vector<float> accumulators;
    std::vector<int> lags;
    int count = 0;
    RingBuffer ring;
};

} // namespace kalto
