#pragma once

// Plays a recording through a plug-in as an audio interface would: block by
// block on an audio thread of its own, each block when the clock says it is
// due, and silence once the recording has run out. What the plug-in returns is
// not kept.

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <thread>

namespace kalto::host
{
class RealTimePlayer
{
public:
    // The plug-in must be prepared for the rate and the block size; the
    // recording feeds its inputs, a mono one every input.
    RealTimePlayer (juce::AudioProcessor& plugin, juce::AudioBuffer<float> recording, double rate, int blockSize);
    ~RealTimePlayer();

    RealTimePlayer (const RealTimePlayer&) = delete;
    RealTimePlayer& operator= (const RealTimePlayer&) = delete;

    // The first block is due at once.
    void start();
    void stop();

    // Blocks that started more than a block's time after they were due.
    int lateBlocks() const { return late.load(); }

    // How far the plug-in has got: the audio it has processed, in seconds.
    double secondsPlayed() const { return (double) blocksPlayed.load() * blockSize / rate; }

private:
    void play();
    void fill (juce::AudioBuffer<float>& block, juce::int64 start) const;

    juce::AudioProcessor& plugin;
    const juce::AudioBuffer<float> recording;
    const double rate;
    const int blockSize;

    std::thread thread;
    std::atomic<bool> stopping { false };
    std::atomic<int> late { 0 };
    std::atomic<juce::int64> blocksPlayed { 0 };
};
} // namespace kalto::host
