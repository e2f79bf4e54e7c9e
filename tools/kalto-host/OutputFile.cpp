#include "tools/kalto-host/OutputFile.h"

#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/OptionReaders.h"

#include <cmath>
#include <numeric>

namespace kalto::host
{
namespace
{
// JUCE's WAV writer stores 32-bit samples as floats: the plug-in's output as
// it came, neither rounded nor clipped.
constexpr int floatSampleBits = 32;

constexpr long long microsPerSecond = 1000000;
// A MIDI file's header holds its ticks per quarter note in 15 bits.
constexpr long long maxTicksPerQuarter = 32767;
// Ticks of a millisecond instead: 500 to a quarter note of half a second, 120 beats per minute.
constexpr long long millisecondTicksPerQuarter = 500;
constexpr long long millisecondMicrosPerQuarter = 500000;
constexpr double millisecondsPerSecond = 1000.0;
// Type 1, as sequencers write it; it holds the one track.
constexpr int midiFileType = 1;

// How a MIDI file's ticks count time.
struct TickRate
{
    long long ticksPerQuarter = 0, microsPerQuarter = 0;
    double ticksPerSample = 1.0;
};

// A tick per sample when a quarter note can be a whole number of both ticks
// and microseconds; otherwise a tick per millisecond.
TickRate tickRateFor (double rate)
{
    const auto integerRate = (long long) rate;
    const long long divisor = std::gcd (integerRate > 0 ? integerRate : 1LL, microsPerSecond);
    TickRate ticks { integerRate / divisor, microsPerSecond / divisor, 1.0 };

    if ((double) integerRate != rate || ticks.ticksPerQuarter < 1 || ticks.ticksPerQuarter > maxTicksPerQuarter)
        ticks = { millisecondTicksPerQuarter, millisecondMicrosPerQuarter, millisecondsPerSecond / rate };
    return ticks;
}

// One track of the events, their times in samples turned into ticks, after the tempo.
juce::MidiFile midiFileOf (const juce::MidiMessageSequence& events, double rate)
{
    const auto ticks = tickRateFor (rate);
    juce::MidiMessageSequence track;
    track.addEvent (juce::MidiMessage::tempoMetaEvent ((int) ticks.microsPerQuarter), 0.0);
    for (const auto* holder : events)
    {
        auto message = holder->message;
        message.setTimeStamp (std::round (message.getTimeStamp() * ticks.ticksPerSample));
        track.addEvent (message);
    }
    track.updateMatchedPairs();

    juce::MidiFile file;
    file.setTicksPerQuarterNote ((int) ticks.ticksPerQuarter);
    file.addTrack (track);
    return file;
}
} // namespace

juce::String outputFileProblem (const juce::File& file)
{
    if (file.isDirectory())
        return "it is a directory";
    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory() || ! folder.hasWriteAccess())
        return "its folder is missing or cannot be written";
    return {};
}

int checkOutputFile (const juce::String& path, const juce::String& what)
{
    const auto problem = outputFileProblem (commandLineFile (path));
    if (problem.isNotEmpty())
        return fail (exitWriteFailed, "cannot write " + what + ": " + path + ": " + problem);
    return exitOk;
}

std::unique_ptr<juce::AudioFormatWriter> createWavWriter (const juce::File& file, double rate, int channels)
{
    file.deleteFile();
    std::unique_ptr<juce::OutputStream> stream (file.createOutputStream());
    if (stream == nullptr)
        return nullptr;

    // A file holds one channel at least, from a plug-in without outputs too.
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), rate, (unsigned int) juce::jmax (1, channels), floatSampleBits, {}, 0));
    if (writer != nullptr)
        stream.release(); // the writer owns it now
    return writer;
}

bool writeMidiFile (const juce::File& file, const juce::MidiMessageSequence& events, double rate)
{
    file.deleteFile();
    juce::FileOutputStream out (file);
    if (! out.openedOk())
        return false;
    midiFileOf (events, rate).writeTo (out, midiFileType);
    out.flush();
    return ! out.getStatus().failed();
}

bool writePngFile (const juce::File& file, const juce::Image& image)
{
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat png;
    if (! out.openedOk() || ! png.writeImageToStream (image, out))
        return false;
    out.flush();
    return ! out.getStatus().failed();
}
} // namespace kalto::host
