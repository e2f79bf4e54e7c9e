#include "engine/MIDI_Backend.h"

#include <cmath>
#include <thread>

namespace kalto
{

namespace
{
constexpr int32_t pitchClassC = 0;

// JUCE's float velocities run from 0 to 1.
constexpr float fullVelocity = (float) midi::maxDataValue;

// A record's bend spans recordBendSemitones, so a range of R semitones scales
// it by R times this.
constexpr float bendScalePerSemitone = 1.0f / recordBendSemitones;

// How far a wheel value can lie below and above the centre.
constexpr float lowestBend = (float) -midi::pitchWheelCentre;
constexpr float highestBend = (float) (midi::pitchWheelMax - midi::pitchWheelCentre);
} // namespace

MIDI_Backend::MIDI_Backend() : MIDI_Backend (std::make_unique<JuceMidiPortSystem>()) {}

MIDI_Backend::MIDI_Backend (std::unique_ptr<MidiPortSystem> ports) : portSystem (std::move (ports))
{
    heldNotes.ensureSize (heldNotesReserve);
    heldNotes.clear();

    // C major until the first build, so a first block that never builds (an
    // out-of-range mode) still snaps onto a real scale.
    buildScale (pitchClassC, autoTune::firstDiatonicMode);

    if (portSystem != nullptr)
        for (const auto& device : portSystem->getAvailableDevices())
            deviceNames.add (device.name);
}

MIDI_Backend::~MIDI_Backend()
{
    // An output left open would otherwise stay open with nobody to close it.
    setOutputDevice (-1);
}

void MIDI_Backend::setOutputDevice (int index)
{
    std::unique_ptr<MidiPort> next;

    // Close first, so a device cannot be opened twice at once.
    if (auto* old = externalOutput.exchange (nullptr))
    {
        // A block that loaded the old output before the exchange may still be
        // sending through it. If one is under way, wait for it to leave; the
        // audio thread never waits on us.
        const auto generation = sendGeneration.load();
        if ((generation & 1u) != 0)
            while (sendGeneration.load() == generation)
                std::this_thread::yield();
        delete old;
    }

    if (index >= 0 && portSystem != nullptr)
    {
        const auto devices = portSystem->getAvailableDevices();
        if (index < devices.size())
            next = portSystem->openDevice (devices.getReference (index).identifier);
    }

    externalOutput.store (next.release());
}

void MIDI_Backend::processEvents (TrackerEvent* events, uint16_t count, juce::MidiBuffer& midi, int32_t newKey,
                                  int32_t newMode, const int32_t* newHarmony, int32_t newChannel,
                                  int32_t newVelocityLimit, int32_t newTranspose, float newPitchBendRange)
{
    velocityLimit = newVelocityLimit;
    transpose = newTranspose;
    pitchBendRange = newPitchBendRange;
    midiChannel = newChannel;
    key = newKey;
    mode = newMode;
    for (int i = 0; i < numHarmonyNotes; ++i)
        harmony[i] = newHarmony != nullptr ? newHarmony[i] : 0;

    if (key != scaleKey || mode != scaleMode)
        updateScale();
    scaleMode = mode;
    scaleKey = key;

    if (count == 0 || events == nullptr)
    {
        hostMidi = &midi;
        return;
    }

    // A note the tracker starts and ends within this block is never sent: its
    // note-on becomes a note-off, which releases what is held at that point.
    for (int i = 0; i < count; ++i)
    {
        if (events[i].status != midi::noteOn)
            continue;
        for (int j = i + 1; j < count; ++j)
        {
            if (events[j].status == midi::noteOff && events[j].data1 == events[i].data1)
            {
                events[i].status = midi::noteOff;
                break;
            }
        }
    }

    hostMidi = &midi;

    sendGeneration.fetch_add (1); // odd: this block may send
    blockOutput = externalOutput.load();

    for (int i = 0; i < count; ++i)
    {
        const auto& event = events[i];
        const uint8_t bytes[trackerMessageLength] = { event.status, event.data1, event.data2 };
        processEvent (bytes, event.length);
    }

    blockOutput = nullptr;
    sendGeneration.fetch_add (1); // even: done with the output
}

void MIDI_Backend::processEvent (const uint8_t* bytes, int size)
{
    // Every record the tracker writes is three bytes; anything else is not a
    // record we can read without running past it.
    if (size != trackerMessageLength || (bytes[0] & midi::statusBit) == 0)
        return;

    juce::MidiMessage message (bytes, size, 0.0);

    if ((bytes[0] & midi::typeMask) == midi::noteOff)
    {
        releaseHeldNotes();
        lastVelocity.store (0, std::memory_order_relaxed);
        return;
    }

    applyTranspose (message);
    applyVelocityLimit (message);
    applyPitchBendRange (message);

    if (! autoTuneOn())
    {
        if (message.isNoteOn())
        {
            lastNoteNumber.store (message.getNoteNumber(), std::memory_order_relaxed);
            lastVelocity.store (message.getVelocity(), std::memory_order_relaxed);
        }
        outputMessage (message);
        return;
    }

    if (message.isNoteOn (true))
    {
        const auto index = snapToScale (message);
        if (message.getVelocity() > 0)
        {
            lastNoteNumber.store (message.getNoteNumber(), std::memory_order_relaxed);
            lastVelocity.store (message.getVelocity(), std::memory_order_relaxed);
        }
        addHarmony (message, index);
    }
    else
    {
        outputMessage (message);
    }
}

void MIDI_Backend::outputMessage (juce::MidiMessage& message)
{
    if (message.isNoteOn())
        heldNotes.addEvent (message, 0);

    if (hostMidi != nullptr)
        hostMidi->addEvent (message, 0);

    if (blockOutput != nullptr)
    {
        auto copy = message;
        // The channel parameter allows 0..100; the status byte only has 1..16.
        copy.setChannel (juce::jlimit (midi::firstChannel, midi::lastChannel, midiChannel));
        blockOutput->sendMessageNow (copy);
    }
}

void MIDI_Backend::releaseHeldNotes()
{
    for (const auto metadata : heldNotes)
    {
        const auto held = metadata.getMessage();
        auto off = juce::MidiMessage::noteOff (held.getChannel(), held.getNoteNumber(), (juce::uint8) 0);
        outputMessage (off);
    }
    heldNotes.clear();
}

void MIDI_Backend::applyTranspose (juce::MidiMessage& message)
{
    if (message.isNoteOn())
        message.setNoteNumber (message.getNoteNumber() + transpose);
}

void MIDI_Backend::applyVelocityLimit (juce::MidiMessage& message)
{
    if (message.isNoteOn() && message.getVelocity() > velocityLimit)
        message.setVelocity ((float) juce::jlimit (0, midi::maxDataValue, velocityLimit) / fullVelocity);
}

void MIDI_Backend::applyPitchBendRange (juce::MidiMessage& message)
{
    if (! message.isPitchWheel())
        return;

    const auto value = message.getPitchWheelValue();
    auto scaled = (pitchBendRange * bendScalePerSemitone) * (float) (value - midi::pitchWheelCentre);
    // A range beyond 0..2 (or not a number) must still give a valid wheel value.
    if (std::isnan (scaled))
        scaled = 0.0f;
    scaled = juce::jlimit (lowestBend, highestBend, scaled);
    message = juce::MidiMessage::pitchWheel (message.getChannel(), (int) scaled + midi::pitchWheelCentre);
}

void MIDI_Backend::updateScale()
{
    // A tonic outside C..B would give pitch classes outside 0..11; such a key
    // turns auto-tune off instead.
    if (! autoTuneOn())
        return;

    buildScale (autoTune::tonicPitchClass (key), mode);
}

void MIDI_Backend::buildScale (int32_t tonic, int32_t newMode)
{
    if (newMode == autoTune::chromaticMode)
    {
        scaleLength = autoTune::numPitchClasses;
        for (int j = 0; j < autoTune::numPitchClasses; ++j)
        {
            scaleNotes[j] = (tonic + j) % autoTune::numPitchClasses;
            scaleSteps[j] = 1;
        }
    }
    else if (newMode >= autoTune::firstDiatonicMode && newMode <= autoTune::lastMode)
    {
        scaleLength = autoTune::diatonicDegrees;
        for (int j = 0; j < autoTune::diatonicDegrees; ++j)
            scaleSteps[j] = majorSteps[(newMode - autoTune::firstDiatonicMode + j) % autoTune::diatonicDegrees];
        scaleNotes[0] = tonic;
        for (int j = 0; j < autoTune::diatonicDegrees - 1; ++j)
            scaleNotes[j + 1] = (scaleNotes[j] + scaleSteps[j]) % autoTune::numPitchClasses;
    }
}

int32_t MIDI_Backend::noteNameToPitchClass (const juce::String& name)
{
    for (int32_t i = 0; i < autoTune::numPitchClasses; ++i)
        if (name.equalsIgnoreCase (autoTune::pitchClassName (i)))
            return i;
    return -1;
}

int32_t MIDI_Backend::snapToScale (juce::MidiMessage& message)
{
    // The pitch class of a note number, as its sharp name without octave would
    // give it, without building a string on the audio thread.
    const auto note = message.getNoteNumber();
    const auto pitchClass = note % autoTune::numPitchClasses;

    int32_t above = -1, lowest = -1;
    for (int32_t j = 0; j < scaleLength; ++j)
    {
        if (scaleNotes[j] == pitchClass)
            return j;
        if (scaleNotes[j] > pitchClass && (above < 0 || scaleNotes[j] < scaleNotes[above]))
            above = j;
        if (lowest < 0 || scaleNotes[j] < scaleNotes[lowest])
            lowest = j;
    }

    if (above >= 0)
    {
        message.setNoteNumber (note + scaleNotes[above] - pitchClass);
        return above;
    }
    // Above every scale note: the lowest one in the next octave.
    message.setNoteNumber (note + scaleNotes[lowest] - pitchClass + autoTune::numPitchClasses);
    return lowest;
}

int MIDI_Backend::harmonyOffset (int32_t scaleIndex, int32_t h) const
{
    // h counts scale degrees, the note itself being 1: h steps up from the
    // note for h > 0, and the same count down for h < 0 (-3 a third below).
    int offset = 0;
    if (h > 0)
    {
        for (int k = 0; k <= h - 2; ++k)
            offset += scaleSteps[(scaleIndex + k) % scaleLength];
    }
    else
    {
        for (int k = 0; k <= -h - 2; ++k)
        {
            const auto below = ((scaleIndex - 1 - k) % scaleLength + scaleLength) % scaleLength;
            offset -= scaleSteps[below];
        }
    }
    return offset;
}

void MIDI_Backend::addHarmony (juce::MidiMessage& message, int32_t scaleIndex)
{
    outputMessage (message);

    for (const auto h : harmony)
    {
        if (h == 0)
            continue;
        const auto note = (message.getNoteNumber() + harmonyOffset (scaleIndex, h)) & midi::maxDataValue;
        auto added =
            juce::MidiMessage::noteOn (message.getChannel(), note, (float) message.getVelocity() / fullVelocity);
        outputMessage (added);
    }
}

} // namespace kalto
