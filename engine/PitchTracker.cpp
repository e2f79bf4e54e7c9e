#include "engine/PitchTracker.h"

#include "engine/FlushToZero.h"
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

// The rates the tracker is built for, from telephone audio to the fastest
// converters. Below 8 kHz the shortest periods vanish and the durations reach
// zero; no host runs that slowly, so such a rate is treated as 8 kHz rather
// than crash.
constexpr int lowestRate = 8000;
constexpr int highestRate = 768000;

// Durations in seconds; duration() below turns each into samples.
constexpr float peakWindowSeconds = 0.015f;     // the window whose peak the re-attack and level tests read
constexpr float detectionWindowSeconds = 0.04f; // how long after an onset a note may start
constexpr float octaveGuardSeconds = 0.08f;  // how long after a note a candidate over an octave above is its harmonic
constexpr float bendIntervalSeconds = 0.01f; // at most one bend in this time
constexpr float historySeconds = 0.1f;       // the history the confirmation correlates
constexpr float startSinceNoteEndSeconds = 0.25f; // past the octave guard, which is thus off at start-up
// Before this, only a full harmonic chain may accept a candidate (computed in
// double precision).
constexpr double minDetectSeconds = 0.008;

// The signal ring holds this many of the longest period: more than the
// 2 lag + 2 samples any lag correlator reads, with the search's vector of
// lags past the longest.
constexpr int signalRingPeriods = 8;

// Two identical low-pass sections in series: the pitch measures read the
// input below 1 kHz.
constexpr float inputCutoffHz = 1000.0f;
// Smooths the pitch deviation that the bends follow.
constexpr double deviationCutoffHz = 20.0;
// Every section's Q: 0.707 as it stands, not 1/sqrt(2), as the records depend on it.
constexpr double sectionQ = butterworthQ;

// Levels: the mean magnitude relative to the gain, in dB. Until two samples
// have passed since the onset and the sum of magnitudes passes minLevelSum,
// the level reads as silence, -60 dB, the onset detector's floor.
constexpr double decibelsPerDecade = 20.0;
constexpr int minLevelSamples = 2;
constexpr double minLevelSum = 0.01;
constexpr float silenceDb = -60.0f;

// Velocities run from 1, so that a started note is never silent, to 127.
constexpr int quietestVelocity = 1;
constexpr int loudestVelocity = midi::maxDataValue;

// A candidate that three entries of its harmonic chain count is accepted
// without the confidence test.
constexpr int chainHitsToAccept = 3;

// The confirmation: the candidate must repeat well at its period (above
// minRepetition), and no better than maxRepetition, above which the older half
// of the history is much louder than the newer.
constexpr double minRepetition = -0.1;
constexpr float maxRepetition = 0.5f;

// Tracking searches three semitones either way of the note, so candidates
// keep that far from the table's ends; deviations count in whole tones, two
// table entries.
constexpr int searchReach = 3;
constexpr int wholeTone = 2;

// Where the search for the best correlation starts: below a full inversion, -2.
constexpr float belowEveryResult = -3.0f;
// The pitch is lost when the best correlation falls below this; with bends,
// which follow the pitch, it may fall further than with legato alone.
constexpr float lostWithBends = -1.58f;
constexpr float lostWithoutBends = -0.68f;
// The pitch is also lost past this deviation, or at a larger jump in one sample.
constexpr double maxDeviation = 1.3;
constexpr double maxDeviationStep = 0.63;
// Without bends, a move of more than 0.6 semitone ends the note.
constexpr double legatoDeviation = 0.3;

// A whole tone is the wheel's full swing (recordBendSemitones).
constexpr double bendPerWholeTone = (double) (midi::pitchWheelMax - midi::pitchWheelCentre);
// The wheel's centre as its two data bytes, 0 and 64: no bend.
constexpr int centredBendLsb = midi::pitchWheelCentre % midi::dataByteValues;
constexpr int centredBendMsb = midi::pitchWheelCentre / midi::dataByteValues;

