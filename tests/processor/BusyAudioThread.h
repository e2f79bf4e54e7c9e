#pragma once

// A host's audio thread at work on a processor, for the thread tests: blocks
// of a tone that changes pitch now and then, and every so many blocks a new
// prepareToPlay between two of them, as a host's first process call does,
// alternating between 44.1 and 48 kHz. Runs until stopped.

#include "tests/processor/ProcessorFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace kalto
{

class BusyAudioThread
{
public:
    struct Settings
    {
        int blockSize = 512;
        int blocksPerPrepare = 40;
        int blocksPerNote = 20;
        float level = 1.0f; // of the half-scale tone; above 2 it clips
        // Faster than a host, but not so fast that prepares come quicker than
        // an instrument decodes.
        std::chrono::microseconds pause { 500 };
    };

    BusyAudioThread (KaltoAudioProcessor& p, Settings s) : processor (p), settings (s), thread ([this] { run(); }) {}

    ~BusyAudioThread() { stop(); }

    void stop()
    {
        stopping = true;
        if (thread.joinable())
            thread.join();
    }

    long blocks() const { return blockCount.load(); }
    long prepares() const { return prepareCount.load(); }

private:
    void run()
    {
        const int n = settings.blockSize;
        juce::AudioBuffer<float> buffer (2, n);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
        long sample = 0;
        for (int i = 0; ! stopping.load(); ++i)
        {
            if (i % settings.blocksPerPrepare == settings.blocksPerPrepare - 1)
            {
                const bool second = (i / settings.blocksPerPrepare) % 2 == 1;
                processor.prepareToPlay (second ? 48000.0 : 44100.0, n);
                prepareCount.fetch_add (1);
            }
            const double hz = 110.0 * (1 + (i / settings.blocksPerNote) % 4);
            for (int c = 0; c < 2; ++c)
                for (int k = 0; k < n; ++k)
                    buffer.setSample (c, k, settings.level * ProcessorTest::tone (hz, (double) (sample + k) / 44100.0));
            sample += n;
            midi.clear();
            processor.processBlock (buffer, midi);
            blockCount.fetch_add (1);
            std::this_thread::sleep_for (settings.pause);
        }
    }

    KaltoAudioProcessor& processor;
    const Settings settings;
    std::atomic<bool> stopping { false };
    std::atomic<long> blockCount { 0 }, prepareCount { 0 };
    std::thread thread;
};

} // namespace kalto
