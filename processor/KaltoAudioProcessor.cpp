#include "processor/KaltoAudioProcessor.h"

#include "editor/KaltoAudioProcessorEditor.h"
#include "editor/kalto_lookandfeel.h"
#include "processor/PresetDocument.h"
#include "processor/PresetFolder.h"
#include "processor/PresetRoot.h"

#include <algorithm>
#include <cmath>

// The harmony parameters are the MIDI stage's harmony notes.
static_assert (kalto::numChordParameters == kalto::MIDI_Interface::numHarmonyNotes);

namespace
{
// The loudest input taken, 60 dB over full scale: far above any signal a
// host passes on, and far below what would overflow the reverb's sums.
constexpr float loudestInput = 1000.0f;

juce::String channelName (int index)
{
    return juce::String (index + 1);
}
} // namespace

// Mono buses first; the constructor then asks for stereo on both, the larger
// of the two channel configurations the plug-in offers.
juce::AudioProcessor::BusesProperties KaltoAudioProcessor::monoBuses()
{
    return BusesProperties()
        .withInput ("Input", juce::AudioChannelSet::mono(), true)
        .withOutput ("Output", juce::AudioChannelSet::mono(), true);
}

KaltoAudioProcessor::KaltoAudioProcessor() : juce::AudioProcessor (monoBuses())
{
    BusesLayout stereo;
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    setBusesLayout (stereo);

    // The marker makes the preset folder exist before any preset is written.
    kalto::createPresetMarker();

    versionText = "Vyn Rel. 1.0.3";
    midiBackend = std::make_unique<kalto::MIDI_Backend>();
    tracker.replace (std::make_unique<kalto::PitchTracker> (44100));
    createParameters();
    peakLevel = 0.0f;
    instrument = std::make_unique<kalto::InternalSynth>();
    currentPresetName = std::make_unique<juce::String> (kalto::defaultPresetName);
    loadPreset();
    lookAndFeel = kalto_lookandfeel::acquireShared();
    instrument->setSound (synthSoundParam->get());
}

KaltoAudioProcessor::~KaltoAudioProcessor()
{
    lookAndFeel.reset();
}

juce::AudioParameterFloat* KaltoAudioProcessor::addFloatParameter (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    jassert (row.kind == kalto::ParameterKind::Float);
    // A plain linear range: the framework's short constructor would add a 0.01 step.
    auto* p = new juce::AudioParameterFloat (kalto::parameterIdentifier (index), kalto::parameterName (index),
                                             juce::NormalisableRange<float> (row.minimum, row.maximum),
                                             row.defaultValue);
    addParameter (p);
    return p;
}

juce::AudioParameterInt* KaltoAudioProcessor::addIntParameter (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    jassert (row.kind == kalto::ParameterKind::Int);
    auto* p = new juce::AudioParameterInt (kalto::parameterIdentifier (index), kalto::parameterName (index),
                                           (int) row.minimum, (int) row.maximum, (int) row.defaultValue);
    addParameter (p);
    return p;
}

juce::AudioParameterBool* KaltoAudioProcessor::addBoolParameter (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    jassert (row.kind == kalto::ParameterKind::Bool);
    auto* p = new juce::AudioParameterBool (kalto::parameterIdentifier (index), kalto::parameterName (index),
                                            row.defaultValue >= 0.5f);
    addParameter (p);
    return p;
}

namespace
{
// The parameter at a host index, checked against the kind the table gives it.
template <typename Parameter>
Parameter* parameterOfKind (const juce::Array<juce::AudioProcessorParameter*>& parameters, int index,
                            [[maybe_unused]] kalto::ParameterKind kind)
{
    jassert (index >= 0 && index < parameters.size() && kalto::parameterTable[(size_t) index].kind == kind);
    return static_cast<Parameter*> (parameters[index]);
}
} // namespace

juce::AudioParameterFloat* KaltoAudioProcessor::floatParameter (int index) const
{
    return parameterOfKind<juce::AudioParameterFloat> (getParameters(), index, kalto::ParameterKind::Float);
}

juce::AudioParameterInt* KaltoAudioProcessor::intParameter (int index) const
{
    return parameterOfKind<juce::AudioParameterInt> (getParameters(), index, kalto::ParameterKind::Int);
}

juce::AudioParameterBool* KaltoAudioProcessor::boolParameter (int index) const
{
    return parameterOfKind<juce::AudioParameterBool> (getParameters(), index, kalto::ParameterKind::Bool);
}

