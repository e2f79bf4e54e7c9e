#include "instrument/KaltoSamplerSound.h"

namespace kalto
{
namespace
{
// Frames decoded past the end of the part in use, so interpolation may read
// one frame beyond the last played one; the reader gives silence past its end.
constexpr int32_t guardFrames = 4;
// A voice plays left and right; further channels are not decoded.
constexpr unsigned int maxChannels = 2;
} // namespace

KaltoSamplerSound::KaltoSamplerSound (const juce::String& soundName, juce::AudioFormatReader& source,
                                      const juce::BigInteger& notes, int midiNoteForNormalPitch, double attackTimeSecs,
                                      double releaseTimeSecs, double maxSampleLengthSeconds)
    : name (soundName), sourceSampleRate (source.sampleRate), midiNotes (notes), midiRootNote (midiNoteForNormalPitch)
{
    if (sourceSampleRate <= 0.0 || source.lengthInSamples <= 0)
        return;

    const auto cap = (juce::int64) (maxSampleLengthSeconds * sourceSampleRate);
    length = (int32_t) juce::jlimit ((juce::int64) 0, (juce::int64) std::numeric_limits<int32_t>::max() - guardFrames,
                                     juce::jmin (source.lengthInSamples, cap));
    if (length <= 0)
    {
        length = 0;
        return;
    }

    data = std::make_unique<juce::AudioBuffer<float>> ((int) juce::jmin (source.numChannels, maxChannels),
                                                       length + guardFrames);
    source.read (data.get(), 0, length + guardFrames, 0, true, true);

    attackSamples = juce::roundToInt (attackTimeSecs * sourceSampleRate);
    releaseSamples = juce::roundToInt (releaseTimeSecs * sourceSampleRate);
}

bool KaltoSamplerSound::appliesToNote (int midiNoteNumber)
{
    return midiNotes[midiNoteNumber];
}

bool KaltoSamplerSound::appliesToChannel (int)
{
    return true;
}

} // namespace kalto
