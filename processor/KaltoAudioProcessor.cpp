#include "processor/KaltoAudioProcessor.h"

#include "editor/KaltoAudioProcessorEditor.h"

namespace
{
juce::String channelName (int index)
{
    return juce::String (index + 1);
}

juce::String parameterIdentifier (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    if (index >= kalto::chord0Index)
        return juce::String (row.identifier) + juce::String (index - kalto::chord0Index);
    return row.identifier;
}

juce::String parameterName (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    if (index >= kalto::chord0Index)
        return juce::String (row.name) + juce::String (index - kalto::chord0Index);
    return row.name;
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

KaltoAudioProcessor::KaltoAudioProcessor()
    : juce::AudioProcessor (monoBuses())
{
    BusesLayout stereo;
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    setBusesLayout (stereo);

    versionText = "Vyn Rel. 1.0.3";
    createParameters();
    peakLevel = 0.0f;
}

KaltoAudioProcessor::~KaltoAudioProcessor() = default;

juce::AudioParameterFloat* KaltoAudioProcessor::addFloatParameter (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    jassert (row.kind == kalto::ParameterKind::Float);
    // A plain linear range: the framework's short constructor would add a 0.01 step.
    auto* p = new juce::AudioParameterFloat (parameterIdentifier (index), parameterName (index),
                                             juce::NormalisableRange<float> (row.minimum, row.maximum),
                                             row.defaultValue);
    addParameter (p);
    return p;
}

juce::AudioParameterInt* KaltoAudioProcessor::addIntParameter (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    jassert (row.kind == kalto::ParameterKind::Int);
    auto* p = new juce::AudioParameterInt (parameterIdentifier (index), parameterName (index),
                                           (int) row.minimum, (int) row.maximum, (int) row.defaultValue);
    addParameter (p);
    return p;
}

juce::AudioParameterBool* KaltoAudioProcessor::addBoolParameter (int index)
{
    const auto& row = kalto::parameterTable[(size_t) index];
    jassert (row.kind == kalto::ParameterKind::Bool);
    auto* p = new juce::AudioParameterBool (parameterIdentifier (index), parameterName (index),
                                            row.defaultValue >= 0.5f);
    addParameter (p);
    return p;
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

const juce::String KaltoAudioProcessor::getName() const { return "Kalto_Vyn"; }

void KaltoAudioProcessor::prepareToPlay (double, int) {}

void KaltoAudioProcessor::releaseResources() {}

bool KaltoAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    auto acceptable = [] (const juce::AudioChannelSet& set)
    {
        return set == juce::AudioChannelSet::mono() || set == juce::AudioChannelSet::stereo();
    };
    return layouts.inputBuses.size() == 1 && layouts.outputBuses.size() == 1
        && acceptable (layouts.getMainInputChannelSet())
        && acceptable (layouts.getMainOutputChannelSet());
}

void KaltoAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    // Until the conversion engine is wired in, the plug-in is silent and sends nothing.
    buffer.clear();
    midiMessages.clear();
}

double KaltoAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool KaltoAudioProcessor::acceptsMidi() const { return false; }
bool KaltoAudioProcessor::producesMidi() const { return true; }

juce::AudioProcessorEditor* KaltoAudioProcessor::createEditor() { return new KaltoAudioProcessorEditor (*this); }
bool KaltoAudioProcessor::hasEditor() const { return true; }

int KaltoAudioProcessor::getNumPrograms() { return 1; }
int KaltoAudioProcessor::getCurrentProgram() { return 0; }
void KaltoAudioProcessor::setCurrentProgram (int) {}
const juce::String KaltoAudioProcessor::getProgramName (int) { return {}; }
void KaltoAudioProcessor::changeProgramName (int, const juce::String&) {}

// Settings live in preset files only; a host project stores nothing of the plug-in.
void KaltoAudioProcessor::getStateInformation (juce::MemoryBlock&) {}
void KaltoAudioProcessor::setStateInformation (const void*, int) {}
void KaltoAudioProcessor::setCurrentProgramStateInformation (const void*, int) {}

const juce::String KaltoAudioProcessor::getInputChannelName (int index) const { return channelName (index); }
const juce::String KaltoAudioProcessor::getOutputChannelName (int index) const { return channelName (index); }
bool KaltoAudioProcessor::isInputChannelStereoPair (int) const { return true; }
bool KaltoAudioProcessor::isOutputChannelStereoPair (int) const { return true; }
bool KaltoAudioProcessor::silenceInProducesSilenceOut() const { return false; }

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new KaltoAudioProcessor();
}
