// The MIDI stage: tracker records in, the finished MIDI out, to the host's
// buffer and to an external port.

#include <gtest/gtest.h>

#include "engine/MIDI_Backend.h"
#include "tests/engine/FakeMidiPorts.h"

#include <cmath>
#include <limits>
#include <set>

namespace kalto
{
namespace
{
using Msg = std::array<int, 3>;
using Msgs = std::vector<Msg>;

TrackerEvent on (int note, int velocity = 90)
{
    return { 3, 0x90, (uint8_t) note, (uint8_t) velocity, 0 };
}
TrackerEvent off (int note)
{
    return { 3, 0x80, (uint8_t) note, 100, 0 };
} // the tracker's note-offs carry 100
TrackerEvent bend (int value)
{
    return { 3, 0xe0, (uint8_t) (value & 127), (uint8_t) (value >> 7), 0 };
}

Msg noteOn (int note, int velocity = 90)
{
    return { 0x90, note, velocity };
}
Msg noteOff (int note)
{
    return { 0x80, note, 0 };
}
Msg wheel (int value)
{
    return { 0xe0, value & 127, value >> 7 };
}

struct Settings
{
    int key = 2, mode = 1;
    std::array<int32_t, 5> harmony {};
    int channel = 1, velocityLimit = 127, transpose = 0;
    float bendRange = 2.0f;
};

Settings autoTune (int key, int mode, std::array<int32_t, 5> harmony = {})
{
    Settings s;
    s.key = key;
    s.mode = mode;
    s.harmony = harmony;
    return s;
}

struct Stage
{
    std::shared_ptr<PortLog> log = std::make_shared<PortLog>();
    FakeMidiPortSystem* ports = nullptr;
    std::unique_ptr<MIDI_Backend> backend;

    explicit Stage (juce::StringArray devices = {}, juce::StringArray failing = {})
    {
        auto system = std::make_unique<FakeMidiPortSystem> (log, devices, failing);
        ports = system.get();
        backend = std::make_unique<MIDI_Backend> (std::move (system));
    }

    Msgs run (std::vector<TrackerEvent> events, const Settings& s = {})
    {
        juce::MidiBuffer midi;
        backend->processEvents (events.data(), (uint16_t) events.size(), midi, s.key, s.mode, s.harmony.data(),
                                s.channel, s.velocityLimit, s.transpose, s.bendRange);
        Msgs out;
        for (const auto metadata : midi)
        {
            EXPECT_EQ (metadata.samplePosition, 0);
            const auto* data = metadata.data;
            out.push_back ({ data[0], metadata.numBytes > 1 ? data[1] : -1, metadata.numBytes > 2 ? data[2] : -1 });
        }
        return out;
    }

