#include "tools/kalto-host/OutputFile.h"

#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/OptionReaders.h"

#include <sys/stat.h>

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
// Whether something other than a file is there: a device such as /dev/null,
// or a FIFO.
bool isSpecialFile (const juce::File& file)
{
    struct stat info
    {};
    return stat (file.getFullPathName().toRawUTF8(), &info) == 0 && ! S_ISREG (info.st_mode)
           && ! S_ISDIR (info.st_mode);
}

// A stream that replaces a file of the name. A device or a FIFO is written
// into as it is: deleting it would remove the device and leave a file in its
// place.
std::unique_ptr<juce::FileOutputStream> replacingStream (const juce::File& file)
{
    if (! isSpecialFile (file))
        file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (file);
    return stream->openedOk() ? std::move (stream) : nullptr;
}

// Whether all that was written reached the file. The flush syncs it to the
// disk, which a device or a FIFO refuses whatever it took: what they make of
// the bytes is their reader's.
bool flushedWhole (juce::FileOutputStream& stream)
{
    stream.flush();
    return ! stream.getStatus().failed() || isSpecialFile (stream.getFile());
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

std::unique_ptr<WavOutput> WavOutput::create (const juce::File& file, double rate, int channels)
{
    auto stream = replacingStream (file);
    if (stream == nullptr)
        return nullptr;

    // A file holds one channel at least, from a plug-in without outputs too.
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), rate, (unsigned int) juce::jmax (1, channels), floatSampleBits, {}, 0));
    if (writer == nullptr)
        return nullptr;
    return std::unique_ptr<WavOutput> (new WavOutput (std::move (writer), *stream.release()));
}

WavOutput::WavOutput (std::unique_ptr<juce::AudioFormatWriter> w, juce::FileOutputStream& s)
    : writer (std::move (w)), stream (s)
{
}

WavOutput::~WavOutput() = default;

void WavOutput::write (const juce::AudioBuffer<float>& buffer, int numSamples)
{
    written = writer->writeFromAudioSampleBuffer (buffer, 0, numSamples) && written;
}

bool WavOutput::finish()
{
    // The header goes in with the flush, the writer's buffered samples too.
    // What the file refused shows in the stream; a header that cannot be
    // rewritten in place (into /dev/null or a FIFO) is not counted.
    (void) writer->flush();
    written = flushedWhole (stream) && written;
    writer.reset();
    return written;
}

bool writeMidiFile (const juce::File& file, const juce::MidiMessageSequence& events, double rate)
{
    const auto out = replacingStream (file);
    return out != nullptr && midiFileOf (events, rate).writeTo (*out, midiFileType) && flushedWhole (*out);
}

bool writePngFile (const juce::File& file, const juce::Image& image)
{
    const auto out = replacingStream (file);
    juce::PNGImageFormat png;
    return out != nullptr && png.writeImageToStream (image, *out) && flushedWhole (*out);
}
} // namespace kalto::host
