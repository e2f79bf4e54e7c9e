// The processor's fixed answers, as the framework's client reads them.

#include <gtest/gtest.h>

#include "processor/KaltoAudioProcessor.h"
#include "tests/processor/ProcessorProbe.h"

namespace
{
JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
TEST (Identity, FixedAnswers)
{
    KaltoAudioProcessor p;
    EXPECT_EQ (p.getName(), "Kalto_Vyn");
    EXPECT_EQ (p.getVersionText(), "Vyn Rel. 1.0.3");
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_TRUE (p.producesMidi());
    EXPECT_FALSE (p.supportsMPE());
    EXPECT_FALSE (p.supportsDoublePrecisionProcessing());
    EXPECT_FALSE (p.silenceInProducesSilenceOut());
    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (0), "");
    EXPECT_EQ (p.getLatencySamples(), 0);
    EXPECT_EQ (p.getInputChannelName (0), "1");
    EXPECT_EQ (p.getOutputChannelName (1), "2");
    EXPECT_TRUE (p.isInputChannelStereoPair (0));
    EXPECT_TRUE (p.isOutputChannelStereoPair (1));
    EXPECT_EQ (KaltoAudioProcessorProbe::peakLevel (p).load(), 0.0f);
    EXPECT_TRUE (p.hasEditor());
}
JUCE_END_IGNORE_WARNINGS_GCC_LIKE

TEST (Identity, StartsStereoAndAcceptsMonoOrStereo)
{
    KaltoAudioProcessor p;
    EXPECT_EQ (p.getMainBusNumInputChannels(), 2);
    EXPECT_EQ (p.getMainBusNumOutputChannels(), 2);

    const auto mono = juce::AudioChannelSet::mono();
    const auto stereo = juce::AudioChannelSet::stereo();
    for (const auto& [in, out, ok] : std::vector<std::tuple<juce::AudioChannelSet, juce::AudioChannelSet, bool>> {
             { mono, mono, true },
             { stereo, stereo, true },
             { mono, stereo, true },
             { juce::AudioChannelSet::create5point1(), stereo, false },
             { juce::AudioChannelSet::disabled(), stereo, false } })
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (in);
        layout.outputBuses.add (out);
        EXPECT_EQ (p.checkBusesLayoutSupported (layout), ok) << in.getDescription() << " -> " << out.getDescription();
    }
}

TEST (Identity, StateIsEmptyAndRestoringChangesNothing)
{
    KaltoAudioProcessor p;
    juce::MemoryBlock state ("junk", 4);
    p.getStateInformation (state);
    EXPECT_EQ (state.getSize(), 4u); // nothing written into it

    juce::MemoryBlock fresh;
    p.getStateInformation (fresh);
    EXPECT_EQ (fresh.getSize(), 0u);
    p.getCurrentProgramStateInformation (fresh);
    EXPECT_EQ (fresh.getSize(), 0u);

    *p.intParameter (kalto::transposeIndex) = 5;
    const char chunk[] = "<KALTO_SETTINGS transpose=\"0\"/>";
    p.setStateInformation (chunk, (int) sizeof (chunk));
    p.setCurrentProgramStateInformation (chunk, (int) sizeof (chunk));
    p.setCurrentProgram (0);
    p.changeProgramName (0, "x");
    EXPECT_EQ (p.intParameter (kalto::transposeIndex)->get(), 5);
    EXPECT_EQ (p.getProgramName (0), "");
}

TEST (Identity, BypassPassesInputAndNoMidi)
{
    KaltoAudioProcessor p;
    p.prepareToPlay (44100.0, 64);
    juce::AudioBuffer<float> buffer (2, 64);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 64; ++i)
            buffer.setSample (ch, i, 0.01f * (float) (i + ch));
    juce::AudioBuffer<float> original (buffer);
    juce::MidiBuffer midi;

    p.processBlockBypassed (buffer, midi);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 64; ++i)
            EXPECT_EQ (buffer.getSample (ch, i), original.getSample (ch, i));
    EXPECT_TRUE (midi.isEmpty());
}
} // namespace
