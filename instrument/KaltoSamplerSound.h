#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

namespace kalto
{

// One decoded recording with the notes it serves and its root note. All
// decoding happens in the constructor; playback only reads.
class KaltoSamplerSound final : public juce::SynthesiserSound
{
public:
    // The reader is used only while constructing; the caller keeps it.
    KaltoSamplerSound (const juce::String& name, juce::AudioFormatReader& source, const juce::BigInteger& notes,
                       int midiNoteForNormalPitch, double attackTimeSecs, double releaseTimeSecs,
                       double maxSampleLengthSeconds);

    bool appliesToNote (int midiNoteNumber) override;
    bool appliesToChannel (int midiChannel) override;

    // What a voice needs to play the recording.
    const juce::AudioBuffer<float>* getAudioData() const { return data.get(); } // null when it holds nothing
    double getSourceSampleRate() const { return sourceSampleRate; }
    int32_t getLength() const { return length; } // frames in use; the data holds a few more
    int32_t getAttackSamples() const { return attackSamples; }
    int32_t getReleaseSamples() const { return releaseSamples; }
    int32_t getMidiRootNote() const { return midiRootNote; }

private:
    juce::String name;
    std::unique_ptr<juce::AudioBuffer<float>> data; // null when the recording holds nothing
    double sourceSampleRate = 0.0;
    juce::BigInteger midiNotes;
    int32_t length = 0;
    int32_t attackSamples = 0;
    int32_t releaseSamples = 0;
    int32_t midiRootNote = 0;

    JUCE_LEAK_DETECTOR (KaltoSamplerSound)
};

} // namespace kalto
