// Biquad, RingBuffer, SampleHistory and the autocorrelation bank.

#include <gtest/gtest.h>

#include "engine/AutocorrelationBank.h"
#include "engine/Biquad.h"
#include "engine/RingBuffer.h"
#include "tests/engine/Probes.h"

#include <cmath>
#include <limits>
#include <vector>

namespace kalto
{
namespace
{
constexpr double twoPi = 6.283185307179586;

double settle (Biquad& f, double value, int n)
{
    double out = 0.0;
    for (int i = 0; i < n; ++i)
        out = f.process (value);
    return out;
}

TEST (Biquad, LowpassHasUnityDcGain)
{
    Biquad f;
    f.setBiquad (lowpass, 1000.0 / 44100.0, 0.707, 0.0);
    EXPECT_NEAR (settle (f, 1.0, 20000), 1.0, 1e-9);
}

TEST (Biquad, SetClearsStateAndResetKeepsCoefficients)
{
    Biquad f;
    const BiquadProbe p (f);
    f.setBiquad (lowpass, 0.05, 0.707, 0.0);
    settle (f, 0.7, 100);
    ASSERT_NE (p.z1(), 0.0);

    const double a0 = p.a0(), b1 = p.b1();
    f.reset();
    EXPECT_EQ (p.z1(), 0.0);
    EXPECT_EQ (p.z2(), 0.0);
    EXPECT_EQ (p.a0(), a0);
    EXPECT_EQ (p.b1(), b1);

    settle (f, 0.7, 100);
    f.setBiquad (highpass, 0.05, 0.707, 0.0);
    EXPECT_EQ (p.z1(), 0.0);
    EXPECT_EQ (p.z2(), 0.0);
}

TEST (Biquad, UnknownTypeKeepsTheCoefficients)
{
    Biquad f;
    f.setBiquad (bandpass, 0.1, 2.0, 0.0);
    Biquad before = f;
    BiquadProbe now (f), then (before);
    now.setType (7);
    f.calcBiquad();
    EXPECT_EQ (now.a0(), then.a0());
    EXPECT_EQ (now.a1(), then.a1());
    EXPECT_EQ (now.a2(), then.a2());
    EXPECT_EQ (now.b1(), then.b1());
    EXPECT_EQ (now.b2(), then.b2());
}

// A boost followed by the cut of the same size gives the input back, for the
// gain-dependent types; 0 dB passes the signal unchanged.
TEST (Biquad, CutIsTheInverseOfBoost)
{
    for (int type : { peak, lowshelf, highshelf })
    {
        Biquad flat, boost, cut;
        flat.setBiquad (type, 0.02, 1.5, 0.0);
        boost.setBiquad (type, 0.02, 1.5, 6.0);
        cut.setBiquad (type, 0.02, 1.5, -6.0);

        double maxFlatError = 0.0, maxRoundTripError = 0.0, maxBoostChange = 0.0;
        for (int i = 0; i < 4000; ++i)
        {
            const double x = std::sin (twoPi * 0.013 * i) + 0.5 * std::sin (twoPi * 0.2 * i);
            const double boosted = boost.process (x);
            maxFlatError = std::max (maxFlatError, std::fabs (flat.process (x) - x));
            maxRoundTripError = std::max (maxRoundTripError, std::fabs (cut.process (boosted) - x));
            maxBoostChange = std::max (maxBoostChange, std::fabs (boosted - x));
        }
        EXPECT_LT (maxFlatError, 1e-12) << type;
        EXPECT_LT (maxRoundTripError, 1e-9) << type;
        EXPECT_GT (maxBoostChange, 0.1) << type;
    }
}

TEST (RingBuffer, ReadsBackByAge)
{
    RingBuffer r (4);
    const RingBufferProbe p (r);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ (r.ago (k), 0.0f);
    EXPECT_EQ (p.readIndex(), 3);

    for (float v : { 1.0f, 2.0f, 3.0f, 4.0f, 5.0f })
        r.push (v);
    EXPECT_EQ (r.ago (0), 5.0f);
    EXPECT_EQ (r.ago (3), 2.0f);
    EXPECT_EQ (p.writeIndex(), 1);
    EXPECT_EQ (p.readIndex(), 0);

    r.clear();
    EXPECT_EQ (r.ago (0), 0.0f);
    EXPECT_EQ (p.writeIndex(), 0);
    EXPECT_EQ (p.readIndex(), 3);
}

TEST (SampleHistory, CorrelationNeedsTwoLags)
{
    SampleHistory h (100);
    for (int i = 0; i < 19; ++i)
        h.append (std::sin ((float) i));
    EXPECT_EQ (h.normalisedCorrelation (10), 2.0f);

    // With 2L values it uses all of them: a period-10 signal repeats exactly.
    SampleHistory periodic (100);
    for (int i = 0; i < 20; ++i)
        periodic.append ((float) (i % 10) - 4.5f);
    EXPECT_EQ (periodic.normalisedCorrelation (10), 0.0f);
    EXPECT_NEAR (periodic.normalisedCorrelation (5), -62.5 / 41.25, 1e-5); // half a period: unrelated

    // Old half louder than the new half: positive.
    SampleHistory decaying (100);
    for (int i = 0; i < 20; ++i)
        decaying.append (((float) (i % 10) - 4.5f) * (i < 10 ? 2.0f : 1.0f));
    EXPECT_FLOAT_EQ (decaying.normalisedCorrelation (10), 1.0f);

    SampleHistory silence (100);
    for (int i = 0; i < 40; ++i)
        silence.append (0.0f);
    EXPECT_TRUE (std::isnan (silence.normalisedCorrelation (10)));
}

TEST (SampleHistory, FullHistoryDropsNewValues)
{
    SampleHistory h (3);
    const SampleHistoryProbe p (h);
    for (float v : { 1.0f, 2.0f, 3.0f, 4.0f })
        h.append (v);
    EXPECT_EQ (p.count(), 3);
    EXPECT_EQ (p.stored (2), 3.0f);
    h.clear();
    EXPECT_EQ (p.count(), 0);
    EXPECT_EQ (p.stored (2), 3.0f);
}

TEST (AutocorrelationBank, TableAtCommonRates)
{
    struct Case
    {
        int rate, longest, shortest;
    };
    for (const auto& c : { Case { 44100, 713, 21 }, Case { 48000, 776, 23 } })
    {
        AutocorrelationBank bank (c.rate, 36, 98);
        AutocorrelationBankProbe p (bank);
        EXPECT_EQ (p.count(), 62);
        EXPECT_EQ (p.lags().front(), c.longest) << c.rate;
        EXPECT_EQ (p.lags().back(), c.shortest) << c.rate;
        EXPECT_EQ (RingBufferProbe (p.ring()).size(), c.longest + 1) << c.rate;

        int index = -1;
        float value = 0.0f;
        bank.findStrongestPeak (index, value);
        EXPECT_EQ (index, 0);
        EXPECT_EQ (value, -std::numeric_limits<float>::infinity());
    }
}

TEST (AutocorrelationBank, AccumulatesLaggedProductsSinceReset)
{
    AutocorrelationBank bank (44100, 36, 98);
    AutocorrelationBankProbe p (bank);
    const int lag = p.lags().back(); // 21
    std::vector<float> y;
    for (int m = 0; m < 100; ++m)
        y.push_back (std::sin (0.37f * (float) m) + 0.1f);
    for (float v : y)
        bank.pushSample (v);

    float expected = 0.0f;
    for (int m = lag; m < 100; ++m)
        expected += y[(size_t) m] * y[(size_t) (m - lag)];
    EXPECT_FLOAT_EQ (p.accumulators().back(), expected);

    bank.reset();
    for (float a : p.accumulators())
        EXPECT_EQ (a, 0.0f);
    EXPECT_EQ (p.ring().ago (lag), 0.0f);
}

TEST (AutocorrelationBank, PeakPick)
{
    struct Case
    {
        std::vector<float> sums;
        int index;
        float value;
    };
    const float none = -std::numeric_limits<float>::infinity();
    const std::vector<Case> cases {
        { { 0, 5, 3, 5, 0 }, 1, 5.0f },                           // equal later peak loses
        { { 0, 4, 4, 0 }, 0, none },                              // plateau: no peak
        { { 9, 1, 0 }, 0, none },                                 // ends are never peaks
        { { 0, -1, -2, -1, 0 }, 0, none },                        // negative maxima do not count
        { { 0, 2, 0, 7, 1 }, 3, 7.0f },    { { 1, 2 }, 0, none }, // too few entries
    };
    for (const auto& c : cases)
    {
        AutocorrelationBank bank (44100, 0, (int) c.sums.size());
        AutocorrelationBankProbe (bank).accumulators() = c.sums;
        int index = -1;
        float value = 0.0f;
        bank.findStrongestPeak (index, value);
        EXPECT_EQ (index, c.index);
        EXPECT_EQ (value, c.value);
    }
}

TEST (AutocorrelationBank, HarmonicWalk)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<int, float>> peaks; // strict local maxima: entry, value
        int from;
        float value;
        int hits;
        float sum;
    };
    const std::vector<Case> cases {
        { "from 40 the walk visits 40, 28, 21, 16 and 12",
          { { 40, 10 }, { 28, 5 }, { 21, 8 }, { 16, 7 }, { 12, 1 } },
          40,
          10.0f,
          3,
          31.0f },
        { "from 12 only 12 itself: 12 - 12 ends the walk", { { 12, 4 } }, 12, 4.0f, 1, 4.0f },
        { "an entry that is no local maximum stops the walk, later ones unseen",
          { { 40, 10 }, { 28, 9 }, { 29, 9.5f }, { 21, 9 }, { 16, 9 } },
          40,
          10.0f,
          1,
          10.0f },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        AutocorrelationBank bank (44100, 36, 98);
        auto& sums = AutocorrelationBankProbe (bank).accumulators();
        for (const auto& [k, v] : c.peaks)
            sums[(std::size_t) k] = v;
        int hits = 0;
        float sum = 0.0f;
        bank.scoreHarmonics (c.from, hits, sum, c.value);
        EXPECT_EQ (hits, c.hits);
        EXPECT_EQ (sum, c.sum);
    }
}
} // namespace
} // namespace kalto
