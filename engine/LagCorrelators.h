#pragma once

#include <cstdint>
#include <vector>

namespace kalto
{

// The sliding-window normalised correlations of the filtered signal with
// itself, one per lag from 0 up, each carried incrementally over the last
// lag + 1 products. Their state is held by field (updates since emptied,
// sum of products, sum of squares), so that a search updates many
// consecutive lags at once, each with the same operations in the same order
// as one lag alone, and so with the same results.
class LagCorrelators
{
public:
    // The state of lag L is entry L of each array; the arrays run a whole
    // vector past the last lag, so a search may load and store there.
    struct Arrays
    {
        uint32_t* count;
        float* sxy;
        float* syy;
    };

    // How many lags a search handles at once, and so the arrays' margin.
    static constexpr int lanes = 8;

    explicit LagCorrelators (int lags);

    // Forgets every window; the lags stay.
    void empty();

    int size() const { return lags; }
    Arrays arrays() { return { count.data(), sxy.data(), syy.data() }; }
    uint32_t updates (int lag) const { return count[(std::size_t) lag]; }

private:
    int lags;
    std::vector<uint32_t> count;
    std::vector<float> sxy, syy;
};

// What a search over a range of lags found: whether every lag in it was
// ready, and, among the lags before the first that was not, the best result
// and its lag (the first of equal results).
struct LagSearchResult
{
    bool allReady;
    float best;
    int bestLag;
};

// Updates every lag from shortest up to longest - 1 with the newest sample
// (signal[k] is the value k pushes before it), storing each ready lag's
// result in results[lag], and finds the best. Before any result passes
// `floor`, best is floor and bestLag shortest.
//
// Per lag L, in single precision: sxy += s(0) s(L) and syy += s(L)^2; if it
// had more than L updates, sxy -= s(L + 1) s(2L + 1), syy -= s(2L + 1)^2 and
// the result is (sxy - syy) / syy, and it is ready; one more update counted.
// The signal must hold 2 (longest + lanes) values; results runs a whole
// vector past longest too.
using LagSearch = LagSearchResult (*) (LagCorrelators::Arrays correlators, const float* signal, int shortest,
                                       int longest, float floor, float* results);

// The search for this CPU: with AVX2 where it has it, else with SSE2, which
// every x86-64 CPU has. Both give the same results to the bit.
LagSearch lagSearchForThisCpu();
LagSearchResult searchLagsSse2 (LagCorrelators::Arrays correlators, const float* signal, int shortest, int longest,
                                float floor, float* results);
LagSearchResult searchLagsAvx2 (LagCorrelators::Arrays correlators, const float* signal, int shortest, int longest,
                                float floor, float* results);

} // namespace kalto
