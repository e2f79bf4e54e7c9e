#include "instrument/KaltoSamplerVoice.h"

#include "instrument/KaltoSamplerSound.h"

#include <cmath>

namespace kalto
{
namespace
{
// Equal temperament: twelve semitones to the octave, which doubles the speed.
constexpr double octaveRatio = 2.0;
constexpr double semitonesPerOctave = 12.0;
// The pitch wheel's fixed reach either way.
constexpr int bendSemitones = 2;
// The wheel's resting value, half of its 14-bit range.
constexpr int pitchWheelCentre = 8192;
// A mono output takes the mean of left and right.
constexpr float monoMixGain = 0.5f;
} // namespace

KaltoSamplerVoice::KaltoSamplerVoice (bool bendEnabled) : pitchBendEnabled (bendEnabled) {}

bool KaltoSamplerVoice::canPlaySound (juce::SynthesiserSound* sound)
{
    return dynamic_cast<const KaltoSamplerSound*> (sound) != nullptr;
}

void KaltoSamplerVoice::startNote (int midiNoteNumber, float velocity, juce::SynthesiserSound* s, int)
{
    const auto* sound = dynamic_cast<const KaltoSamplerSound*> (s);
    if (sound == nullptr)
        return;

    // Without data or a playback rate there is nothing to play: free the voice
    // rather than read a missing recording.
    const auto rate = getSampleRate();
    if (sound->getAudioData() == nullptr || ! (std::isfinite (rate) && rate > 0.0))
    {
        clearCurrentNote();
        return;
    }

    const auto ratio = [&] (int semitones) {
        return std::pow (octaveRatio, (midiNoteNumber + semitones - sound->getMidiRootNote()) / semitonesPerOctave)
               * sound->getSourceSampleRate() / rate;
    };
    pitchRatioDown = ratio (-bendSemitones);
    pitchRatioUp = ratio (bendSemitones);
    pitchRatio = centrePitchRatio = ratio (0);

    sourceSamplePosition = 0.0;
    leftGain = rightGain = velocity;

    inAttack = sound->getAttackSamples() > 0;
    inRelease = false;
    if (inAttack)
    {
        envelopeLevel = 0.0f;
        attackDelta = (float) (pitchRatio / sound->getAttackSamples());
    }
    else
    {
        envelopeLevel = 1.0f;
        attackDelta = 0.0f;
    }
    releaseDelta = sound->getReleaseSamples() > 0 ? (float) (-pitchRatio / sound->getReleaseSamples()) : -1.0f;
}

void KaltoSamplerVoice::stopNote (float, bool allowTailOff)
{
    if (allowTailOff)
    {
        inAttack = false;
        inRelease = true;
    }
    else
    {
        clearCurrentNote();
    }
}

void KaltoSamplerVoice::pitchWheelMoved (int newPitchWheelValue)
{
    if (! pitchBendEnabled)
        return;

    const auto x = (newPitchWheelValue - pitchWheelCentre) / (double) pitchWheelCentre;
    if (x > 0.0)
        pitchRatio = centrePitchRatio + x * (pitchRatioUp - centrePitchRatio);
    else
        pitchRatio = centrePitchRatio + x * (centrePitchRatio - pitchRatioDown);
}

void KaltoSamplerVoice::controllerMoved (int, int) {}

void KaltoSamplerVoice::renderNextBlock (juce::AudioBuffer<float>& outputBuffer, int startSample, int numSamples)
{
    const auto* sound = dynamic_cast<const KaltoSamplerSound*> (getCurrentlyPlayingSound().get());
    if (sound == nullptr)
        return;
    const auto* recording = sound->getAudioData();
    if (recording == nullptr)
    {
        clearCurrentNote();
        return;
    }

    const auto& data = *recording;
    const float* inL = data.getReadPointer (0);
    const float* inR = data.getNumChannels() > 1 ? data.getReadPointer (1) : nullptr;
    float* outL = outputBuffer.getWritePointer (0, startSample);
    float* outR = outputBuffer.getNumChannels() > 1 ? outputBuffer.getWritePointer (1, startSample) : nullptr;

    for (int i = 0; i < numSamples; ++i)
    {
        const auto pos = (int) sourceSamplePosition;
        const auto alpha = (float) (sourceSamplePosition - pos);
        const auto invAlpha = 1.0f - alpha;

        auto l = inL[pos] * invAlpha + inL[pos + 1] * alpha;
        auto r = inR != nullptr ? inR[pos] * invAlpha + inR[pos + 1] * alpha : l;

        l *= leftGain;
        r *= rightGain;

        if (inAttack)
        {
            l *= envelopeLevel;
            r *= envelopeLevel;
            envelopeLevel += attackDelta;
            if (envelopeLevel >= 1.0f)
            {
                envelopeLevel = 1.0f;
                inAttack = false;
            }
        }
        else if (inRelease)
        {
            const auto level = envelopeLevel;
            envelopeLevel += releaseDelta;
            if (envelopeLevel <= 0.0f)
            {
                stopNote (0.0f, false);
                break;
            }
            l *= level;
            r *= level;
        }

        if (outR != nullptr)
        {
            outL[i] += l;
            outR[i] += r;
        }
        else
        {
            outL[i] += (l + r) * monoMixGain;
        }

        sourceSamplePosition += pitchRatio;
        if (sourceSamplePosition > sound->getLength())
        {
            stopNote (0.0f, false);
            break;
        }
    }
}

} // namespace kalto
