// The pitch tracker: construction, onsets, note detection, tracking, note end
// and the records it writes.

#include <gtest/gtest.h>

#include "engine/PitchTracker.h"
#include "tests/engine/Probes.h"
#include "tests/engine/Signals.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include <xmmintrin.h>

namespace kalto
{
namespace
{
TEST (PitchTracker, ConstantsFollowTheRate)
{
    struct Case
    {
        int rate, maxPeriod, minDetect, history, ring, sinceNoteEnd;
        int peakWindow, detectionWindow, octaveGuard, bendInterval;
    };
    for (const auto& c : { Case { 44100, 757, 352, 4410, 6056, 11025, 661, 1764, 3528, 441 },
                           Case { 48000, 824, 384, 4800, 6592, 12000, 720, 1920, 3840, 480 } })
    {
        PitchTracker t (c.rate);
        PitchTrackerProbe p (t);
        EXPECT_EQ (p.tableSize(), 62);
        EXPECT_EQ (p.maxPeriod(), c.maxPeriod) << c.rate;
        EXPECT_EQ (p.minDetectSamples(), c.minDetect) << c.rate;
        EXPECT_EQ (SampleHistoryProbe (p.history()).capacity(), c.history) << c.rate;
        EXPECT_EQ (p.signalRing().getSize(), c.ring) << c.rate;
        EXPECT_EQ (p.samplesSinceNoteEnd(), c.sinceNoteEnd) << c.rate;
        EXPECT_EQ (p.peakWindow(), c.peakWindow) << c.rate;
        EXPECT_EQ (p.detectionWindow(), c.detectionWindow) << c.rate;
        EXPECT_EQ (p.octaveGuard(), c.octaveGuard) << c.rate;
        EXPECT_EQ (p.bendInterval(), c.bendInterval) << c.rate;
        EXPECT_EQ (p.lagCorrelators().size(), c.maxPeriod);
        EXPECT_EQ (p.state(), TrackerState::idle);
        EXPECT_EQ (t.noteOnFloorDb, -30.2f);
        EXPECT_EQ (t.velocitySpanDb, 15.0f);
        EXPECT_EQ (OnsetDetectorProbe (p.onsetDetector()).peak(), 0.0006666667f);
        EXPECT_EQ (t.getPeakStrength(), -std::numeric_limits<float>::infinity());
        EXPECT_EQ (t.getLevelDb(), -60.0f);
        const auto& lags = AutocorrelationBankProbe (p.bank()).lags();
        for (int i = 0; i < p.tableSize(); ++i)
            ASSERT_EQ (p.periodTable()[(std::size_t) i], lags[(std::size_t) i]);
    }
}

TEST (PitchTracker, PeriodTableAndNoteNumbers)
{
    PitchTracker t (44100);
    const auto& table = PitchTrackerProbe (t).periodTable();
    EXPECT_EQ (table.front(), 713);
    EXPECT_EQ (table.back(), 21);
    EXPECT_EQ (table[20], 225);
    EXPECT_EQ (table[22], 200);

    for (int rate : { 32000, 44100, 48000, 88200, 96000 })
    {
        PitchTracker r (rate);
        PitchTrackerProbe p (r);
        for (int i = 0; i < p.tableSize(); ++i)
            ASSERT_EQ (p.noteForIndex (i), 35 + i) << rate << " entry " << i;
    }

    // Below 32 kHz short periods round far enough to move the top entries.
    PitchTracker low (22050);
    PitchTrackerProbe p (low);
    EXPECT_EQ (p.noteForIndex (58), 92);
    EXPECT_EQ (p.noteForIndex (61), 95);
    EXPECT_EQ (p.noteForIndex (3), 38);
}

TEST (PitchTracker, VelocityFromLevel)
{
    PitchTracker t (44100);
    const std::vector<std::pair<float, int>> cases {
        { -30.1f, 1 }, { -30.2f, 1 }, { -20.0f, 86 }, { -15.2f, 127 }, { 0.0f, 127 }, { -25.0f, 44 },
    };
    for (const auto& [level, velocity] : cases)
        EXPECT_EQ (PitchTrackerProbe (t).velocityForLevel (level), velocity) << level;
}

TEST (OnsetDetector, Thresholds)
{
    {
        OnsetDetector d;
        EXPECT_FALSE (d.process (0.0009f, 0.0009f));
        EXPECT_TRUE (d.process (0.0011f, 0.0011f));
    }
    {
        // An attack peaking at 0.4, then a zero crossing: the held peak is 0.4.
        OnsetDetector d;
        EXPECT_TRUE (d.process (0.1f, 0.1f));
        EXPECT_FALSE (d.process (0.4f, 0.4f));
        EXPECT_FALSE (d.process (-0.2f, 0.2f));
        EXPECT_FALSE (OnsetDetectorProbe (d).armed());
        EXPECT_EQ (OnsetDetectorProbe (d).peak(), 0.4f);
        EXPECT_FALSE (d.process (-0.59f, 0.59f));
        EXPECT_TRUE (d.process (0.61f, 0.61f));
    }
    {
        // Passing through an exact zero is no crossing.
        OnsetDetector d;
        EXPECT_TRUE (d.process (0.2f, 0.2f));
        d.process (0.0f, 0.0f);
        d.process (-0.2f, 0.2f);
        EXPECT_TRUE (OnsetDetectorProbe (d).armed());
    }
}

TEST (PitchTracker, EmptyBlockWritesNothing)
{
    PitchTracker t (44100);
    TrackerEvent events[4];
    int count = -1;
    t.processBlock (nullptr, 0, events, 4, &count);
    EXPECT_EQ (count, 0);
}

TEST (PitchTracker, FirstNoteOfASteadyTone)
{
    PitchTracker t (44100);
    const auto records = run (t, sine (225.0, 0.5f, 44100));

    ASSERT_GE (records.size(), 2u);
    // The first note-off names note 0, and the first note-on follows at once.
    EXPECT_EQ (records[0].event.status, 0x80);
    EXPECT_EQ (records[0].event.data1, 0);
    EXPECT_EQ (records[0].event.data2, 100);
    EXPECT_EQ (records[1].event.status, 0x90);
    EXPECT_EQ (records[1].event.data1, 55); // period 225 is entry 20
    EXPECT_EQ (records[1].event.data2, 127);
    EXPECT_EQ (records[0].sample, records[1].sample);
    EXPECT_EQ (PitchTrackerProbe (t).state(), TrackerState::holding);
}

TEST (PitchTracker, DetectionStartsFreshMeasures)
{
    PitchTracker t (44100);
    PitchTrackerProbe p (t);
    p.processSample (0.5f); // onset, processed idle
    ASSERT_EQ (p.state(), TrackerState::detecting);
    EXPECT_EQ (t.getLevelDb(), -60.0f);
    EXPECT_EQ (t.getPeakStrength(), -std::numeric_limits<float>::infinity());
    EXPECT_EQ (p.windowPeak(), 1.0f);
    EXPECT_EQ (p.levelSum(), 0.5f);

    p.processSample (0.3f);
    p.processSample (0.1f);
    EXPECT_FLOAT_EQ (t.getLevelDb(), (float) (20.0 * std::log10 ((double) (0.9f / 2.0f / 0.23f))));
}

// The window closes at the first sample past 40 ms; what follows depends on
// whether a note was found and on bends and legato.
TEST (PitchTracker, WindowClosesAt1765)
{
    struct Case
    {
        bool pitched, bends, legato;
        TrackerState after;
    };
    const std::vector<Case> cases {
        { true, false, false, TrackerState::holding },
        { true, true, false, TrackerState::tracking },
        { true, false, true, TrackerState::tracking },
        { false, false, false, TrackerState::idle },
    };
    for (const auto& c : cases)
    {
        PitchTracker t (44100);
        PitchTrackerProbe p (t);
        t.bends = c.bends;
        t.legato = c.legato;
        // A click followed by silence has an onset but no pitch.
        auto tone = sine (225.0, 0.5f, 4000);
        if (! c.pitched)
            std::fill (tone.begin() + 20, tone.end(), 0.0f);
        int i = 0;
        while (p.state() == TrackerState::idle)
            p.processSample (tone[(std::size_t) i++]);
        while (p.samplesSinceOnset() < 1764)
            p.processSample (tone[(std::size_t) i++]);
        EXPECT_EQ (p.state(), TrackerState::detecting);
        p.processSample (tone[(std::size_t) i++]);
        EXPECT_EQ (p.samplesSinceOnset(), 1765);
        EXPECT_EQ (p.state(), c.after) << c.pitched << c.bends << c.legato;
        EXPECT_EQ (p.noteOn(), c.after != TrackerState::idle);
    }
}

TEST (PitchTracker, LevelAtOrBelowTheFloorStartsNothing)
{
    PitchTracker t (44100);
    t.gain = 1000.0f; // the tone's level relative to this lies far below -30.2 dB
    EXPECT_TRUE (run (t, sine (225.0, 0.5f, 8000)).empty());
}

TEST (PitchTracker, OctaveGuardRejectsACandidateMoreThanAnOctaveUp)
{
    struct Case
    {
        int index;
        bool accepted;
    };
    for (const auto& c : { Case { 33, false }, Case { 32, true } })
    {
        PitchTracker t (44100);
        PitchTrackerProbe p (t);
        p.setPreviousNoteIndex (20);
        p.setSamplesSinceNoteEnd (0);
        const auto records = run (t, sine (p.periodTable()[(std::size_t) c.index], 0.5f, 3000));
        bool started = false;
        for (const auto& r : records)
            started = started || (r.event.status == 0x90 && r.event.data1 == p.noteForIndex (c.index));
        EXPECT_EQ (started, c.accepted) << c.index;
    }
}

// c = 20 at 44.1 kHz: lags 189 to 266, ready from the 268th tracking sample,
// first bend on the 443rd ready one.
TEST (PitchTracker, TrackingRangeReadinessAndBendRate)
{
    PitchTracker t (44100);
    PitchTrackerProbe p (t);
    t.bends = true;
    const auto tone = sine (225.0, 0.5f, 44100);
    std::size_t i = 0;
    while (p.state() != TrackerState::tracking)
        p.processSample (tone[i++]);
    ASSERT_EQ (p.currentNoteIndex(), 20);

    TrackerEvent events[8];
    int count = 0;
    auto step = [&] { t.processBlock (&tone[i++], 1, events, 8, &count); };
    auto updates = [&] (int lag) { return p.lagCorrelators().updates (lag); };

    step();
    EXPECT_EQ (updates (188), 0u);
    EXPECT_EQ (updates (189), 1u);
    EXPECT_EQ (updates (266), 1u);
    EXPECT_EQ (updates (267), 0u);

    for (int n = 2; n <= 267; ++n)
        step();
    EXPECT_EQ (p.samplesSinceBend(), 0); // not ready yet
    step();
    EXPECT_EQ (p.samplesSinceBend(), 1); // the 268th is the first ready sample

    for (int n = 269; n < 267 + 443; ++n)
    {
        step();
        ASSERT_EQ (count, 0) << n;
    }
    step(); // tracking sample 710: the 443rd ready one
    ASSERT_EQ (count, 1);
    EXPECT_EQ (events[0].status, 0xE0);
    EXPECT_EQ (events[0].data1, 0); // a tone at the note's period bends by nothing
    EXPECT_EQ (events[0].data2, 64);
    EXPECT_EQ (p.state(), TrackerState::tracking);
}

TEST (PitchTracker, BothNoteEndTestsInOneSample)
{
    struct Case
    {
        TrackerState state;
        std::vector<uint8_t> statuses;
    };
    const std::vector<Case> cases {
        { TrackerState::tracking, { 0x80, 0xE0, 0x80, 0xE0 } },
        { TrackerState::holding, { 0x80, 0xE0, 0x80 } },
    };
    for (const auto& c : cases)
    {
        PitchTracker t (44100);
        PitchTrackerProbe p (t);
        p.setState (c.state);
        p.setCurrentNoteIndex (20);
        p.setLastNoteSent (55);
        p.setWindowPeak (0.005f); // below 0.01, and the next sample is more than 1.5 times it
        TrackerEvent events[8];
        int count = 0;
        const float loud = 0.5f;
        t.processBlock (&loud, 1, events, 8, &count);

        ASSERT_EQ (count, (int) c.statuses.size());
        for (int k = 0; k < count; ++k)
        {
            EXPECT_EQ (events[k].status, c.statuses[(std::size_t) k]) << k;
            EXPECT_EQ (events[k].length, 3);
            if (events[k].status == 0x80)
                EXPECT_EQ (events[k].data1, 55);
            else
                EXPECT_EQ (events[k].data2, 64);
        }
        EXPECT_EQ (p.state(), TrackerState::detecting);
        EXPECT_EQ (p.samplesSinceNoteEnd(), 0);
    }
}

// Whatever the capacity and block size, the same records come out in the same
// order; none is written beyond the capacity, and none is lost.
TEST (PitchTracker, RecordsBeyondCapacityArriveInTheNextBlocks)
{
    const auto phrase = pluckedPhrase (44100, { 45, 52, 57, 52, 64 }, 0.35);
    PitchTracker reference (44100);
    reference.bends = true;
    const auto expected = run (reference, phrase);
    ASSERT_GT (expected.size(), 10u);

    for (int capacity : { 0, 1, 2, 3 })
    {
        for (int block : { 1, 2, 3 })
        {
            PitchTracker t (44100);
            t.bends = true;
            std::vector<TrackerEvent> got;
            std::vector<TrackerEvent> buffer (4);
            for (std::size_t start = 0; start < phrase.size(); start += (std::size_t) block)
            {
                const int n = (int) std::min ((std::size_t) block, phrase.size() - start);
                int count = -1;
                buffer.assign (4, TrackerEvent {});
                t.processBlock (&phrase[start], n, buffer.data(), (uint16_t) capacity, &count);
                ASSERT_LE (count, capacity);
                for (int k = count; k < 4; ++k)
                    ASSERT_EQ (buffer[(std::size_t) k].length, 0) << "written beyond capacity";
                got.insert (got.end(), buffer.begin(), buffer.begin() + count);
            }
            if (capacity == 0)
            {
                EXPECT_TRUE (got.empty());
                continue;
            }
            // Drain what is still waiting.
            for (int extra = 0; extra < 64; ++extra)
            {
                const float silence = 0.0f;
                int count = 0;
                t.processBlock (&silence, 1, buffer.data(), (uint16_t) capacity, &count);
                got.insert (got.end(), buffer.begin(), buffer.begin() + count);
            }
            ASSERT_EQ (got.size(), expected.size()) << capacity << "/" << block;
            for (std::size_t k = 0; k < got.size(); ++k)
            {
                ASSERT_EQ (got[k].status, expected[k].event.status) << k;
                ASSERT_EQ (got[k].data1, expected[k].event.data1) << k;
                ASSERT_EQ (got[k].data2, expected[k].event.data2) << k;
            }
        }
    }
}

TEST (PitchTracker, NonFiniteInputCountsAsSilence)
{
    auto phrase = pluckedPhrase (44100, { 45, 57 }, 0.4);
    auto glitched = phrase;
    const float bad[] = { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity() };
    for (std::size_t k = 0; k < 300; ++k)
    {
        const std::size_t at = 3000 + k * 97;
        glitched[at] = bad[k % 3];
        phrase[at] = 0.0f;
    }

    PitchTracker clean (44100), dirty (44100);
    const auto a = run (clean, phrase);
    const auto b = run (dirty, glitched);
    ASSERT_EQ (a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k)
    {
        EXPECT_EQ (a[k].sample, b[k].sample);
        EXPECT_EQ (a[k].event.status, b[k].event.status);
        EXPECT_EQ (a[k].event.data1, b[k].event.data1);
    }
    EXPECT_TRUE (std::isfinite (PitchTrackerProbe (dirty).filteredSample()));
    EXPECT_TRUE (std::isfinite (dirty.getLevelDb()));
}

// In the silence after a note the input sections decay towards zero; their
// state must reach it instead of lingering among the denormal numbers, which
// cost many CPUs dozens of cycles an operation, for as long as the silence
// lasts. The caller's floating-point mode is its own again after each block.
TEST (PitchTracker, SilenceAfterANoteLeavesNoDenormals)
{
    for (const int rate : { 44100, 192000 })
    {
        SCOPED_TRACE (rate);
        PitchTracker t (rate);
        t.bends = true;
        auto input = pluckedPhrase (rate, { 45 }, 0.5);
        input.insert (input.end(), (std::size_t) rate * 3, 0.0f);

        // The control bits; the status bits below them record what happened.
        constexpr unsigned int statusBits = 0x3f;
        const auto modeBefore = _mm_getcsr() & ~statusBits;
        std::vector<TrackerEvent> events (512);
        int count = 0;
        for (std::size_t start = 0; start + 512 <= input.size(); start += 512)
            t.processBlock (&input[start], 512, events.data(), 512, &count);
        EXPECT_EQ (_mm_getcsr() & ~statusBits, modeBefore);

        PitchTrackerProbe p (t);
        for (int i = 0; i < 3; ++i)
        {
            BiquadProbe f (p.filter (i));
            EXPECT_NE (std::fpclassify (f.z1()), FP_SUBNORMAL) << "section " << i << " z1 " << f.z1();
            EXPECT_NE (std::fpclassify (f.z2()), FP_SUBNORMAL) << "section " << i << " z2 " << f.z2();
        }
        EXPECT_NE (std::fpclassify (p.filteredSample()), FP_SUBNORMAL);
    }
}

// A session left running: counters of samples since an onset, since a note
// ended and since a bend pass 2^31 (13.5 hours at 44.1 kHz, 47 minutes at
// 768 kHz) and the largest count there is, and the tracker goes on as if
// they had just passed their thresholds.
TEST (PitchTracker, CountersOfALongSessionNeverWrap)
{
    const auto a2 = pluckedPhrase (44100, { 45 }, 0.4);
    const auto a5 = pluckedPhrase (44100, { 81 }, 0.4);
    const auto noteOns = [] (const std::vector<TimedRecord>& records, int note) {
        return std::count_if (records.begin(), records.end(), [note] (const TimedRecord& r) {
            return r.event.status == 0x90 && r.event.data1 == note;
        });
    };
    constexpr int64_t old32BitLimit = std::numeric_limits<int32_t>::max();
    for (const int64_t nearLimit : { old32BitLimit - 100, std::numeric_limits<int64_t>::max() - 100 })
    {
        SCOPED_TRACE (nearLimit);
        // Hours after A2 ended, A5 is no harmonic of it: the octave guard is long off.
        PitchTracker t (44100);
        PitchTrackerProbe p (t);
        ASSERT_EQ (noteOns (run (t, a2), 45), 1);
        p.setSamplesSinceNoteEnd (nearLimit);
        p.setSamplesSinceOnset (nearLimit);
        run (t, std::vector<float> (1000, 0.0f));
        EXPECT_GE (p.samplesSinceNoteEnd(), nearLimit);
        EXPECT_GE (p.samplesSinceOnset(), nearLimit);
        EXPECT_EQ (noteOns (run (t, a5), 81), 1) << "A5 after A2 was taken for its harmonic";

        // A note held with legato and no bends counts on since its last bend.
        PitchTracker held (44100);
        held.legato = true;
        PitchTrackerProbe h (held);
        const auto tone = sine (100.0, 0.5f, 20000);
        run (held, std::vector<float> (tone.begin(), tone.begin() + 10000));
        ASSERT_EQ (h.state(), TrackerState::tracking);
        h.setSamplesSinceBend (nearLimit);
        const auto rest = run (held, std::vector<float> (tone.begin() + 10000, tone.end()));
        EXPECT_EQ (h.state(), TrackerState::tracking) << "the held note ended";
        EXPECT_TRUE (rest.empty());
        EXPECT_GE (h.samplesSinceBend(), nearLimit);
    }
}

TEST (PitchTracker, SettingsActFromTheNextSample)
{
    // Two trackers agree until one has its bends switched off between blocks.
    const auto tone = sine (218.0, 0.5f, 20000); // a little sharp of entry 20
    PitchTracker a (44100), b (44100);
    a.bends = true;
    b.bends = true;
    std::vector<TrackerEvent> ea (64), eb (64);
    int ca = 0, cb = 0;
    a.processBlock (tone.data(), 10000, ea.data(), 64, &ca);
    b.processBlock (tone.data(), 10000, eb.data(), 64, &cb);
    ASSERT_EQ (ca, cb);
    a.convFilter = false; // read by no step
    b.bends = false;
    a.processBlock (tone.data() + 10000, 10000, ea.data(), 64, &ca);
    b.processBlock (tone.data() + 10000, 10000, eb.data(), 64, &cb);
    int bendsA = 0, bendsB = 0;
    for (int k = 0; k < ca; ++k)
        bendsA += ea[(std::size_t) k].status == 0xE0;
    for (int k = 0; k < cb; ++k)
        bendsB += eb[(std::size_t) k].status == 0xE0;
    EXPECT_GT (bendsA, 10);
    EXPECT_EQ (bendsB, 0);
}

TEST (PitchTracker, MeasuresCanBeReadWhileABlockRuns)
{
    PitchTracker t (44100);
    t.bends = true;
    const auto phrase = pluckedPhrase (44100, { 45, 52, 57 }, 0.3);
    std::atomic<bool> done { false };
    std::thread reader ([&] {
        float sink = 0.0f;
        while (! done.load())
        {
            sink += t.getPeakStrength() > 0.0f ? 1.0f : 0.0f;
            sink += t.getLevelDb();
            t.confidence = 0.5f;
            t.legato = ! t.legato.load();
        }
        EXPECT_TRUE (std::isfinite (sink) || std::isinf (sink));
    });
    std::vector<TrackerEvent> events (512);
    int count = 0;
    for (std::size_t start = 0; start + 256 <= phrase.size(); start += 256)
        t.processBlock (&phrase[start], 256, events.data(), 512, &count);
    done = true;
    reader.join();
}
} // namespace
} // namespace kalto
