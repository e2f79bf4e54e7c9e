#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>

#include "editor/kalto_lookandfeel.h"
#include "engine/MIDI_Backend.h"
#include "engine/PitchTracker.h"
#include "instrument/InternalSynth.h"
#include "processor/Parameters.h"
#include "processor/RetiringPointer.h"

// Threads: processBlock runs on the audio thread; prepareToPlay on the thread
// that switches the plug-in on, or on the audio thread at the first process
// call; presets and the editor on the message thread. The tracker is replaced
// through a RetiringPointer, so the editor's reads (through tracker.read())
// never meet a freed one; the peak level is one atomic.
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
    void processBlockBypassed (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlockBypassed;

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

    // Copies the five tracker settings from the parameters, after choosing the
    // instrument named by "synthSound" again.
    void updateTrackerSettings();

    void loadPreset();
    void savePreset();
    bool isPresetModified() const;

    // The peak since the last call, which starts the next one from 0.
    float takePeakLevel() { return peakLevel.exchange (0.0f); }

    kalto::MIDI_Backend& getMidiBackend() { return static_cast<kalto::MIDI_Backend&> (*midiBackend); }

    juce::String versionText;
    std::atomic<float> peakLevel { 0.0f };
    std::unique_ptr<kalto::MIDI_Interface> midiBackend;
    kalto::RetiringPointer<kalto::PitchTracker> tracker { nullptr };

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

    std::unique_ptr<kalto::InternalSynth> instrument;
    std::unique_ptr<juce::String> currentPresetName;
    std::unique_ptr<kalto::TrackerEvent[]> eventBuffer;
    uint16_t eventBufferCapacity = 0;
    // Shared by every processor alive: the framework has one default look and
    // feel, and it must outlive every open editor, not just this plug-in's.
    std::shared_ptr<kalto_lookandfeel> lookAndFeel;
    std::unique_ptr<juce::XmlElement> presetXml;

private:
    // The attribute a parameter reads in a preset document; empty when it has none.
    static juce::String presetAttribute (const juce::XmlElement& document, int index, const juce::String& paramID);
    void raisePeakLevel (float magnitude);
    // Hands records to the MIDI stage with the settings the parameters hold now.
    void sendToMidiStage (kalto::TrackerEvent* events, int count, juce::MidiBuffer& midi);
    // Note-offs for every note the MIDI stage holds, into the block's MIDI.
    void releaseHeldNotes (juce::MidiBuffer& midi);
    static BusesProperties monoBuses();
    void createParameters();
    juce::AudioParameterFloat* addFloatParameter (int index);
    juce::AudioParameterInt* addIntParameter (int index);
    juce::AudioParameterBool* addBoolParameter (int index);

    // The mono input of a block, sized in prepareToPlay so blocks up to the
    // prepared size need no allocation.
    juce::AudioBuffer<float> workBuffer;

    // A new tracker knows nothing of the notes the MIDI stage still holds, so
    // the first block after prepareToPlay releases them.
    std::atomic<bool> notesToRelease { false };
    // Whether the last block was bypassed; the audio thread's own.
    bool bypassed = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KaltoAudioProcessor)
};
