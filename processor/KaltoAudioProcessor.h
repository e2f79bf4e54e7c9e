#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>

#include "processor/Parameters.h"

class KaltoAudioProcessor : public juce::AudioProcessor
{
public:
    KaltoAudioProcessor();
    ~KaltoAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int) override;
    const juce::String getProgramName (int) override;
    void changeProgramName (int, const juce::String&) override;

    void getStateInformation (juce::MemoryBlock&) override;
    void setStateInformation (const void*, int) override;
    void setCurrentProgramStateInformation (const void*, int) override;

    const juce::String getInputChannelName (int index) const override;
    const juce::String getOutputChannelName (int index) const override;
    bool isInputChannelStereoPair (int) const override;
    bool isOutputChannelStereoPair (int) const override;
    bool silenceInProducesSilenceOut() const override;

    juce::String versionText;
    std::atomic<float> peakLevel { 0.0f };

    juce::AudioParameterFloat* confidenceParam = nullptr;
    juce::AudioParameterFloat* gainParam = nullptr;
    juce::AudioParameterBool* bendsParam = nullptr;
    juce::AudioParameterBool* legatoParam = nullptr;
    juce::AudioParameterBool* convFilterParam = nullptr;
    juce::AudioParameterBool* channel1Param = nullptr;
    juce::AudioParameterBool* channel2Param = nullptr;
    juce::AudioParameterBool* guitarParam = nullptr;
    juce::AudioParameterBool* bassParam = nullptr;
    juce::AudioParameterBool* wetParam = nullptr;
    juce::AudioParameterBool* onParam = nullptr;
    juce::AudioParameterInt* gainIntParam = nullptr;
    juce::AudioParameterInt* filterParam = nullptr;
    juce::AudioParameterInt* compParam = nullptr;
    juce::AudioParameterInt* keyParam = nullptr;
    juce::AudioParameterInt* modeParam = nullptr;
    std::array<juce::AudioParameterInt*, kalto::numChordParameters> chordParams {};
    juce::AudioParameterInt* portParam = nullptr;
    juce::AudioParameterFloat* pitchBendRangeParam = nullptr;
    juce::AudioParameterInt* velocityLimitParam = nullptr;
    juce::AudioParameterInt* transposeParam = nullptr;
    juce::AudioParameterInt* synthSoundParam = nullptr;

private:
    static BusesProperties monoBuses();
    void createParameters();
    juce::AudioParameterFloat* addFloatParameter (int index);
    juce::AudioParameterInt* addIntParameter (int index);
    juce::AudioParameterBool* addBoolParameter (int index);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KaltoAudioProcessor)
};
