#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>

#include "engine/MIDI_Backend.h"
#include "engine/PitchTracker.h"
#include "instrument/InternalSynth.h"
#include "processor/Parameters.h"
#include "processor/RetiringPointer.h"

class kalto_lookandfeel;

// The plug-in. Its public surface is the framework's overrides, the preset
// and tracker-settings operations, and what the editor reads and changes:
// the tracker, the MIDI stage, the instrument, the parameters, the peak
// level, the version text and the current preset.
//
// Threads: processBlock runs on the audio thread; prepareToPlay on the thread
// that switches the plug-in on, or on the audio thread at the first process
// call; presets and the editor on the message thread. The tracker is replaced
// through a RetiringPointer, so the editor's reads (through readTracker())
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

    // The current preset: loaded from, saved to, and compared with the file
    // that the current preset name names. After a save that wrote nothing the
    // preset counts as modified until the next load or written save.
    void loadPreset();
    void savePreset();
    bool isPresetModified() const;
    const juce::String& getCurrentPresetName() const { return *currentPresetName; }
    // The preset browser's step and the save dialog's YES: the name becomes
    // the current one, then the preset is loaded or saved.
    void loadPresetNamed (const juce::String& name);
    void savePresetAs (const juce::String& name);

    // The current tracker, held for the length of one use.
    kalto::RetiringPointer<kalto::PitchTracker>::Reader readTracker() { return tracker.read(); }
    kalto::MIDI_Backend& getMidiBackend() { return static_cast<kalto::MIDI_Backend&> (*midiBackend); }
    kalto::InternalSynth& getInstrument() { return *instrument; }
    const juce::String& getVersionText() const { return versionText; }

    // The peak since the last call, which starts the next one from 0.
    float takePeakLevel() { return peakLevel.exchange (0.0f); }

    // The parameter at a host index (kalto::ParameterIndex), of the kind the
    // parameter table gives it; never null.
    juce::AudioParameterFloat* floatParameter (int index) const;
    juce::AudioParameterInt* intParameter (int index) const;
    juce::AudioParameterBool* boolParameter (int index) const;

private:
    // The tests' view of what the editor never sees.
    friend class KaltoAudioProcessorProbe;

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
    // The last save wrote nothing: the values are in no file, whatever
    // presetXml, the last document read or written, holds.
    bool presetUnsaved = false;

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
