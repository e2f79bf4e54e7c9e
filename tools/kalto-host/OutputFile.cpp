#include "tools/kalto-host/OutputFile.h"

#include "tools/kalto-host/Failure.h"
#include "tools/kalto-host/OptionReaders.h"

#include <sys/stat.h>

#include <cmath>
#include <numeric>
#include <optional>

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

// What is at the path already; none when nothing is.
std::optional<mode_t> typeAt (const juce::File& file)
{
    struct stat info
    {};
    if (stat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return std::nullopt;
    return info.st_mode & S_IFMT;
}

// A device such as /dev/null or a terminal, which is written into as it is:
// deleting it would remove the device and leave a file in its place.
bool isDevice (const juce::File& file)
{
    const auto type = typeAt (file);
    return type && (*type == S_IFCHR || *type == S_IFBLK);
}

// A stream that replaces a file of the name, or writes into a device. The
// device's stream is unbuffered, so that every write that fails shows in its
// status at once.
std::unique_ptr<juce::FileOutputStream> replacingStream (const juce::File& file)
{
    const bool device = isDevice (file);
    if (! device)
        file.deleteFile();
    auto stream = device ? std::make_unique<juce::FileOutputStream> (file, 0)
                         : std::make_unique<juce::FileOutputStream> (file);
    return stream->openedOk() ? std::move (stream) : nullptr;
}

// Whether all that was written reached the file. A file's flush syncs it to
// the disk, which tells; a device refuses the sync whatever it took, so for
// one only its writes count, and this comes before anything flushes it.
bool writtenWhole (juce::FileOutputStream& stream)
{
    if (! isDevice (stream.getFile()))
        stream.flush();
    return ! stream.getStatus().failed();
}

// Why the path cannot be written, or empty when it can. A directory there
// is refused: the framework would delete an empty one to make room for the
// file. A FIFO or a socket is refused too: the framework's stream cannot
// write into one.
juce::String outputFileProblem (const juce::String& path)
{
    if (path.endsWithChar ('/'))
        return "it names a directory";
    const auto file = commandLineFile (path);
    if (file.isDirectory())
        return "it is a directory";
    if (const auto type = typeAt (file); type && *type != S_IFREG && ! isDevice (file))
        return "it is neither a file nor a device";
    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory() || ! folder.hasWriteAccess())
        return "its folder is missing or cannot be written";
    return {};
}
} // namespace

int checkOutputFile (const juce::String& path, const juce::String& what)
{
    const auto problem = outputFileProblem (path);
    if (problem.isNotEmpty())
        return fail (exitWriteFailed, "cannot write " + what + ": " + path + ": " + problem);
    return exitOk;
}

bool namesOneFile (const juce::String& a, const juce::String& b)
{
    const auto first = commandLineFile (a), second = commandLineFile (b);
    if (isDevice (first) || isDevice (second))
        return false;
    if (first == second)
        return true;
    struct stat one
    {
    }, other {};
    return stat (first.getFullPathName().toRawUTF8(), &one) == 0
           && stat (second.getFullPathName().toRawUTF8(), &other) == 0 && one.st_dev == other.st_dev
           && one.st_ino == other.st_ino;
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
    // The header goes in with the writer's flush, its buffered samples too;
    // what the file refused shows in the stream. That flush asks a device to
    // sync as well, so a device's writes are counted before it, and a header
    // it cannot take again in place is not counted.
    const bool device = isDevice (stream.getFile());
    if (device)
        written = writtenWhole (stream) && written;
    (void) writer->flush();
    if (! device)
        written = writtenWhole (stream) && written;
    writer.reset();
    return written;
}

bool writeMidiFile (const juce::File& file, const juce::MidiMessageSequence& events, double rate)
{
    // The MIDI file's writer checks each write, and flushes when it is done.
    const auto out = replacingStream (file);
    return out != nullptr && midiFileOf (events, rate).writeTo (*out, midiFileType)
           && (isDevice (file) || writtenWhole (*out));
}

bool writePngFile (const juce::File& file, const juce::Image& image)
{
    const auto out = replacingStream (file);
    juce::PNGImageFormat png;
    // The PNG writer does not look at its writes' results; the stream's status does.
    return out != nullptr && png.writeImageToStream (image, *out) && writtenWhole (*out);
}
} // namespace kalto::host