void KaltoAudioProcessor::createParameters()
{
    using namespace kalto;
    // Strictly in index order: the host numbers parameters by creation.
    confidenceParam = addFloatParameter (confidenceIndex);
    gainParam = addFloatParameter (gainIndex);
    bendsParam = addBoolParameter (bendsIndex);
    legatoParam = addBoolParameter (legatoIndex);
    convFilterParam = addBoolParameter (convFilterIndex);
    channel1Param = addBoolParameter (channel1Index);
    channel2Param = addBoolParameter (channel2Index);
    guitarParam = addBoolParameter (guitarIndex);
    bassParam = addBoolParameter (bassIndex);
    wetParam = addBoolParameter (wetIndex);
    onParam = addBoolParameter (onIndex);
    gainIntParam = addIntParameter (gainIntIndex);
    filterParam = addIntParameter (filterIndex);
    compParam = addIntParameter (compIndex);
    keyParam = addIntParameter (keyIndex);
    modeParam = addIntParameter (modeIndex);
    portParam = addIntParameter (portIndex);
    pitchBendRangeParam = addFloatParameter (pitchBendRangeIndex);
    velocityLimitParam = addIntParameter (velocityLimitIndex);
    transposeParam = addIntParameter (transposeIndex);
    synthSoundParam = addIntParameter (synthSoundIndex);
    for (int i = 0; i < numChordParameters; ++i)
        chordParams[(size_t) i] = addIntParameter (chord0Index + i);
}

const juce::String KaltoAudioProcessor::getName() const
{
    return "Kalto_Vyn";
}

void KaltoAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    // A rate that is not a positive number falls back to the rate the
    // processor starts with; the tracker takes its integer part.
    if (! (std::isfinite (sampleRate) && sampleRate >= 1.0))
        sampleRate = 44100.0;
    tracker.replace (std::make_unique<kalto::PitchTracker> ((int) std::min (sampleRate, 1.0e7)));

    updateTrackerSettings();

    // The capacity is 16 bits wide; the tracker carries any records that do
    // not fit into the next block.
    const auto records = juce::jlimit (0, 65535, maximumExpectedSamplesPerBlock);
    eventBuffer.reset (new kalto::TrackerEvent[(size_t) records]());
    eventBufferCapacity = (uint16_t) records;
    workBuffer.setSize (1, juce::jlimit (0, 1 << 20, maximumExpectedSamplesPerBlock));

    instrument->setSampleRate (sampleRate);
    notesToRelease = true;
}

// Everything stays as it is until the next prepareToPlay.
void KaltoAudioProcessor::releaseResources() {}

void KaltoAudioProcessor::updateTrackerSettings()
{
    instrument->setSound (synthSoundParam->get());

    auto t = tracker.read();
    t->confidence = confidenceParam->get();
    t->gain = gainParam->get();
    t->bends = bendsParam->get();
    t->legato = legatoParam->get();
    t->convFilter = convFilterParam->get();
}

bool KaltoAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    auto acceptable = [] (const juce::AudioChannelSet& set) {
        return set == juce::AudioChannelSet::mono() || set == juce::AudioChannelSet::stereo();
    };
    return layouts.inputBuses.size() == 1 && layouts.outputBuses.size() == 1
           && acceptable (layouts.getMainInputChannelSet()) && acceptable (layouts.getMainOutputChannelSet());
}

void KaltoAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    // Filters and the reverb decaying in silence would otherwise settle among
    // the denormal numbers, each operation on which costs many CPUs dozens of
    // cycles.
    const juce::ScopedNoDenormals noDenormals;
    const auto numSamples = buffer.getNumSamples();
    const auto inputs = juce::jmin (getMainBusNumInputChannels(), buffer.getNumChannels());
    const auto outputs = juce::jmin (getMainBusNumOutputChannels(), buffer.getNumChannels());
    for (int c = inputs; c < outputs; ++c)
        buffer.clear (c, 0, numSamples);

    // A glitching host may deliver NaN or infinity, and an unstable effect
    // before this one values near the float limit on the way there; passed
    // on, one such sample would leave the reverb producing NaN for good.
    for (int c = 0; c < inputs; ++c)
        for (auto *x = buffer.getWritePointer (c), *end = x + numSamples; x != end; ++x)
            *x = std::isfinite (*x) ? std::clamp (*x, -loudestInput, loudestInput) : 0.0f;

    // Within the prepared size this reuses the buffer's memory.
    workBuffer.setSize (1, numSamples, false, false, true);
    const auto source = inputs == 2 && ! channel1Param->get() ? 1 : 0;
    if (source < inputs)
        workBuffer.copyFrom (0, 0, buffer, source, 0, numSamples);
    else
        workBuffer.clear();

    // Held notes end in a block that has samples: a host may drop the
    // events of a block of none, and the notes would then hang.
    bypassed = false;
    if (numSamples > 0 && notesToRelease.exchange (false))
        releaseHeldNotes (midiMessages);

    int eventCount = 0;
    tracker.getUnguarded()->processBlock (workBuffer.getReadPointer (0), numSamples, eventBuffer.get(),
                                          eventBufferCapacity, &eventCount);
    sendToMidiStage (eventBuffer.get(), eventCount, midiMessages);

    raisePeakLevel (workBuffer.getMagnitude (0, 0, numSamples));

    if (wetParam->get())
        for (int c = 0; c < outputs; ++c)
            buffer.copyFrom (c, 0, workBuffer, 0, 0, numSamples);

    if (synthSoundParam->get() != kalto::rawGuitar)
        for (int c = 0; c < outputs; ++c)
            buffer.clear (c, 0, numSamples);

    if (synthSoundParam->get() != kalto::noSound && outputs > 0)
    {
        // The output channels only: with two inputs and one output the
        // instrument mixes down to the one that is heard.
        juce::AudioBuffer<float> output (buffer.getArrayOfWritePointers(), outputs, numSamples);
        instrument->render (output, midiMessages, 0, numSamples);
    }
}

void KaltoAudioProcessor::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    const juce::ScopedNoDenormals noDenormals;
    // Notes sounding when bypass begins would hang through it: they end once,
    // in the host and in the instrument, and bypass otherwise sends no MIDI.
    // A block of no samples leaves that to the first block that has some.
    if (buffer.getNumSamples() == 0)
    {
        juce::AudioProcessor::processBlockBypassed (buffer, midiMessages);
        return;
    }
    const auto release = notesToRelease.exchange (false) || ! bypassed;
    bypassed = true;
    if (release)
    {
        releaseHeldNotes (midiMessages);
        // The instrument is not rendered while bypassed; it takes the
        // note-offs without rendering a sample.
        instrument->render (buffer, midiMessages, 0, 0);
    }
    juce::AudioProcessor::processBlockBypassed (buffer, midiMessages);
}

void KaltoAudioProcessor::sendToMidiStage (kalto::TrackerEvent* events, int count, juce::MidiBuffer& midi)
{
    int32_t harmony[kalto::numChordParameters];
    for (int i = 0; i < kalto::numChordParameters; ++i)
        harmony[i] = chordParams[(size_t) i]->get();

    midiBackend->processEvents (events, (uint16_t) count, midi, keyParam->get(), modeParam->get(), harmony,
                                portParam->get(), velocityLimitParam->get(), transposeParam->get(),
                                pitchBendRangeParam->get());
}

void KaltoAudioProcessor::releaseHeldNotes (juce::MidiBuffer& midi)
{
    // Any note-off record makes the MIDI stage release everything it holds.
    kalto::TrackerEvent noteOff {};
    noteOff.length = kalto::trackerMessageLength;
    noteOff.status = kalto::midi::noteOff;
    sendToMidiStage (&noteOff, 1, midi);
}

void KaltoAudioProcessor::raisePeakLevel (float magnitude)
{
    auto peak = peakLevel.load();
    while (magnitude > peak && ! peakLevel.compare_exchange_weak (peak, magnitude))
    {
    }
}

double KaltoAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}
bool KaltoAudioProcessor::acceptsMidi() const
{
    return false;
}
bool KaltoAudioProcessor::producesMidi() const
{
    return true;
}

juce::AudioProcessorEditor* KaltoAudioProcessor::createEditor()
{
    return new KaltoAudioProcessorEditor (*this);
}
bool KaltoAudioProcessor::hasEditor() const
{
    return true;
}

int KaltoAudioProcessor::getNumPrograms()
{
    return 1;
}
int KaltoAudioProcessor::getCurrentProgram()
{
    return 0;
}
void KaltoAudioProcessor::setCurrentProgram (int) {}
const juce::String KaltoAudioProcessor::getProgramName (int)
{
    return {};
}
void KaltoAudioProcessor::changeProgramName (int, const juce::String&) {}