// Held notes end when a whole peak window stays below this (bends off); a
// sample this many times louder than the last window's peak is a re-attack.
constexpr double silentWindowPeak = 0.01;
constexpr double reattackRatio = 1.5;
// Until the first window after an onset closes, its peak counts as full scale.
constexpr float unmeasuredWindowPeak = 1.0f;

// A record's data bytes keep the low eight bits; the MIDI stage ignores the
// note-off velocity.
constexpr int lowByte = 0xff;
constexpr uint8_t noteOffVelocity = 100;

// The level snapshot: the sum's bits above the 32-bit sample count.
constexpr int countBits = 32;

int usableRate (int rate)
{
    return std::clamp (rate, lowestRate, highestRate);
}

// A duration in samples: the rate in single precision times a single-precision
// constant, truncated.
int duration (int rate, float seconds)
{
    return (int) ((float) rate * seconds);
}

// The count beside the sum holds 31 bits; a longer count reads as the longest.
uint64_t packLevel (float sum, int64_t samples)
{
    uint32_t bits;
    std::memcpy (&bits, &sum, sizeof bits);
    const auto count = (uint32_t) std::min<int64_t> (samples, std::numeric_limits<int32_t>::max());
    return ((uint64_t) bits << countBits) | count;
}

// One more sample counted, up to the largest count.
void countOn (int64_t& samples)
{
    if (samples < std::numeric_limits<int64_t>::max())
        ++samples;
}
} // namespace

PitchTracker::PitchTracker (int rate)
    : sampleRate (usableRate (rate)),
      maxPeriod ((int) std::round ((double) sampleRate / belowLowestNoteHz)),
      minDetectSamples ((int) ((double) (float) sampleRate * minDetectSeconds)),
      peakWindow (duration (sampleRate, peakWindowSeconds)),
      detectionWindow (duration (sampleRate, detectionWindowSeconds)),
      octaveGuard (duration (sampleRate, octaveGuardSeconds)),
      bendInterval (duration (sampleRate, bendIntervalSeconds)),
      bank (sampleRate, lowTableNote, highTableNote),
      signalRing (signalRingPeriods * maxPeriod),
      history (duration (sampleRate, historySeconds)),
      lagCorrelators (maxPeriod),
      lagResults ((std::size_t) (std::max (0, maxPeriod) + LagCorrelators::lanes), 0.0f),
      lagSearch (lagSearchForThisCpu()),
      peakStrength (-std::numeric_limits<float>::infinity())
{
    inputFilter1.setBiquad (lowpass, (double) (inputCutoffHz / (float) sampleRate), sectionQ, 0.0);
    inputFilter2.setBiquad (lowpass, (double) (inputCutoffHz / (float) sampleRate), sectionQ, 0.0);
    deviationFilter.setBiquad (lowpass, deviationCutoffHz / (double) (float) sampleRate, sectionQ, 0.0);

    buildPeriodTable (lowTableNote, highTableNote);

    state = TrackerState::idle;
    onsetDetector.reset();
    samplesSinceNoteEnd = duration (sampleRate, startSinceNoteEndSeconds);
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
           & lowByte;
}

int PitchTracker::velocityForLevel (float levelDb) const
{
    const double v = (double) (levelDb - noteOnFloorDb) * (double) loudestVelocity / (double) velocitySpanDb;
    if (! (v >= (double) quietestVelocity))
        return quietestVelocity;
    return v >= (double) loudestVelocity ? loudestVelocity : (int) v;
}

float PitchTracker::levelDb (float sum, int64_t samples) const
{
    const float mean = sum / (float) samples / gain.load (std::memory_order_relaxed);
    return (float) (decibelsPerDecade * std::log10 ((double) mean));
}

