#pragma once

// A test waits for the state it checks: polled until it holds, with a
// deadline generous enough for a loaded machine running a sanitizer build.
// Only a state that never comes takes the whole deadline.

#include <chrono>
#include <thread>

namespace kalto::test
{
inline constexpr std::chrono::seconds stateDeadline { 120 };

class Deadline
{
public:
    explicit Deadline (std::chrono::seconds within = stateDeadline) : end (std::chrono::steady_clock::now() + within) {}

    bool passed() const { return std::chrono::steady_clock::now() > end; }

private:
    std::chrono::steady_clock::time_point end;
};

// Whether `holds` came true before the deadline.
template <typename Condition>
bool waitUntil (Condition holds, std::chrono::seconds within = stateDeadline)
{
    const Deadline deadline (within);
    while (! holds())
    {
        if (deadline.passed())
            return false;
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }
    return true;
}
} // namespace kalto::test