// Settings live in preset files only; a host project stores nothing of the plug-in.
void KaltoAudioProcessor::getStateInformation (juce::MemoryBlock&) {}
void KaltoAudioProcessor::setStateInformation (const void*, int) {}
void KaltoAudioProcessor::setCurrentProgramStateInformation (const void*, int) {}

const juce::String KaltoAudioProcessor::getInputChannelName (int index) const
{
    return channelName (index);
}
const juce::String KaltoAudioProcessor::getOutputChannelName (int index) const
{
    return channelName (index);
}
bool KaltoAudioProcessor::isInputChannelStereoPair (int) const
{
    return true;
}
bool KaltoAudioProcessor::isOutputChannelStereoPair (int) const
{
    return true;
}
bool KaltoAudioProcessor::silenceInProducesSilenceOut() const
{
    return false;
}

// ---------------------------------------------------------------------------
// Presets

juce::String KaltoAudioProcessor::presetAttribute (const juce::XmlElement& document, int index,
                                                   const juce::String& paramID)
{
    return kalto::presetAttributeName (document, index, paramID);
}

void KaltoAudioProcessor::loadPreset()
{
    // A name that is no plain file name in the preset folder reads nothing;
    // the load still ends as every load does.
    if (! kalto::isSafePresetName (*currentPresetName))
    {
        updateTrackerSettings();
        return;
    }

    // Without a home there is no file, as for one that is missing; the save
    // then writes nothing. Anything else under the name is read, and what
    // is no regular file reads as nothing.
    const auto file = kalto::presetFile (*currentPresetName);
    if (file == juce::File() || ! file.exists())
    {
        savePreset();
        updateTrackerSettings();
        return;
    }

    presetXml = kalto::parsePresetRoot (kalto::readPresetText (file));
    presetUnsaved = false;
    if (presetXml != nullptr && presetXml->getTagName().equalsIgnoreCase (kalto::presetRootTag))
    {
        const auto& parameters = getParameters();
        for (int i = 0; i < parameters.size(); ++i)
            if (auto* p = dynamic_cast<juce::AudioProcessorParameterWithID*> (parameters[i]))
                p->setValueNotifyingHost (
                    kalto::presetValue (*presetXml, presetAttribute (*presetXml, i, p->paramID), p->getValue()));
    }

    updateTrackerSettings();
}

void KaltoAudioProcessor::loadPresetNamed (const juce::String& name)
{
    *currentPresetName = name;
    loadPreset();
}

void KaltoAudioProcessor::savePresetAs (const juce::String& name)
{
    *currentPresetName = name;
    savePreset();
}

void KaltoAudioProcessor::savePreset()
{
    auto document = std::make_unique<juce::XmlElement> (kalto::presetRootTag);
    for (auto* parameter : getParameters())
        if (auto* p = dynamic_cast<juce::AudioProcessorParameterWithID*> (parameter))
            document->setAttribute (p->paramID, kalto::presetNumberText ((double) p->getValue()));

    // A failed write leaves the old file as it was and is not reported. Only
    // a document that reached its file becomes the reference: after a save
    // that wrote nothing (a refused name, no home, no folder, a failed write)
    // the values are in no file, and must not show as saved.
    const auto& name = *currentPresetName;
    presetUnsaved = ! (kalto::isSafePresetName (name) && kalto::createPresetFolder()
                       && kalto::writePresetFile (kalto::presetFile (name), kalto::presetDocumentText (*document)));
    if (! presetUnsaved)
        presetXml = std::move (document);
}

bool KaltoAudioProcessor::isPresetModified() const
{
    if (presetUnsaved)
        return true;
    if (presetXml == nullptr)
        return false;

    const auto& parameters = getParameters();
    for (int i = 0; i < parameters.size(); ++i)
    {
        auto* p = dynamic_cast<juce::AudioProcessorParameterWithID*> (parameters[i]);
        if (p == nullptr)
            continue;
        // Read as a load reads it, so that a load is never followed by a change.
        const auto v = p->getValue();
        const auto s = kalto::presetValue (*presetXml, presetAttribute (*presetXml, i, p->paramID), v);
        if (! (v == s))
            return true;
    }
    return false;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new KaltoAudioProcessor();
}
