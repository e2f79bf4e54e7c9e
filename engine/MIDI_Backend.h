#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include "engine/AutoTuneKeys.h"
#include "engine/MidiPort.h"
#include "engine/MidiStatus.h"
#include "engine/TrackerEvent.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace kalto
{

// The MIDI stage: turns one block of tracker records into the finished MIDI.
class MIDI_Interface
{
public:
    virtual ~MIDI_Interface() = default;

    // processEvents reads this many harmony values, one per added note.
    static constexpr int numHarmonyNotes = 5;

    virtual void processEvents (TrackerEvent* events, uint16_t count, juce::MidiBuffer& hostMidi, int32_t key,
                                int32_t mode, const int32_t* harmony, int32_t midiChannel, int32_t velocityLimit,
                                int32_t transpose, float pitchBendRange) = 0;

    // Names of the external outputs, taken once when the stage is made.
    juce::StringArray deviceNames;
};

// Threads: processEvents runs on the audio thread and sends to the external
// output from there; setOutputDevice runs on the message thread. The output is
// swapped atomically and the old one is deleted on the message thread only
// after any block that may still be sending through it has finished, so the
// audio thread neither waits nor frees. lastNoteNumber and lastVelocity are
// written by the audio thread and read by the editor.
class MIDI_Backend final : public MIDI_Interface
{
public:
    MIDI_Backend();
    explicit MIDI_Backend (std::unique_ptr<MidiPortSystem> ports);
    ~MIDI_Backend() override;

    void processEvents (TrackerEvent* events, uint16_t count, juce::MidiBuffer& hostMidi, int32_t key, int32_t mode,
                        const int32_t* harmony, int32_t midiChannel, int32_t velocityLimit, int32_t transpose,
                        float pitchBendRange) override;

    // Closes the open output and opens the index-th output present now; a
    // negative index, an index past the end or a failed open leaves none.
    void setOutputDevice (int index);
    bool hasOutputDevice() const { return externalOutput.load() != nullptr; }

    static int32_t noteNameToPitchClass (const juce::String& name);

    std::atomic<int32_t> lastNoteNumber { 0 };
    std::atomic<int32_t> lastVelocity { 0 };

private:
    // Room for the first held notes, so that holding them allocates nothing
    // on the audio thread.
    static constexpr int heldNotesReserve = 128;

    void processEvent (const uint8_t* bytes, int size);
    void outputMessage (juce::MidiMessage& message);
    void releaseHeldNotes();
    void applyTranspose (juce::MidiMessage& message);
    void applyVelocityLimit (juce::MidiMessage& message);
    void applyPitchBendRange (juce::MidiMessage& message);

    void updateScale();
    void buildScale (int32_t tonic, int32_t newMode);
    int32_t snapToScale (juce::MidiMessage& message);
    void addHarmony (juce::MidiMessage& message, int32_t scaleIndex);
    int harmonyOffset (int32_t scaleIndex, int32_t h) const;
    bool autoTuneOn() const { return autoTune::isTonicKey (key); }

    int32_t velocityLimit = midi::maxDataValue;
    int32_t transpose = 0;
    float pitchBendRange = recordBendSemitones;
    int32_t midiChannel = midi::firstChannel;
    int32_t key = autoTune::firstTonicKey;
    int32_t mode = autoTune::chromaticMode;
    int32_t harmony[numHarmonyNotes] = { 0, 0, 0, 0, 0 };
    int32_t scaleKey = 0;
    int32_t scaleMode = 0;
    juce::MidiBuffer* hostMidi = nullptr;
    juce::MidiBuffer heldNotes;
    std::atomic<MidiPort*> externalOutput { nullptr };
    const int32_t majorSteps[autoTune::diatonicDegrees] = { 2, 2, 1, 2, 2, 2, 1 };
    // C major until the first build (see the constructor).
    int32_t scaleNotes[autoTune::numPitchClasses] {};
    int32_t scaleSteps[autoTune::numPitchClasses] {};
    int32_t scaleLength = autoTune::diatonicDegrees;

    std::unique_ptr<MidiPortSystem> portSystem;
    // Odd while processEvents may be sending; bumped on entry and on exit.
    std::atomic<uint64_t> sendGeneration { 0 };
    MidiPort* blockOutput = nullptr; // the output seen by the block under way

    JUCE_DECLARE_NON_COPYABLE (MIDI_Backend)
};

} // namespace kalto
