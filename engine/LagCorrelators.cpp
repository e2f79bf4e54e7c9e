#include "engine/LagCorrelators.h"

#include <algorithm>
#include <cstring>
#include <limits>

// Each lane must round as the one-lag arithmetic does: no fused
// multiply-add (the build compiles this file with -ffp-contract=off, and
// neither target below enables FMA) and no reassociation.

namespace kalto
{

LagCorrelators::LagCorrelators (int lagsToUse)
    : lags (std::max (0, lagsToUse)),
      count ((std::size_t) (lags + lanes), 0),
      sxy ((std::size_t) (lags + lanes), 0.0f),
      syy ((std::size_t) (lags + lanes), 0.0f)
{
}

void LagCorrelators::empty()
{
    std::fill (count.begin(), count.end(), 0u);
    std::fill (sxy.begin(), sxy.end(), 0.0f);
    std::fill (syy.begin(), syy.end(), 0.0f);
}

// The vector helpers below are always inlined: no call ever passes a vector,
// so the warning that an AVX vector changes the calling convention where
// AVX is not enabled concerns nothing here.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace
{
// A lag that found no result: later than any real lag.
constexpr int32_t noLag = std::numeric_limits<int32_t>::max();

// The vectors of one search: as many lanes as the target's registers hold,
// 8 with AVX2 and 4 with SSE2.
using Floats4 = float __attribute__ ((vector_size (16)));
using Ints4 = int32_t __attribute__ ((vector_size (16)));
using Counts4 = uint32_t __attribute__ ((vector_size (16)));
using Floats8 = float __attribute__ ((vector_size (32)));
using Ints8 = int32_t __attribute__ ((vector_size (32)));
using Counts8 = uint32_t __attribute__ ((vector_size (32)));

template <int width>
struct VectorTypes;
template <>
struct VectorTypes<4>
{
    using Floats = Floats4;
    using Ints = Ints4;
    using Counts = Counts4;
};
template <>
struct VectorTypes<8>
{
    using Floats = Floats8;
    using Ints = Ints8;
    using Counts = Counts8;
};

template <int width>
struct Vectors : VectorTypes<width>
{
    static_assert (width <= LagCorrelators::lanes, "the arrays' margin holds one vector");
    using Ints = typename VectorTypes<width>::Ints;

    // 0, 1, 2 ... or 0, 2, 4 ...
    static inline __attribute__ ((always_inline)) Ints steps (int by)
    {
        Ints v {};
        for (int j = 0; j < width; ++j)
            v[j] = j * by;
        return v;
    }

    static inline __attribute__ ((always_inline)) bool any (Ints mask)
    {
        int32_t all = 0;
        for (int j = 0; j < width; ++j)
            all |= mask[j];
        return all != 0;
    }
};

template <typename Vector, typename Element>
inline __attribute__ ((always_inline)) Vector load (const Element* p)
{
    Vector v;
    std::memcpy (&v, p, sizeof v);
    return v;
}

template <typename Vector, typename Element>
inline __attribute__ ((always_inline)) void store (Element* p, Vector v)
{
    std::memcpy (p, &v, sizeof v);
}

// What the lanes carry from one vector of lags to the next: each lane's best
// result and its lag (the first of equal ones), and the lanes that met a lag
// not ready.
template <int width>
struct Lanes
{
    typename Vectors<width>::Floats best;
    typename Vectors<width>::Ints bestLag;
    typename Vectors<width>::Ints notReady;
};

// Updates the lags from `lag` to lag + width - 1; a vector that reaches past
// the range leaves the lags beyond it as they were.
template <int width, bool wholeVector>
inline __attribute__ ((always_inline)) void update (LagCorrelators::Arrays c, const float* signal, int lag, int longest,
                                                    float* results, Lanes<width>& lanesSoFar)
{
    using V = Vectors<width>;
    using Floats = typename V::Floats;
    using Ints = typename V::Ints;
    using Counts = typename V::Counts;

    const Ints lagOfLane = lag + V::steps (1);
    const Floats newest = Floats {} + signal[0];

    const auto delayed = load<Floats> (signal + lag);
    const auto leaving = load<Floats> (signal + lag + 1);
    const auto leavingDelayed = __builtin_shuffle (load<Floats> (signal + 2 * lag + 1),
                                                   load<Floats> (signal + 2 * lag + 1 + width), V::steps (2));

    const auto oldSxy = load<Floats> (c.sxy + lag);
    const auto oldSyy = load<Floats> (c.syy + lag);
    const auto count = load<Counts> (c.count + lag);

    Floats sxy = oldSxy + newest * delayed;
    Floats syy = oldSyy + delayed * delayed;
    const Ints ready = (Ints) (count > (Counts) lagOfLane);
    sxy = ready ? sxy - leaving * leavingDelayed : sxy;
    syy = ready ? syy - leavingDelayed * leavingDelayed : syy;
    // Worked out in every lane; only the ready ones keep it.
    const Floats result = (sxy - syy) / syy;
    const Floats oldResults = load<Floats> (results + lag);

    Ints inRange = ready | ~ready;
    if constexpr (! wholeVector)
        inRange = lagOfLane < longest;
    store (c.sxy + lag, inRange ? sxy : oldSxy);
    store (c.syy + lag, inRange ? syy : oldSyy);
    store (c.count + lag, inRange ? count + 1u : count);
    store (results + lag, inRange & ready ? result : oldResults);

    // Right while every lag is ready; any other search is made again, one
    // lag after another, from what is stored.
    const Ints better = inRange & (result > lanesSoFar.best);
    lanesSoFar.best = better ? result : lanesSoFar.best;
    lanesSoFar.bestLag = better ? lagOfLane : lanesSoFar.bestLag;
    lanesSoFar.notReady |= inRange & ~ready;
}

// The search, written once; each target below compiles it with its own
// vector instructions.
template <int width>
inline __attribute__ ((always_inline)) LagSearchResult search (LagCorrelators::Arrays c, const float* signal,
                                                               int shortest, int longest, float floor, float* results)
{
    using V = Vectors<width>;
    Lanes<width> lanesSoFar { typename V::Floats {} + floor, typename V::Ints {} + noLag, typename V::Ints {} };
    int lag = shortest;
    for (; lag + width <= longest; lag += width)
        update<width, true> (c, signal, lag, longest, results, lanesSoFar);
    if (lag < longest)
        update<width, false> (c, signal, lag, longest, results, lanesSoFar);

    LagSearchResult found { true, floor, shortest };
    if (V::any (lanesSoFar.notReady))
    {
        // A lag was updated ready when its count before the update, one
        // less than now, passed it. Only the lags before the first that was
        // not compete.
        found.allReady = false;
        for (int l = shortest; l < longest && c.count[l] - 1u > (uint32_t) l; ++l)
            if (results[l] > found.best)
            {
                found.best = results[l];
                found.bestLag = l;
            }
        return found;
    }

    // The best of the lanes; of equal results, the shortest lag. A lane that
    // found a lag holds a result above the floor.
    for (int j = 0; j < width; ++j)
        if (lanesSoFar.bestLag[j] != noLag
            && (lanesSoFar.best[j] > found.best
                || (lanesSoFar.best[j] == found.best && lanesSoFar.bestLag[j] < found.bestLag)))
        {
            found.best = lanesSoFar.best[j];
            found.bestLag = lanesSoFar.bestLag[j];
        }
    return found;
}
} // namespace

LagSearchResult searchLagsSse2 (LagCorrelators::Arrays correlators, const float* signal, int shortest, int longest,
                                float floor, float* results)
{
    return search<4> (correlators, signal, shortest, longest, floor, results);
}

__attribute__ ((target ("avx2"))) LagSearchResult searchLagsAvx2 (LagCorrelators::Arrays correlators,
                                                                  const float* signal, int shortest, int longest,
                                                                  float floor, float* results)
{
    return search<8> (correlators, signal, shortest, longest, floor, results);
}

LagSearch lagSearchForThisCpu()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports ("avx2") ? searchLagsAvx2 : searchLagsSse2;
}

} // namespace kalto
