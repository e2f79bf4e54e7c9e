#include "engine/PitchTracker.h"

#include "engine/MidiStatus.h"
#include "engine/SemitoneScale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kalto
{

namespace
{
using semitoneScale::semitonesPerOctave;

// The table's notes 36 to 97 on the bank's scale: MIDI notes 35 to 96, B1 to C7.
constexpr int lowTableNote = 36;
constexpr int highTableNote = 98;

// The standard pitch of MIDI note 34 (midiReferenceHz times 2^(25/12)), one
// semitone below the table's lowest note, MIDI note 35: its period bounds the
// lag correlators.
constexpr double belowLowestNoteHz = 58.27047018976124;

// Below 8 kHz the shortest periods vanish and the durations reach zero; no
// host runs that slowly, so such a rate is treated as 8 kHz rather than crash.
int usableRate (int rate)
{
    return std::clamp (rate, 8000, 768000);
}

// A duration in samples: the rate in single precision times a single-precision
// constant, truncated.
int duration (int rate, float seconds)
{
    return (int) ((float) rate * seconds);
}

// One lag correlator per lag below maxPeriod, record L with lag L.
std::vector<LagCorrelator> correlatorPerLag (int maxPeriod)
{
    std::vector<LagCorrelator> correlators;
    correlators.reserve ((std::size_t) std::max (0, maxPeriod));
    for (int lag = 0; lag < maxPeriod; ++lag)
        correlators.emplace_back (lag);
    return correlators;
}

uint64_t packLevel (float sum, int samples)
{
    uint32_t bits;
    std::memcpy (&bits, &sum, sizeof bits);
    return ((uint64_t) bits << 32) | (uint32_t) samples;
}
} // namespace

PitchTracker::PitchTracker (int rate)
    : sampleRate (usableRate (rate)),
      maxPeriod ((int) std::round ((double) sampleRate / belowLowestNoteHz)),
      minDetectSamples ((int) ((double) (float) sampleRate * 0.008)),
      peakWindow (duration (sampleRate, 0.015f)),
      detectionWindow (duration (sampleRate, 0.04f)),
      octaveGuard (duration (sampleRate, 0.08f)),
      bendInterval (duration (sampleRate, 0.01f)),
      bank (sampleRate, lowTableNote, highTableNote),
      signalRing (8 * maxPeriod),
      history (duration (sampleRate, 0.1f)),
      lagCorrelators (correlatorPerLag (maxPeriod)),
      lagResults ((std::size_t) maxPeriod, 0.0f),
      peakStrength (-std::numeric_limits<float>::infinity())
{
    inputFilter1.setBiquad (lowpass, (double) (1000.0f / (float) sampleRate), 0.707, 0.0);
    inputFilter2.setBiquad (lowpass, (double) (1000.0f / (float) sampleRate), 0.707, 0.0);
    deviationFilter.setBiquad (lowpass, 20.0 / (double) (float) sampleRate, 0.707, 0.0);

    buildPeriodTable (lowTableNote, highTableNote);

    state = TrackerState::idle;
    onsetDetector.reset();
    samplesSinceNoteEnd = duration (sampleRate, 0.25f);
    previousNoteIndex = 0;
    publishMeasures();
}

void PitchTracker::buildPeriodTable (int lowNote, int highNote)
{
    tableSize = std::max (0, highNote - lowNote);
    periodTable.assign ((std::size_t) tableSize, 0);
    for (int i = 0; i < tableSize; ++i)
        periodTable[(std::size_t) i] = semitonePeriod (lowNote + i, sampleRate);
}

// From the period, on the MIDI scale: the table's own scale lies 0.971
// semitones lower (engine/SemitoneScale.h).
int PitchTracker::noteForIndex (int i) const
{
    using namespace semitoneScale;
    const double rate = (double) (float) sampleRate;
    const double period = (double) (float) periodTable[(std::size_t) i];
    return (int) std::round ((double) semitonesPerOctave * std::log2 (rate / (period * midiReferenceHz))
                             + (double) referenceNote)
         & 0xff;
}

int PitchTracker::velocityForLevel (float levelDb) const
{
    const double v = (double) (levelDb - noteOnFloorDb) * 127.0 / (double) velocitySpanDb;
    if (! (v >= 1.0))
        return 1;
    return v >= 127.0 ? 127 : (int) v;
}

float PitchTracker::levelDb (float sum, int samples) const
{
    const float mean = sum / (float) samples / gain.load (std::memory_order_relaxed);
    return (float) (20.0 * std::log10 ((double) mean));
}

//==============================================================================
void PitchTracker::processBlock (const float* samples, int numSamples, TrackerEvent* eventsToUse,
                                 uint16_t capacity, int* countOut)
{
    events = eventsToUse;
    eventCapacity = events != nullptr ? capacity : 0;
    eventCount = 0;

    flushPending();

    for (int i = 0; i < numSamples; ++i)
        processSample (samples[i]);

    if (countOut != nullptr)
        *countOut = eventCount;
}

void PitchTracker::processSample (float x)
{
    // A glitching host may send NaN or infinity; it must not poison the filters.
    if (! std::isfinite (x))
        x = 0.0f;

    ++samplesSinceOnset;
    ++samplesSinceNoteEnd;

    inputSample = x;
    inputMagnitude = std::fabs (x);

    const float first = (float) inputFilter1.process ((double) x);
    filteredSample = (float) inputFilter2.process ((double) first);

    levelSum += inputMagnitude;
    if (inputMagnitude > runningPeak)
        runningPeak = inputMagnitude;
    if (samplesSinceOnset % peakWindow == 0)
    {
        windowPeak = runningPeak;
        runningPeak = 0.0f;
    }

    signalRing.push (filteredSample);

    switch (state)
    {
        case TrackerState::idle:
            if (onsetDetector.process (inputSample, inputMagnitude))
                beginDetection();
            break;
        case TrackerState::detecting: detectNote(); break;
        case TrackerState::tracking:  trackNote(); break;
        case TrackerState::holding:   checkNoteEnd(); break;
    }

    publishMeasures();
}

void PitchTracker::publishMeasures()
{
    levelSnapshot.store (packLevel (levelSum, samplesSinceOnset), std::memory_order_relaxed);
}

float PitchTracker::getPeakStrength() const
{
    return peakStrength.load (std::memory_order_relaxed);
}

float PitchTracker::getLevelDb() const
{
    const uint64_t snapshot = levelSnapshot.load (std::memory_order_relaxed);
    const int samples = (int) (uint32_t) snapshot;
    const uint32_t bits = (uint32_t) (snapshot >> 32);
    float sum;
    std::memcpy (&sum, &bits, sizeof sum);

    if (samples < 2 || ! ((double) sum > 0.01))
        return -60.0f;
    return levelDb (sum, samples);
}

//==============================================================================
void PitchTracker::beginDetection()
{
    state = TrackerState::detecting;
    history.clear();
    samplesSinceOnset = 0;
    levelSum = inputMagnitude;
    windowPeak = 1.0f;
    runningPeak = 0.0f;
    bank.reset();
    peakStrength.store (-std::numeric_limits<float>::infinity(), std::memory_order_relaxed);
    noteOn = false;
    currentNoteIndex = 0;
    velocity = 0;
}

void PitchTracker::endNote()
{
    samplesSinceNoteEnd = 0;
    addNoteOff();
    state = TrackerState::idle;
    onsetDetector.reset();
}

bool PitchTracker::checkDetectionWindow()
{
    const bool onset = onsetDetector.process (inputSample, inputMagnitude);
    if (onset)
        beginDetection();

    if (samplesSinceOnset <= detectionWindow)
        return onset;

    if (noteOn)
    {
        if (bends.load (std::memory_order_relaxed) || legato.load (std::memory_order_relaxed))
        {
            for (auto& correlator : lagCorrelators)
                correlator.empty();
            samplesSinceBend = 0;
            previousDeviation = 0.0f;
            deviationFilter.reset();
            state = TrackerState::tracking;
        }
        else
        {
            state = TrackerState::holding;
        }
        previousNoteIndex = currentNoteIndex;
    }
    else
    {
        // A note started earlier in this window was cut off by a later onset
        // without a note-off; with no note to take its place, it ends here.
        if (noteSounding)
            addNoteOff();
        onsetDetector.reset();
        state = TrackerState::idle;
    }
    return true;
}

void PitchTracker::detectNote()
{
    if (checkDetectionWindow())
        return;

    bank.pushSample (filteredSample);
    history.append (filteredSample);

    int i = 0;
    float value = 0.0f;
    bank.findStrongestPeak (i, value);
    peakStrength.store (value, std::memory_order_relaxed);

    int hits = 0;
    float sum = 0.0f;
    if (i != 0)
        bank.scoreHarmonics (i, hits, sum, value);

    // Just after a note, a candidate more than an octave above it is its harmonic.
    if (samplesSinceNoteEnd < octaveGuard && i - previousNoteIndex > semitonesPerOctave)
    {
        hits = 0;
        sum = 0.0f;
    }

    if (i < 3 || i >= tableSize - 3 || i == currentNoteIndex)
        return;

    const bool accepted = hits >= 3
        || (sum > confidence.load (std::memory_order_relaxed) && samplesSinceOnset > minDetectSamples);
    if (! accepted || ! confirmCandidate (i))
        return;

    if (noteOn)
    {
        addNoteOff();
        addNoteOn (noteForIndex (i), velocity);
    }
    else
    {
        const float level = levelDb (levelSum, samplesSinceOnset);
        if (! (level > noteOnFloorDb))
            return;
        addNoteOff();
        velocity = velocityForLevel (level);
        addNoteOn (noteForIndex (i), velocity);
        noteOn = true;
    }

    currentNoteIndex = i;
}

bool PitchTracker::confirmCandidate (int i)
{
    const float below = history.normalisedCorrelation (periodTable[(std::size_t) i - 1]);
    const float at = history.normalisedCorrelation (periodTable[(std::size_t) i]);
    const float above = history.normalisedCorrelation (periodTable[(std::size_t) i + 1]);
    return at > below && at > above && (double) at > -0.1 && at < 0.5f;
}

//==============================================================================
void PitchTracker::trackNote()
{
    checkNoteEnd();
    if (state != TrackerState::tracking)
    {
        addPitchBend (0, 64);
        return;
    }

    const int c = currentNoteIndex;
    const int shortest = periodTable[(std::size_t) c + 3];
    const int longest = std::min (periodTable[(std::size_t) c - 3], maxPeriod);

    bool allReady = true;
    float best = -3.0f;
    int bestLag = shortest;
    for (int lag = shortest; lag < longest; ++lag)
    {
        float& result = lagResults[(std::size_t) lag];
        const bool ready = lagCorrelators[(std::size_t) lag].update (signalRing, result);
        allReady = allReady && ready;
        if (allReady && result > best)
        {
            best = result;
            bestLag = lag;
        }
    }

    if (! allReady)
    {
        previousDeviation = 0.0f;
        return;
    }

    const int period = periodTable[(std::size_t) c];
    const int span = bestLag <= period ? period - periodTable[(std::size_t) c + 2] : periodTable[(std::size_t) c - 2] - period;
    const float d = (float) (period - bestLag) / (float) span;
    const double ds = deviationFilter.process ((double) d);

    const bool bendsOn = bends.load (std::memory_order_relaxed);
    const float threshold = bendsOn ? -1.58f : -0.68f;

    if (best < threshold || std::fabs ((double) d) > 1.3 || std::fabs ((double) (d - previousDeviation)) > 0.63)
    {
        addPitchBend (0, 64);
        endNote();
        return;
    }

    if (samplesSinceBend > bendInterval && bendsOn)
    {
        samplesSinceBend = 0;
        const int v = (int) std::round ((double) (float) ds * 8191.0);
        const int value = std::clamp (v + 8192, 0, 16383);
        addPitchBend (value % 128, (value / 128) % 128);
    }
    else if (! bendsOn && std::fabs ((double) d) > 0.3)
    {
        endNote();
    }

    ++samplesSinceBend;
    previousDeviation = d;
}

void PitchTracker::checkNoteEnd()
{
    if (! bends.load (std::memory_order_relaxed) && (double) windowPeak < 0.01)
        endNote();

    if ((double) inputMagnitude > 1.5 * (double) windowPeak)
    {
        addPitchBend (0, 64);
        addNoteOff();
        onsetDetector.reset();
        beginDetection();
        samplesSinceNoteEnd = 0;
    }
}

//==============================================================================
void PitchTracker::addNoteOn (int note, int noteVelocity)
{
    appendRecord (midi::noteOn, (uint8_t) (note & 0xff), (uint8_t) (noteVelocity & 0xff));
    lastNoteSent = (uint8_t) (note & 0xff);
    noteSounding = true;
}

void PitchTracker::addNoteOff()
{
    appendRecord (midi::noteOff, lastNoteSent, 100);
    noteSounding = false;
}

void PitchTracker::addPitchBend (int lsb, int msb)
{
    appendRecord (midi::pitchWheel, (uint8_t) lsb, (uint8_t) msb);
}

void PitchTracker::appendRecord (uint8_t status, uint8_t data1, uint8_t data2)
{
    TrackerEvent record;
    record.length = trackerMessageLength;
    record.status = status;
    record.data1 = data1;
    record.data2 = data2;

    // Once anything waits, later records queue behind it to keep the order.
    if (pendingCount == 0 && eventCount < (int) eventCapacity)
    {
        events[eventCount++] = record;
        return;
    }

    if (pendingCount < pendingCapacity)
    {
        pending[(std::size_t) ((pendingStart + pendingCount) % pendingCapacity)] = record;
        ++pendingCount;
    }
}

void PitchTracker::flushPending()
{
    while (pendingCount > 0 && eventCount < (int) eventCapacity)
    {
        events[eventCount++] = pending[(std::size_t) pendingStart];
        pendingStart = (pendingStart + 1) % pendingCapacity;
        --pendingCount;
    }
}

} // namespace kalto
