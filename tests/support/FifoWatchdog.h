#pragma once

// A FIFO that whatever blocks on it is freed from once a deadline has passed.
// Opening a FIFO for reading waits for a writer, reading it waits for data: a
// regression that opens one is then a failed test, not a run that never ends.

#include "tests/support/WaitUntil.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalto::test
{
class FifoWatchdog
{
public:
    // Makes the FIFO at `path`, which must not exist yet, and starts watching it.
    explicit FifoWatchdog (const juce::File& path, std::chrono::seconds deadline = stateDeadline)
        : fifo (path.getFullPathName().toStdString()),
          made (mkfifo (fifo.c_str(), 0644) == 0),
          watcher ([this, deadline] { watch (deadline); })
    {
    }

    ~FifoWatchdog()
    {
        finished = true;
        watcher.join();
    }

    bool wasMade() const { return made; }

    // Whether a reader was still on the FIFO when the deadline passed.
    bool freedAReader() const { return freed; }

private:
    void watch (std::chrono::seconds deadline)
    {
        if (waitUntil ([this] { return finished.load(); }, deadline))
            return;
        // A writer that comes and goes lets a reader's open return and its
        // reads end; opened without waiting, it fails while there is no reader.
        while (! finished)
        {
            const auto writer = open (fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0)
            {
                freed = true;
                close (writer);
            }
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }
    }

    const std::string fifo;
    const bool made;
    std::atomic<bool> finished { false }, freed { false };
    std::thread watcher;
};
} // namespace kalto::test
