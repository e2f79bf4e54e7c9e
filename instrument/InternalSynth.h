#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <array>
#include <atomic>
#include <memory>

namespace kalto
{

// The instrument index, as the "synthSound" parameter holds it.
enum InstrumentIndex
{
    noSound = 0,
    cello = 1,
    piano = 2,
    saxophone = 3,
    drums = 4,
    rawGuitar = 5
};

// The plug-in's own sound source: a sampler of embedded recordings and a
// reverb per instrument.
//
// Threads: setSound runs on the message thread (or in prepareToPlay, possibly
// at the same time); render runs on the audio thread and never waits for a
// load. setSampleRate runs in prepareToPlay, which no render overlaps: the
// host switches the plug-in on between process calls. The synthesiser guards
// its voice and sound lists itself. The mute flag is atomic, and new reverb
// settings are handed over through atomics and applied by render itself, so
// the reverb is only ever touched by one thread at a time.
//
// What render leaves in the buffer is always finite: a block that came out
// otherwise (the reverb's sums overflowed) is silenced, and the reverb starts
// again from silence.
class InternalSynth
{
public:
    InternalSynth();
    ~InternalSynth();

    void setSound (int index);
    void setSampleRate (double sampleRate);
    void render (juce::AudioBuffer<float>& buffer, const juce::MidiBuffer& midi, int startSample, int numSamples);

    bool isMuted() const { return muted.load(); }
    juce::Reverb::Parameters getReverbParameters() const;
    int getNumSounds() const { return synth->getNumSounds(); }
    int getNumVoices() const { return synth->getNumVoices(); }
    // How many choices setSound has been given, and the last one: lets a
    // caller see that a choice reached the instrument, not just what it loaded.
    int getSoundRequestCount() const { return soundRequests.load(); }
    int getRequestedSound() const { return requestedSound.load(); }

private:
    void loadSound (int index);
    void loadCello();
    void loadPiano();
    void loadSaxophone();
    void loadDrums();
    struct Recording
    {
        const char* data;
        size_t size;
        int firstNote, lastNote, rootNote;
    };
    static constexpr size_t recordingsPerInstrument = 4;
    void addSamples (const std::array<Recording, recordingsPerInstrument>& recordings);
    // An instrument's reverb; room size and freeze keep the framework's defaults.
    struct ReverbSetting
    {
        float damping, wetLevel, dryLevel, width;
    };
    static const ReverbSetting celloReverb, pianoReverb, saxophoneReverb, drumsReverb;
    void setReverb (const ReverbSetting& setting);
    void addSample (const void* data, size_t size, const juce::BigInteger& notes, int rootNote, double attackSeconds,
                    double releaseSeconds, double maxLengthSeconds);

    std::atomic<bool> muted { false };
    std::atomic<int> requestedSound { noSound };
    std::atomic<int> soundRequests { 0 };
    std::atomic<bool> loadingSound { false };
    juce::SynthesiserSound::Ptr lastSound;
    juce::AudioFormatManager formatManager;
    std::unique_ptr<juce::Synthesiser> synth;
    std::unique_ptr<juce::Reverb> reverb;

    // Reverb settings waiting for render to apply them: the framework's
    // defaults until the first instrument loads.
    std::atomic<float> pendingDamping { juce::Reverb::Parameters().damping };
    std::atomic<float> pendingWet { juce::Reverb::Parameters().wetLevel };
    std::atomic<float> pendingDry { juce::Reverb::Parameters().dryLevel };
    std::atomic<float> pendingWidth { juce::Reverb::Parameters().width };
    std::atomic<uint32_t> reverbGeneration { 0 };
    uint32_t appliedReverbGeneration = 0;

    JUCE_DECLARE_NON_COPYABLE (InternalSynth)
};

} // namespace kalto
