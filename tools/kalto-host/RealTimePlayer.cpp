#include "tools/kalto-host/RealTimePlayer.h"

#include <chrono>

namespace kalto::host
{
RealTimePlayer::RealTimePlayer (juce::AudioProcessor& p, juce::AudioBuffer<float> r, double sampleRate, int block)
    : plugin (p), recording (std::move (r)), rate (sampleRate), blockSize (block)
{
}

RealTimePlayer::~RealTimePlayer()
{
    stop();
}

void RealTimePlayer::start()
{
    stopping = false;
    thread = std::thread ([this] { play(); });
}

void RealTimePlayer::stop()
{
    stopping = true;
    if (thread.joinable())
        thread.join();
}

void RealTimePlayer::play()
{
    using Clock = std::chrono::steady_clock;
    const std::chrono::duration<double> period (blockSize / rate);

    // Everything the loop needs is allocated before it starts.
    juce::AudioBuffer<float> block (
        juce::jmax (plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels(), 1), blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize (8192);

    // Each block is due at its place on the clock from the start, so a late
    // block makes the next ones no later.
    const auto started = Clock::now();
    for (juce::int64 index = 0; ! stopping.load(); ++index)
    {
        const auto due = started + std::chrono::duration_cast<Clock::duration> (period * (double) index);
        std::this_thread::sleep_until (due);
        if (stopping.load())
            break;
        if (Clock::now() - due > period)
            late.fetch_add (1);

        fill (block, index * blockSize);
        midi.clear();
        plugin.processBlock (block, midi);
        blocksPlayed.fetch_add (1);
    }
}

void RealTimePlayer::fill (juce::AudioBuffer<float>& block, juce::int64 start) const
{
    block.clear();
    const auto left = recording.getNumSamples() - start;
    if (left <= 0 || recording.getNumChannels() == 0)
        return;

    const int n = (int) juce::jmin ((juce::int64) blockSize, left);
    for (int ch = 0; ch < plugin.getTotalNumInputChannels(); ++ch)
        block.copyFrom (ch, 0, recording, juce::jmin (ch, recording.getNumChannels() - 1), (int) start, n);
}
} // namespace kalto::host
