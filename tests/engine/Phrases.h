#pragma once

// The rendered instrument phrases (see scripts/render-phrases) as the tests read them.

#include <juce_audio_formats/juce_audio_formats.h>

#include <vector>

namespace kalto
{

// Every rendered phrase, sorted by name.
inline juce::Array<juce::File> phraseFiles()
{
    auto wavs = juce::File (KALTO_PHRASE_DIR).findChildFiles (juce::File::findFiles, false, "*.wav");
    wavs.sort();
    return wavs;
}

// The first channel of a WAV file; empty when it cannot be read.
inline std::vector<float> readMono (const juce::File& wav, double& rate)
{
    juce::WavAudioFormat format;
    std::unique_ptr<juce::AudioFormatReader> reader (format.createReaderFor (wav.createInputStream().release(), true));
    if (reader == nullptr)
        return {};
    rate = reader->sampleRate;
    juce::AudioBuffer<float> audio (1, (int) reader->lengthInSamples);
    reader->read (&audio, 0, audio.getNumSamples(), 0, true, false);
    const auto* data = audio.getReadPointer (0);
    return { data, data + audio.getNumSamples() };
}

} // namespace kalto
