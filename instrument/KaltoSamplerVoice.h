#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace kalto
{

// Plays a KaltoSamplerSound at a note's pitch, with linear interpolation,
// velocity as gain, linear attack and release, and a fixed two-semitone
// pitch wheel when enabled.
class KaltoSamplerVoice final : public juce::SynthesiserVoice
{
public:
    explicit KaltoSamplerVoice (bool pitchBendEnabled);

    bool canPlaySound (juce::SynthesiserSound* sound) override;
    void startNote (int midiNoteNumber, float velocity, juce::SynthesiserSound* sound,
                    int currentPitchWheelPosition) override;
    void stopNote (float velocity, bool allowTailOff) override;
    void pitchWheelMoved (int newPitchWheelValue) override;
    void controllerMoved (int controllerNumber, int newControllerValue) override;
    void renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples) override;
    using juce::SynthesiserVoice::renderNextBlock;

private:
    double pitchRatio = 0.0;
    double pitchRatioUp = 0.0;
    double pitchRatioDown = 0.0;
    double centrePitchRatio = 0.0;
    double sourceSamplePosition = 0.0;
    float leftGain = 0.0f;
    float rightGain = 0.0f;
    float envelopeLevel = 0.0f;
    float attackDelta = 0.0f;
    float releaseDelta = 0.0f;
    bool inAttack = false;
    bool inRelease = false;
    const bool pitchBendEnabled;

    JUCE_LEAK_DETECTOR (KaltoSamplerVoice)
};

} // namespace kalto