    Msgs releaseAll (const Settings& s = {}) { return run ({ off (0) }, s); }
};

// ---------------------------------------------------------------------------
struct PairingCase
{
    const char* name;
    std::vector<TrackerEvent> earlier; // a block before, to hold something
    std::vector<TrackerEvent> block;
    Msgs expected;
    Msgs heldAfter; // as the next release shows them
};

TEST (MidiStage, PairsNotesWithinABlockAndReleasesHeldNotes)
{
    const PairingCase cases[] = {
        { "on and off in one block release what was held", { on (50) }, { on (60), off (60) }, { noteOff (50) }, {} },
        { "on, off, on keeps only the last", {}, { on (60), off (60), on (60) }, { noteOn (60) }, { noteOff (60) } },
        { "off then on", { on (50) }, { off (55), on (60) }, { noteOff (50), noteOn (60) }, { noteOff (60) } },
        { "off with nothing held", {}, { off (60) }, {}, {} },
        { "a pair for another note does not pair", {}, { on (60), off (61) }, { noteOn (60), noteOff (60) }, {} },
        { "repeated note-ons each get a note-off",
          {},
          { on (60), on (60) },
          { noteOn (60), noteOn (60) },
          { noteOff (60), noteOff (60) } },
        { "bends pass between", { on (50) }, { bend (9000), off (50) }, { wheel (9000), noteOff (50) }, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Stage stage;
        stage.run (c.earlier);
        EXPECT_EQ (stage.run (c.block), c.expected);
        EXPECT_EQ (stage.releaseAll(), c.heldAfter);
    }
}

TEST (MidiStage, KeepsTheLastNoteAndVelocityForTheEditor)
{
    Stage stage;
    stage.run ({ off (55), on (60, 77) });
    EXPECT_EQ (stage.backend->lastNoteNumber.load(), 60);
    EXPECT_EQ (stage.backend->lastVelocity.load(), 77);

    stage.run ({ on (64, 80), off (64) }); // turned into a release
    EXPECT_EQ (stage.backend->lastNoteNumber.load(), 60);
    EXPECT_EQ (stage.backend->lastVelocity.load(), 0);

    stage.run ({ on (61, 70) }, autoTune (2, 2)); // snapped up to D
    EXPECT_EQ (stage.backend->lastNoteNumber.load(), 62);
}

TEST (MidiStage, ReleasesHarmonyNotesToo)
{
    Stage stage;
    const auto cMajor = autoTune (2, 2, { 3, 5, 0, 0, 0 });
    EXPECT_EQ (stage.run ({ on (60, 99) }, cMajor), (Msgs { noteOn (60, 99), noteOn (64, 99), noteOn (67, 99) }));
    // Changing key, mode or harmony releases nothing; the next note-off does.
    EXPECT_EQ (stage.run ({}, autoTune (5, 7)), Msgs {});
    EXPECT_EQ (stage.run ({ off (60) }), (Msgs { noteOff (60), noteOff (64), noteOff (67) }));
}

// ---------------------------------------------------------------------------
struct TransformCase
{
    const char* name;
    Settings settings;
    TrackerEvent in;
    Msgs expected;
};

Settings with (int transpose, int velocityLimit, float bendRange)
{
    Settings s;
    s.key = 1;
    s.transpose = transpose;
    s.velocityLimit = velocityLimit;
    s.bendRange = bendRange;
    return s;
}

TEST (MidiStage, TransposesLimitsVelocityAndScalesBends)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const TransformCase cases[] = {
        { "+36 on 93 wraps to 1", with (36, 127, 2), on (93), { noteOn (1) } },
        { "+36 on 92 wraps to 0", with (36, 127, 2), on (92), { noteOn (0) } },
        { "-36 on 38", with (-36, 127, 2), on (38), { noteOn (2) } },
        { "-36 on 30 wraps to the top", with (-36, 127, 2), on (30), { noteOn (122) } },
        { "limit 100 lowers 110", with (0, 100, 2), on (60, 110), { noteOn (60, 100) } },
        { "limit 100 keeps 100", with (0, 100, 2), on (60, 100), { noteOn (60, 100) } },
        { "limit 0 sends velocity 0", with (0, 0, 2), on (60, 110), { noteOn (60, 0) } },
        { "range 1 halves bend 0", with (0, 127, 1), bend (0), { wheel (4096) } },
        { "range 1 halves the top bend", with (0, 127, 1), bend (16383), { wheel (12287) } },
        { "range 1 keeps the centre", with (0, 127, 1), bend (8192), { wheel (8192) } },
        { "range 2 passes bends", with (0, 127, 2), bend (12345), { wheel (12345) } },
        { "range 0 centres every bend", with (0, 127, 0), bend (100), { wheel (8192) } },
        { "range beyond 2 stays a valid bend", with (0, 127, 7), bend (16383), { wheel (16383) } },
        { "a range that is not a number centres", with (0, 127, nan), bend (100), { wheel (8192) } },
        { "transpose leaves bends alone", with (12, 127, 2), bend (100), { wheel (100) } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Stage stage;
        EXPECT_EQ (stage.run ({ c.in }, c.settings), c.expected);
    }
}

TEST (MidiStage, AZeroVelocityNoteIsNeitherHeldNorShown)
{
    Stage stage;
    stage.run ({ on (50, 60) }, with (0, 127, 2));
    stage.run ({ on (60, 110) }, with (0, 0, 2));
    EXPECT_EQ (stage.backend->lastNoteNumber.load(), 50);
    EXPECT_EQ (stage.backend->lastVelocity.load(), 60);
    EXPECT_EQ (stage.releaseAll(), Msgs { noteOff (50) });
}

TEST (MidiStage, SkipsRecordsItCannotRead)
{
    Stage stage;
    std::vector<TrackerEvent> events = { on (60), on (62) };
    events[0].length = 0;
    events[1].status = 0x12; // no status byte
    EXPECT_EQ (stage.run (events), Msgs {});
    EXPECT_EQ (stage.run ({ on (64) }), Msgs { noteOn (64) });
}

// ---------------------------------------------------------------------------
// Each of the twelve pitch classes of one octave through the stage, as the
// set of pitch classes that come out.
std::set<int> scaleOf (int key, int mode)
{
    Stage stage;
    std::set<int> classes;
    for (int note = 60; note < 72; ++note)
    {
        const auto out = stage.run ({ on (note) }, autoTune (key, mode));
        EXPECT_EQ (out.size(), 1u);
        const auto moved = out.at (0)[1] - note;
        EXPECT_TRUE (moved == 0 || moved == 1) << "note " << note << " moved by " << moved;
        classes.insert (out.at (0)[1] % 12);
        stage.releaseAll (autoTune (key, mode));
    }
    return classes;
}

std::set<int> pitchClasses (const char* names)
{
    std::set<int> classes;
    for (const auto& name : juce::StringArray::fromTokens (names, " ", ""))
        classes.insert (MIDI_Backend::noteNameToPitchClass (name));
    return classes;
}

TEST (AutoTune, SnapsOntoEachModeOnCAndOnAnotherKey)
{
    const struct
    {
        int key, mode;
        const char* notes;
    } cases[] = {
        { 2, 1, "C C# D D# E F F# G G# A A# B" },
        { 2, 2, "C D E F G A B" },
        { 2, 3, "C D D# F G A A#" },
        { 2, 4, "C C# D# F G G# A#" },
        { 2, 5, "C D E F# G A B" },
        { 2, 6, "C D E F G A A#" },
        { 2, 7, "C D D# F G G# A#" },
        { 2, 8, "C C# D# F F# G# A#" },
        { 4, 1, "C C# D D# E F F# G G# A A# B" },
        { 4, 2, "D E F# G A B C#" },
        { 11, 7, "A B C D E F G" },
        { 13, 8, "B C D E F G A" },
        { 9, 6, "G A B C D E F" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << "key " << c.key << " mode " << c.mode);
        EXPECT_EQ (scaleOf (c.key, c.mode), pitchClasses (c.notes));
    }
}

TEST (AutoTune, SnapsUpAndCountsHarmonyInScaleSteps)
{
    const struct
    {
        const char* name;
        Settings settings;
        int note;
        std::vector<int> expected;
    } cases[] = {
        { "C major: C# to D", autoTune (2, 2), 61, { 62 } },
        { "C major: F# to G", autoTune (2, 2), 66, { 67 } },
        { "C major: E stays", autoTune (2, 2), 64, { 64 } },
        { "C minor: B to the C above", autoTune (2, 7), 71, { 72 } },
        { "C major 3 and 5 on C", autoTune (2, 2, { 3, 5, 0, 0, 0 }), 60, { 60, 64, 67 } },
        { "C major 3 on E", autoTune (2, 2, { 3, 0, 0, 0, 0 }), 64, { 64, 67 } },
        { "C major 8 on E", autoTune (2, 2, { 0, 0, 8, 0, 0 }), 64, { 64, 76 } },
        { "a snapped note's harmony counts from its new place", autoTune (2, 2, { 2, 0, 0, 0, 0 }), 61, { 62, 64 } },
        { "chromatic h adds h - 1 semitones", autoTune (2, 1, { 1, 2, 5, 13, 0 }), 60, { 60, 60, 61, 64, 72 } },
        { "the defaults change nothing", autoTune (2, 1), 61, { 61 } },
        { "auto-tune off: no snap, no harmony", autoTune (1, 2, { 3, 5, 0, 0, 0 }), 61, { 61 } },
        { "-3 is a third below", autoTune (2, 2, { -3, 0, 0, 0, 0 }), 60, { 60, 57 } },
        { "-2 and -8 below C", autoTune (2, 2, { -2, -8, 0, 0, 0 }), 60, { 60, 59, 48 } },
        { "-1 is the note itself", autoTune (2, 2, { -1, 0, 0, 0, 0 }), 64, { 64, 64 } },
        { "-3 on F in C major is D", autoTune (2, 2, { -3, 0, 0, 0, 0 }), 65, { 65, 62 } },
        { "harmony above the top wraps", autoTune (2, 1, { 13, 0, 0, 0, 0 }), 120, { 120, 4 } },
        { "the widest harmony", autoTune (2, 2, { 36, -36, 0, 0, 0 }), 60, { 60, 120, 0 } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Stage stage;
        Msgs expected;
        for (auto n : c.expected)
            expected.push_back (noteOn (n, 90));
        EXPECT_EQ (stage.run ({ on (c.note, 90) }, c.settings), expected);
    }
}

TEST (AutoTune, BuildsTheScaleBeforeTheFirstRecordOfEachBlock)
{
    // The first block builds, even with no records in it.
    {
        Stage stage;
        stage.run ({}, autoTune (2, 7));
        EXPECT_EQ (stage.run ({ on (71) }, autoTune (2, 7)), Msgs { noteOn (72) });
    }
    // A change of mode takes effect in the first block after it.
    {
        Stage stage;
        EXPECT_EQ (stage.run ({ on (66) }, autoTune (2, 1)), Msgs { noteOn (66) });
        stage.releaseAll();
        EXPECT_EQ (stage.run ({ on (66) }, autoTune (2, 2)), Msgs { noteOn (67) });
    }
}

TEST (AutoTune, OutOfRangeKeysTurnItOffAndOutOfRangeModesKeepTheLastScale)
{
    for (int key : { 0, -1, 14, 100 })
    {
        SCOPED_TRACE (key);
        Stage stage;
        EXPECT_EQ (stage.run ({ on (61) }, autoTune (key, 2, { 3, 0, 0, 0, 0 })), Msgs { noteOn (61) });
        // Back in range, the scale is built for the key now given.
        stage.releaseAll();
        EXPECT_EQ (stage.run ({ on (61) }, autoTune (4, 2)), Msgs { noteOn (61) }); // C# is on D major
        stage.releaseAll();
        EXPECT_EQ (stage.run ({ on (60) }, autoTune (4, 2)), Msgs { noteOn (61) });
    }

    Stage stage;
    stage.run ({}, autoTune (2, 7)); // C minor
    for (int mode : { 0, 9, 100 })
    {
        SCOPED_TRACE (mode);
        EXPECT_EQ (stage.run ({ on (71) }, autoTune (4, mode)), Msgs { noteOn (72) });
        stage.releaseAll (autoTune (4, mode));
    }

    // Never built: C major stands in.
    Stage fresh;
    EXPECT_EQ (fresh.run ({ on (61) }, autoTune (2, 0)), Msgs { noteOn (62) });
}

TEST (AutoTune, NamesPitchClassesAsMidiNoteNamesDo)
{
    for (int note = 0; note < 128; ++note)
    {
        const auto name = juce::MidiMessage::getMidiNoteName (note, true, false, 4);
        EXPECT_EQ (MIDI_Backend::noteNameToPitchClass (name), note % 12) << name;
        EXPECT_EQ (MIDI_Backend::noteNameToPitchClass (name.toLowerCase()), note % 12) << name;
    }
    for (const char* other : { "", "H", "Db", "C##", " C" })
        EXPECT_EQ (MIDI_Backend::noteNameToPitchClass (other), -1) << other;
}

// ---------------------------------------------------------------------------
TEST (ExternalOutput, ListsDevicesAtConstructionAndOpensByPositionNow)
{
    Stage stage ({ "Synth A", "Synth B", "Broken" }, { "Broken" });
    EXPECT_EQ (stage.backend->deviceNames, juce::StringArray ({ "Synth A", "Synth B", "Broken" }));

    stage.backend->setOutputDevice (1);
    EXPECT_EQ (stage.log->opened.back(), "id-Synth B");
    EXPECT_EQ (stage.log->openPorts.load(), 1);

    // The position counts the devices present at the call; the list stays as taken.
    stage.ports->deviceNames = { "Synth B", "Synth C" };
    stage.backend->setOutputDevice (1);
    EXPECT_EQ (stage.log->opened.back(), "id-Synth C");
    EXPECT_EQ (stage.log->openPorts.load(), 1);
    EXPECT_EQ (stage.backend->deviceNames.size(), 3);

    const struct
    {
        const char* name;
        int index;
    } closing[] = { { "-1", -1 }, { "past the end", 2 }, { "failed open", 1 } };
    stage.ports->deviceNames = { "Synth A", "Broken" };
    for (const auto& c : closing)
    {
        SCOPED_TRACE (c.name);
        stage.backend->setOutputDevice (0);
        ASSERT_TRUE (stage.backend->hasOutputDevice());
        stage.backend->setOutputDevice (c.index);
        EXPECT_FALSE (stage.backend->hasOutputDevice());
        EXPECT_EQ (stage.log->openPorts.load(), 0);
    }

    stage.backend->setOutputDevice (0);
    stage.backend.reset(); // an output still open is closed with the stage
    EXPECT_EQ (stage.log->openPorts.load(), 0);
}

TEST (ExternalOutput, GetsTheSameMessagesOnTheChosenChannel)
{
    const struct
    {
        int channel, statusNibble;
    } cases[] = { { 5, 4 }, { 1, 0 }, { 16, 15 }, { 0, 0 }, { -3, 0 }, { 17, 15 }, { 100, 15 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.channel);
        Stage stage ({ "Out" });
        stage.backend->setOutputDevice (0);
        auto s = autoTune (2, 2, { 3, 0, 0, 0, 0 });
        s.channel = c.channel;

        Msgs host = stage.run ({ on (60), bend (9000) }, s);
        const auto released = stage.run ({ off (60) }, s);
        host.insert (host.end(), released.begin(), released.end());
        ASSERT_EQ (host, (Msgs { noteOn (60), noteOn (64), wheel (9000), noteOff (60), noteOff (64) }));

        ASSERT_EQ (stage.log->sent.size(), host.size());
        for (std::size_t i = 0; i < host.size(); ++i)
        {
            auto expected = host[i];
            expected[0] |= c.statusNibble;
            EXPECT_EQ (stage.log->sent[i].bytes, expected) << "message " << i;
            EXPECT_EQ (stage.log->sent[i].port, "id-Out");
        }
    }
}

TEST (ExternalOutput, NothingIsSentWithNoOutputOrWithoutRecords)
{
    Stage stage ({ "Out" });
    stage.run ({ on (60) });
    stage.backend->setOutputDevice (0);
    stage.run ({});
    EXPECT_TRUE (stage.log->sent.empty());
    // The note held from before the port opened is released through it.
    stage.releaseAll();
    ASSERT_EQ (stage.log->sent.size(), 1u);
    EXPECT_EQ (stage.log->sent[0].bytes, noteOff (60));
}

TEST (ExternalOutput, TheSystemPortsListWithoutASequencer)
{
    // No MIDI system on this machine must still give a working stage.
    MIDI_Backend backend;
    backend.setOutputDevice (0);
    backend.setOutputDevice (backend.deviceNames.size());
    EXPECT_FALSE (backend.hasOutputDevice());
    juce::MidiBuffer midi;
    TrackerEvent events[] = { on (60) };
    const int32_t harmony[5] = {};
    backend.processEvents (events, 1, midi, 1, 1, harmony, 1, 127, 0, 2.0f);
    EXPECT_EQ (midi.getNumEvents(), 1);
}
} // namespace
} // namespace kalto
