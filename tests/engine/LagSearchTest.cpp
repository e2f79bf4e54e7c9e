// The vector lag searches, SSE2 and AVX2, against the search one lag at a
// time: the same state, results and choice to the bit, search by search and
// record by record of a tracker.

#include <gtest/gtest.h>

#include "engine/LagCorrelators.h"
#include "engine/PitchTracker.h"
#include "tests/engine/Probes.h"
#include "tests/engine/ScalarLagSearch.h"
#include "tests/engine/Signals.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace kalto
{
namespace
{
struct Search
{
    const char* name;
    LagSearch search;
};

// Every vector search this CPU can run.
std::vector<Search> vectorSearches()
{
    std::vector<Search> searches { { "SSE2", searchLagsSse2 } };
    __builtin_cpu_init();
    if (__builtin_cpu_supports ("avx2"))
        searches.push_back ({ "AVX2", searchLagsAvx2 });
    return searches;
}

bool sameBits (const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp (a.data(), b.data(), a.size() * sizeof (float)) == 0;
}

// One correlator state with its results, kept as plain arrays.
struct State
{
    explicit State (int lags)
        : count ((std::size_t) lags + LagCorrelators::lanes),
          sxy (count.size()),
          syy (count.size()),
          results (count.size())
    {
    }
    LagCorrelators::Arrays arrays() { return { count.data(), sxy.data(), syy.data() }; }

    std::vector<uint32_t> count;
    std::vector<float> sxy, syy, results;
};

// Searches over random states and signals: ranges of every length from none
// to several vectors, at every offset; counts either side of readiness, some
// lags not ready among ready ones, counts about to wrap; sums and signals
// with zeros (0 / 0), equal values (ties), tiny and huge ones.
TEST (LagSearch, VectorSearchesMatchTheOneByOneSearch)
{
    constexpr int lags = 160;
    std::mt19937 random (20261211u);
    std::uniform_real_distribution<float> value (-1.0f, 1.0f);
    std::uniform_int_distribution<int> pick (0, 15);

    const auto someValue = [&] {
        switch (pick (random))
        {
            case 0: return 0.0f;
            case 1: return 0.25f;
            case 2: return -0.25f;
            case 3: return 1.0e-30f;
            case 4: return 3.0e30f;
            default: return value (random);
        }
    };

    for (const auto& s : vectorSearches())
    {
        SCOPED_TRACE (s.name);
        long compared = 0;
        for (int round = 0; round < 4000; ++round)
        {
            State state (lags);
            std::vector<float> signal (2 * (lags + LagCorrelators::lanes) + 1);
            for (auto& x : signal)
                x = someValue();
            for (int lag = 0; lag < lags; ++lag)
            {
                const auto k = pick (random);
                state.count[(std::size_t) lag] = k < 5    ? (uint32_t) lag
                                                 : k < 10 ? (uint32_t) lag + 1
                                                 : k < 12 ? (uint32_t) pick (random)
                                                 : k < 13 ? std::numeric_limits<uint32_t>::max()
                                                          : (uint32_t) lag + 1000;
                state.sxy[(std::size_t) lag] = someValue();
                state.syy[(std::size_t) lag] = someValue();
                state.results[(std::size_t) lag] = someValue();
            }
            const int shortest = std::uniform_int_distribution<int> (1, lags - 1) (random);
            const int longest = std::uniform_int_distribution<int> (shortest - 2, lags) (random);

            State reference = state;
            const auto expected = searchLagsOneByOne (reference.arrays(), signal.data(), shortest, longest, -3.0f,
                                                      reference.results.data());
            const auto found = s.search (state.arrays(), signal.data(), shortest, longest, -3.0f, state.results.data());

            const auto where = "round " + std::to_string (round) + ", lags " + std::to_string (shortest) + " to "
                               + std::to_string (longest);
            ASSERT_EQ (found.allReady, expected.allReady) << where;
            ASSERT_EQ (found.bestLag, expected.bestLag) << where;
            ASSERT_EQ (std::memcmp (&found.best, &expected.best, sizeof (float)), 0) << where;
            ASSERT_EQ (state.count, reference.count) << where;
            ASSERT_TRUE (sameBits (state.sxy, reference.sxy)) << where;
            ASSERT_TRUE (sameBits (state.syy, reference.syy)) << where;
            ASSERT_TRUE (sameBits (state.results, reference.results)) << where;
            ++compared;
        }
        EXPECT_EQ (compared, 4000);
    }
}

// A signal that exercises the tracker's search: low notes (the widest
// ranges), the highest ones, a glide that bends within the range and then
// leaves it, re-attacks on a held note, and silence between.
std::vector<float> trackingWorkout (int rate)
{
    auto signal = pluckedPhrase (rate, { 36, 96, 45 }, 0.15);
    const auto glideSeconds = 0.3;
    const auto n = (std::size_t) (glideSeconds * rate);
    double phase = 0.0;
    for (std::size_t i = 0; i < n; ++i)
    {
        // A2, up four semitones over the glide: out of the three searched.
        const double semitones = 4.0 * (double) i / (double) n;
        phase += 2.0 * M_PI * 110.0 * std::pow (2.0, semitones / 12.0) / rate;
        signal.push_back (0.5f * (float) std::sin (phase));
    }
    const auto reattacks = pluckedPhrase (rate, { 38, 38 }, 0.1);
    signal.insert (signal.end(), reattacks.begin(), reattacks.end());
    return signal;
}

struct Record
{
    int sample;
    uint8_t status, data1, data2;
    bool operator== (const Record& o) const
    {
        return sample == o.sample && status == o.status && data1 == o.data1 && data2 == o.data2;
    }
};

std::vector<Record> track (int rate, bool bends, bool legato, LagSearch search, const std::vector<float>& signal)
{
    PitchTracker tracker (rate);
    tracker.bends = bends;
    tracker.legato = legato;
    PitchTrackerProbe (tracker).setLagSearch (search);
    std::vector<Record> records;
    std::vector<TrackerEvent> events (512);
    for (std::size_t start = 0; start < signal.size(); start += 512)
    {
        const auto n = (int) std::min<std::size_t> (512, signal.size() - start);
        int count = 0;
        tracker.processBlock (&signal[start], n, events.data(), 512, &count);
        for (int k = 0; k < count; ++k)
            records.push_back ({ (int) start, events[(std::size_t) k].status, events[(std::size_t) k].data1,
                                 events[(std::size_t) k].data2 });
    }
    return records;
}

// Bends and legato each way up to 192 kHz; above it, where the searches are
// widest and the one-by-one search slowest, with bends.
TEST (LagSearch, TrackerRecordsMatchTheOneByOneSearchAtEveryRate)
{
    const std::vector<std::pair<bool, bool>> everyWay { { true, false }, { false, true }, { true, true } };
    for (const int rate : { 8000, 22050, 44100, 48000, 96000, 192000, 384000, 768000 })
    {
        const auto signal = trackingWorkout (rate);
        for (const auto& [bends, legato] :
             rate <= 192000 ? everyWay : std::vector<std::pair<bool, bool>> { { true, false } })
        {
            SCOPED_TRACE (std::to_string (rate) + " Hz, bends " + (bends ? "on" : "off") + ", legato "
                          + (legato ? "on" : "off"));
            const auto expected = track (rate, bends, legato, searchLagsOneByOne, signal);
            EXPECT_GT (expected.size(), 10u);
            for (const auto& s : vectorSearches())
                EXPECT_TRUE (track (rate, bends, legato, s.search, signal) == expected) << s.name;
        }
    }
}
} // namespace
} // namespace kalto
