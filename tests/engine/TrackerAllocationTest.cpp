// The tracker allocates only while it is built: counted with a replacement
// global operator new in this test binary alone.

#include <gtest/gtest.h>

#include "engine/PitchTracker.h"
#include "tests/engine/Signals.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<long> allocations { 0 };
}

void* operator new (std::size_t size)
{
    allocations.fetch_add (1, std::memory_order_relaxed);
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }

namespace kalto
{
namespace
{
TEST (TrackerAllocation, NoneAfterConstruction)
{
    const auto phrase = pluckedPhrase (48000, { 40, 47, 52, 59, 64, 71, 76 }, 0.4);
    std::vector<TrackerEvent> events (2);

    for (bool bends : { false, true })
    {
        const long beforeConstruction = allocations.load();
        PitchTracker tracker (48000);
        ASSERT_GT (allocations.load(), beforeConstruction); // the counter sees the tracker's buffers
        tracker.bends = bends;
        tracker.legato = ! bends;

        const long before = allocations.load();
        int produced = 0;
        // Blocks of 3 with room for 2 records also exercise the carried records.
        for (std::size_t start = 0; start + 3 <= phrase.size(); start += 3)
        {
            int count = 0;
            tracker.processBlock (&phrase[start], 3, events.data(), 2, &count);
            produced += count;
            (void) tracker.getLevelDb();
            (void) tracker.getPeakStrength();
        }
        EXPECT_EQ (allocations.load() - before, 0) << "bends " << bends;
        EXPECT_GT (produced, 7);
    }
}
} // namespace
} // namespace kalto
