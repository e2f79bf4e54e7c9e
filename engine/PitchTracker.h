#pragma once

#include "engine/AutocorrelationBank.h"
#include "engine/Biquad.h"
#include "engine/LagCorrelators.h"
#include "engine/OnsetDetector.h"
#include "engine/RingBuffer.h"
#include "engine/SignalRing.h"
#include "engine/TrackerEvent.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace kalto
{

enum class TrackerState
{
    idle,
    detecting,
    tracking,
    holding
};

// Turns a monophonic stream of samples into note-on, note-off and pitch-bend
// records. Built for one integer sample rate; every duration derives from it.
//
// Threads: processBlock runs on the audio thread. The five settings may be
// written, and getPeakStrength and getLevelDb called, from any other thread.
class PitchTracker
{
public:
    explicit PitchTracker (int sampleRate);

    void processBlock (const float* samples, int numSamples, TrackerEvent* events, uint16_t capacity, int* eventCount);

    float getPeakStrength() const;
    float getLevelDb() const;

    // Settings, written by the owner before the first block. Until then they
    // hold the defaults of the parameters of the same names.
    std::atomic<float> confidence { defaultConfidence };
    std::atomic<float> gain { defaultGain };
    std::atomic<bool> legato { false };
    std::atomic<bool> bends { false };
    std::atomic<bool> convFilter { true };

    // Constants fixed at construction: the rate the tracker is built for; the
    // level floor, which a detected note's level must pass to start; and the
    // level span above it that maps onto the velocity scale. The level graph
    // draws its lines at the floor and at the floor plus the span.
    const int sampleRate;
    const float noteOnFloorDb = -30.2f;
    const float velocitySpanDb = 15.0f;

private:
    friend class PitchTrackerProbe; // the tests' view of the state below

    static constexpr float defaultConfidence = 0.78f;
    static constexpr float defaultGain = 0.23f;

    void processSample (float x);

    // The velocity a first note gets at the given level in dB.
    int velocityForLevel (float levelDb) const;
    // MIDI note number of period table entry i.
    int noteForIndex (int i) const;

    void buildPeriodTable (int lowNote, int highNote);
    void addNoteOn (int note, int velocity);
    void addNoteOff();
    void addPitchBend (int lsb, int msb);

    // The work of each state.
    void beginDetection();
    void endNote();
    bool checkDetectionWindow();
    void detectNote();
    bool confirmCandidate (int index);
    void trackNote();
    void checkNoteEnd();

    void appendRecord (uint8_t status, uint8_t data1, uint8_t data2);
    void flushPending();
    float levelDb (float sum, int64_t samples) const;
    void publishMeasures();

    // Constants fixed at construction.
    int tableSize = 0;
    const int maxPeriod;
    const int minDetectSamples;
    const int peakWindow;
    const int detectionWindow;
    const int octaveGuard;
    const int bendInterval;

    AutocorrelationBank bank;
    std::vector<int> periodTable;
    Biquad inputFilter1, inputFilter2, deviationFilter;
    SignalRing signalRing;
    SampleHistory history;
    OnsetDetector onsetDetector;
    LagCorrelators lagCorrelators;
    // One per lag, and a vector's margin past the last, as the search writes.
    std::vector<float> lagResults;
    // The lag search for the CPU the tracker runs on.
    LagSearch lagSearch;

    // Running state.
    TrackerState state = TrackerState::idle;
    float inputSample = 0.0f, inputMagnitude = 0.0f;
    float filteredSample = 0.0f;
    float levelSum = 0.0f;
    float runningPeak = 0.0f;
    float windowPeak = 0.0f;
    // Counts of samples that a session left running for hours takes past
    // 2^31; they stop at the largest count instead of wrapping.
    int64_t samplesSinceOnset = 0;
    int64_t samplesSinceNoteEnd = 0;
    int previousNoteIndex = 0;
    int currentNoteIndex = 0;
    int velocity = 0;
    bool noteOn = false;
    float previousDeviation = 0.0f;
    int64_t samplesSinceBend = 0;
    uint8_t lastNoteSent = 0;
    // Between a note-on and the note-off that ends it.
    bool noteSounding = false;
    TrackerEvent* events = nullptr;
    uint16_t eventCapacity = 0;
    int eventCount = 0;

    // Records that did not fit the caller's buffer, written first in the next block.
    static constexpr int pendingCapacity = 256;
    std::array<TrackerEvent, pendingCapacity> pending {};
    int pendingStart = 0;
    int pendingCount = 0;

    // What other threads may read while a block runs.
    std::atomic<float> peakStrength;
    std::atomic<uint64_t> levelSnapshot { 0 };
};

} // namespace kalto