//==============================================================================
void PitchTracker::processBlock (const float* samples, int numSamples, TrackerEvent* eventsToUse, uint16_t capacity,
                                 int* countOut)
{
    const ScopedFlushToZero noDenormals;
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

    countOn (samplesSinceOnset);
    countOn (samplesSinceNoteEnd);

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
        case TrackerState::tracking: trackNote(); break;
        case TrackerState::holding: checkNoteEnd(); break;
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
    const uint32_t bits = (uint32_t) (snapshot >> countBits);
    float sum;
    std::memcpy (&sum, &bits, sizeof sum);

    if (samples < minLevelSamples || ! ((double) sum > minLevelSum))
        return silenceDb;
    return levelDb (sum, samples);
}

//==============================================================================
void PitchTracker::beginDetection()
{
    state = TrackerState::detecting;
    history.clear();
    samplesSinceOnset = 0;
    levelSum = inputMagnitude;
    windowPeak = unmeasuredWindowPeak;
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
            lagCorrelators.empty();
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

    if (i < searchReach || i >= tableSize - searchReach || i == currentNoteIndex)
        return;

    const bool accepted =
        hits >= chainHitsToAccept
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
    return at > below && at > above && (double) at > minRepetition && at < maxRepetition;
}

//==============================================================================
void PitchTracker::trackNote()
{
    checkNoteEnd();
    if (state != TrackerState::tracking)
    {
        addPitchBend (centredBendLsb, centredBendMsb);
        return;
    }

    const int c = currentNoteIndex;
    const int shortest = periodTable[(std::size_t) c + searchReach];
    const int longest = std::min (periodTable[(std::size_t) c - searchReach], maxPeriod);

    // Every lag in the range updated, shortest first; while all so far were
    // ready, a result strictly better than the best so far takes its place.
    const auto [allReady, best, bestLag] = lagSearch (lagCorrelators.arrays(), signalRing.newestFirst(), shortest,
                                                      longest, belowEveryResult, lagResults.data());

    if (! allReady)
    {
        previousDeviation = 0.0f;
        return;
    }

    const int period = periodTable[(std::size_t) c];
    const int span = bestLag <= period ? period - periodTable[(std::size_t) c + wholeTone]
                                       : periodTable[(std::size_t) c - wholeTone] - period;
    const float d = (float) (period - bestLag) / (float) span;
    const double ds = deviationFilter.process ((double) d);

    const bool bendsOn = bends.load (std::memory_order_relaxed);
    const float threshold = bendsOn ? lostWithBends : lostWithoutBends;

    if (best < threshold || std::fabs ((double) d) > maxDeviation
        || std::fabs ((double) (d - previousDeviation)) > maxDeviationStep)
    {
        addPitchBend (centredBendLsb, centredBendMsb);
        endNote();
        return;
    }

    if (samplesSinceBend > bendInterval && bendsOn)
    {
        samplesSinceBend = 0;
        const int v = (int) std::round ((double) (float) ds * bendPerWholeTone);
        const int value = std::clamp (v + midi::pitchWheelCentre, 0, midi::pitchWheelMax);
        addPitchBend (value % midi::dataByteValues, (value / midi::dataByteValues) % midi::dataByteValues);
    }
    else if (! bendsOn && std::fabs ((double) d) > legatoDeviation)
    {
        endNote();
    }

    countOn (samplesSinceBend);
    previousDeviation = d;
}

void PitchTracker::checkNoteEnd()
{
    if (! bends.load (std::memory_order_relaxed) && (double) windowPeak < silentWindowPeak)
        endNote();

    if ((double) inputMagnitude > reattackRatio * (double) windowPeak)
    {
        addPitchBend (centredBendLsb, centredBendMsb);
        addNoteOff();
        onsetDetector.reset();
        beginDetection();
        samplesSinceNoteEnd = 0;
    }
}

//==============================================================================
void PitchTracker::addNoteOn (int note, int noteVelocity)
{
    appendRecord (midi::noteOn, (uint8_t) (note & lowByte), (uint8_t) (noteVelocity & lowByte));
    lastNoteSent = (uint8_t) (note & lowByte);
    noteSounding = true;
}

void PitchTracker::addNoteOff()
{
    appendRecord (midi::noteOff, lastNoteSent, noteOffVelocity);
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
