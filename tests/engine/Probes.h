#pragma once

// The tests' view inside the engine's classes. Each probe is its class's
// friend: it reads the private state and, where a test must start from a state
// that no short input reaches, sets it.

#include "engine/AutocorrelationBank.h"
#include "engine/Biquad.h"
#include "engine/LagCorrelators.h"
#include "engine/OnsetDetector.h"
#include "engine/PitchTracker.h"
#include "engine/RingBuffer.h"

#include <vector>

namespace kalto
{

class BiquadProbe
{
public:
    explicit BiquadProbe (Biquad& f) : biquad (f) {}

    double a0() const { return biquad.a0; }
    double a1() const { return biquad.a1; }
    double a2() const { return biquad.a2; }
    double b1() const { return biquad.b1; }
    double b2() const { return biquad.b2; }
    double z1() const { return biquad.z1; }
    double z2() const { return biquad.z2; }

    void setType (int type) { biquad.type = type; }

private:
    Biquad& biquad;
};

class RingBufferProbe
{
public:
    explicit RingBufferProbe (const RingBuffer& r) : ring (r) {}

    int writeIndex() const { return ring.writeIndex; }
    int readIndex() const { return ring.readIndex; }
    int size() const { return ring.size; }

private:
    const RingBuffer& ring;
};

class SampleHistoryProbe
{
public:
    explicit SampleHistoryProbe (const SampleHistory& h) : history (h) {}

    int count() const { return history.count; }
    int capacity() const { return history.capacity; }
    // Entry i of the storage, counted or not.
    float stored (int i) const { return history.data[(std::size_t) i]; }

private:
    const SampleHistory& history;
};

class AutocorrelationBankProbe
{
public:
    explicit AutocorrelationBankProbe (AutocorrelationBank& b) : bank (b) {}

    int count() const { return bank.count; }
    const std::vector<int>& lags() const { return bank.lags; }
    const RingBuffer& ring() const { return bank.ring; }
    // The running sums, to read or to lay out a peak pattern directly.
    std::vector<float>& accumulators() { return bank.accumulators; }

private:
    AutocorrelationBank& bank;
};

class OnsetDetectorProbe
{
public:
    explicit OnsetDetectorProbe (const OnsetDetector& d) : detector (d) {}

    bool armed() const { return detector.armed; }
    float peak() const { return detector.peak; }

private:
    const OnsetDetector& detector;
};

class PitchTrackerProbe
{
public:
    explicit PitchTrackerProbe (PitchTracker& t) : tracker (t) {}

    // One sample outside a block: its records wait for the next block.
    void processSample (float x) { tracker.processSample (x); }
    void beginDetection() { tracker.beginDetection(); }
    int noteForIndex (int i) const { return tracker.noteForIndex (i); }
    int velocityForLevel (float levelDb) const { return tracker.velocityForLevel (levelDb); }

    int tableSize() const { return tracker.tableSize; }
    int maxPeriod() const { return tracker.maxPeriod; }
    int minDetectSamples() const { return tracker.minDetectSamples; }
    int peakWindow() const { return tracker.peakWindow; }
    int detectionWindow() const { return tracker.detectionWindow; }
    int octaveGuard() const { return tracker.octaveGuard; }
    int bendInterval() const { return tracker.bendInterval; }

    const std::vector<int>& periodTable() const { return tracker.periodTable; }
    AutocorrelationBank& bank() { return tracker.bank; }
    const SampleHistory& history() const { return tracker.history; }
    const SignalRing& signalRing() const { return tracker.signalRing; }
    const OnsetDetector& onsetDetector() const { return tracker.onsetDetector; }
    const LagCorrelators& lagCorrelators() const { return tracker.lagCorrelators; }
    // Another search in place of the one for this CPU: the tests' reference.
    void setLagSearch (LagSearch search) { tracker.lagSearch = search; }

    TrackerState state() const { return tracker.state; }
    float filteredSample() const { return tracker.filteredSample; }
    float levelSum() const { return tracker.levelSum; }
    float windowPeak() const { return tracker.windowPeak; }
    int64_t samplesSinceOnset() const { return tracker.samplesSinceOnset; }
    int64_t samplesSinceNoteEnd() const { return tracker.samplesSinceNoteEnd; }
    int currentNoteIndex() const { return tracker.currentNoteIndex; }
    bool noteOn() const { return tracker.noteOn; }
    int64_t samplesSinceBend() const { return tracker.samplesSinceBend; }
    // The two input sections and the deviation's, in that order.
    Biquad& filter (int i)
    {
        return i == 0 ? tracker.inputFilter1 : i == 1 ? tracker.inputFilter2 : tracker.deviationFilter;
    }

    // A note sounding in the given state, as if its detection window had closed.
    void setState (TrackerState s) { tracker.state = s; }
    void setCurrentNoteIndex (int i) { tracker.currentNoteIndex = i; }
    void setLastNoteSent (uint8_t note) { tracker.lastNoteSent = note; }
    void setWindowPeak (float peak) { tracker.windowPeak = peak; }

    // A note that ended just now, for the octave guard.
    void setPreviousNoteIndex (int i) { tracker.previousNoteIndex = i; }
    void setSamplesSinceNoteEnd (int64_t n) { tracker.samplesSinceNoteEnd = n; }
    // Counters as a long session leaves them.
    void setSamplesSinceOnset (int64_t n) { tracker.samplesSinceOnset = n; }
    void setSamplesSinceBend (int64_t n) { tracker.samplesSinceBend = n; }

private:
    PitchTracker& tracker;
};

} // namespace kalto
