#pragma once

// The files kalto-host writes: a screenshot, a render's audio and its MIDI.
// Each writer replaces the file of its name, or writes into a device; the
// check comes first, so that a directory there is refused rather than deleted.

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_graphics/juce_graphics.h>

#include <memory>

namespace kalto::host
{
// exitOk when the file a path on the command line names can be written;
// otherwise the failure, explained on stderr as "cannot write WHAT: PATH: why".
// A directory, a FIFO or a socket there is refused, never deleted.
int checkOutputFile (const juce::String& path, const juce::String& what);

// Whether two paths on the command line name one file, through a link too;
// never for a device, which takes any number of writers.
bool namesOneFile (const juce::String& a, const juce::String& b);

// 32-bit float samples written into a new WAV file, which remembers whether
// every one of them reached the file.
class WavOutput
{
public:
    // Nothing when the file cannot be made.
    static std::unique_ptr<WavOutput> create (const juce::File& file, double rate, int channels);
    ~WavOutput();

    void write (const juce::AudioBuffer<float>& buffer, int numSamples);
    // Completes the file; whether everything written reached it.
    bool finish();

private:
    WavOutput (std::unique_ptr<juce::AudioFormatWriter> writer, juce::FileOutputStream& stream);

    std::unique_ptr<juce::AudioFormatWriter> writer;
    juce::FileOutputStream& stream; // the writer's
    bool written = true;
};

// Writes the events as a Standard MIDI File whose ticks are samples, when the
// rate allows it; false when the file cannot be written.
bool writeMidiFile (const juce::File& file, const juce::MidiMessageSequence& events, double rate);

// Writes the image as a PNG file; false when it cannot.
bool writePngFile (const juce::File& file, const juce::Image& image);
} // namespace kalto::host
