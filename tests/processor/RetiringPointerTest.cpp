// An object replaced while readers hold it is freed only when the last of
// them leaves.

#include <gtest/gtest.h>

#include "processor/RetiringPointer.h"

#include <vector>

namespace kalto
{
namespace
{
struct Tracked
{
    Tracked (int v, std::vector<int>& freed) : value (v), log (freed) {}
    ~Tracked() { log.push_back (value); }
    int value;
    std::vector<int>& log;
};

TEST (RetiringPointer, FreesWhatIsReplacedOnceNoReaderHoldsIt)
{
    std::vector<int> freed;
    {
        RetiringPointer<Tracked> pointer (std::make_unique<Tracked> (1, freed));
        pointer.replace (std::make_unique<Tracked> (2, freed));
        EXPECT_EQ (freed, std::vector<int> { 1 }) << "no reader: freed at once";

        {
            auto outer = pointer.read();
            pointer.replace (std::make_unique<Tracked> (3, freed));
            {
                auto inner = pointer.read();
                EXPECT_EQ (inner->value, 3) << "a new reader sees the new object";
                pointer.replace (std::make_unique<Tracked> (4, freed));
            }
            EXPECT_EQ (outer->value, 2) << "an old reader keeps what it took";
            EXPECT_EQ (freed, std::vector<int> { 1 }) << "nothing freed while a reader is in";
        }
        EXPECT_EQ (freed, (std::vector<int> { 1, 3, 2 })) << "the last reader out frees what was retired";
        EXPECT_EQ (pointer.getUnguarded()->value, 4);
    }
    EXPECT_EQ (freed, (std::vector<int> { 1, 3, 2, 4 }));
}
} // namespace
} // namespace kalto
