#include "tools/SampleChunks.h"

#include "tools/FileView.h"

#include <cctype>
#include <cstring>
#include <limits>

namespace kalto::tools
{
namespace
{
// A chunk's header: its four-letter name and the size of what follows.
constexpr juce::int64 chunkHeaderBytes = 8;
// The first chunk follows the file's header: its name, its size and its form.
constexpr juce::int64 firstChunkStart = chunkHeaderBytes + 4;

// A WAV format's fields, and the least a fmt chunk holds.
constexpr juce::int64 wavFormatBytes = 16;
// RF64's ds64 chunk: the RIFF and data sizes and the frame count, 64 bits
// each, and a table's length.
constexpr juce::int64 ds64Bytes = 28;

// AIFF's COMM chunk: channels, frames, bits and an 80-bit rate.
constexpr juce::int64 aiffFormatBytes = 18;
// Where the frame count lies in it, after the 16-bit channel count.
constexpr juce::int64 aiffFramesOffset = 2;
// An SSND chunk's offset and block size, before its samples.
constexpr juce::int64 ssndHeaderBytes = 8;
// The AIFF reader reads the FORM size as signed.
constexpr juce::int64 maxFormSize = std::numeric_limits<juce::int32>::max();

// One chunk of a RIFF or AIFF file, as its header describes it.
struct Chunk
{
    char id[4] = {};
    juce::int64 start = 0, size = 0;

    bool is (const char* name) const { return std::memcmp (id, name, 4) == 0; }
    juce::int64 body() const { return start + chunkHeaderBytes; }
    juce::int64 end() const { return body() + size; }
    // Where the next chunk starts: both formats pad a chunk of odd size to an even one.
    juce::int64 next() const { return end() + (size & 1); }

    juce::String name() const
    {
        juce::String text;
        for (const auto c : id)
            text += std::isprint ((unsigned char) c) ? c : '?';
        return text;
    }
};

// The header of the chunk at `start`, its size in the file's byte order;
// false when its name is not all there.
bool readChunk (juce::FileInputStream& in, juce::int64 start, bool bigEndian, Chunk& chunk)
{
    in.setPosition (start);
    chunk.start = start;
    const bool named = in.read (chunk.id, 4) == 4;
    chunk.size = (juce::int64) (juce::uint32) (bigEndian ? in.readIntBigEndian() : in.readInt());
    return named;
}

// The file's own header: a chunk holding the others, and the form they take.
struct FileHeader
{
    Chunk chunk;
    char form[4] = {};

    bool isForm (const char* name) const { return std::memcmp (form, name, 4) == 0; }
};

std::optional<FileHeader> readFileHeader (juce::FileInputStream& in, bool bigEndian)
{
    FileHeader header;
    if (! in.openedOk() || ! readChunk (in, 0, bigEndian, header.chunk) || in.read (header.form, 4) != 4)
        return std::nullopt;
    return header;
}

SampleChunks refused (const juce::String& problem)
{
    SampleChunks chunks;
    chunks.problem = problem;
    return chunks;
}

// Why a chunk keeps the reader from what follows it: it runs past the end.
juce::String pastTheEnd (const Chunk& chunk, juce::int64 fileEnd)
{
    juce::String problem;
    if (chunk.end() > fileEnd)
        problem << "its \"" << chunk.name() << "\" chunk claims " << chunk.size << " bytes but only "
                << (fileEnd - chunk.body()) << " follow";
    return problem;
}

// A format chunk whose fields are not all there would be read from the chunk after it.
juce::String tooShort (const Chunk& chunk, juce::int64 least, const char* what)
{
    juce::String problem;
    if (chunk.size < least)
        problem << "its " << chunk.name().trimEnd() << " chunk of " << chunk.size << " bytes is too short for " << what
                << " " << least;
    return problem;
}

// A RIFF or RF64 WAVE file's header: what the view copies of it, and the
// sizes an RF64 file keeps in its ds64 chunk.
struct WavHeader
{
    juce::String problem;
    juce::int64 bytes = firstChunkStart; // the header, with an RF64 file's ds64 chunk
    juce::int64 end = 0;                 // where the reader stops walking chunks
    std::optional<juce::int64> dataBytes;
};

WavHeader readDs64 (juce::FileInputStream& in, WavHeader header)
{
    Chunk ds64;
    if (! readChunk (in, firstChunkStart, false, ds64) || ! ds64.is ("ds64"))
    {
        header.problem = "it is RF64 without a ds64 chunk";
        return header;
    }
    header.problem = tooShort (ds64, ds64Bytes, "its sizes'");
    if (header.problem.isEmpty())
        header.problem = pastTheEnd (ds64, in.getTotalLength());
    if (header.problem.isNotEmpty())
        return header;

    in.setPosition (ds64.body());
    const auto riffBytes = in.readInt64(), dataBytes = in.readInt64();
    // The reader takes the data size as signed, and reads none of a negative one.
    if (dataBytes < 0)
        header.problem << "its ds64 chunk claims " << (juce::uint64) dataBytes << " bytes of data";
    // A RIFF size beyond the file's ends the walk where the file does.
    const auto fileEnd = in.getTotalLength();
    header.end = chunkHeaderBytes + (riffBytes < 0 || riffBytes > fileEnd ? fileEnd : riffBytes);
    if (dataBytes > 0)
        header.dataBytes = dataBytes;
    header.bytes = ds64.next();
    return header;
}

// The header of a RIFF or RF64 WAVE file; nothing for any other file.
std::optional<WavHeader> readWavHeader (juce::FileInputStream& in)
{
    const auto file = readFileHeader (in, false);
    if (! file || ! file->isForm ("WAVE"))
        return std::nullopt;
    WavHeader header;
    header.end = file->chunk.end();
    if (file->chunk.is ("RIFF"))
        return header;
    // RF64 keeps its sizes in the ds64 chunk, which has to come first.
    if (! file->chunk.is ("RF64"))
        return std::nullopt;
    return readDs64 (in, header);
}

// The view of a WAV file: its header, the format the data follows and the
// data, as far as the file holds it.
SampleChunks wavView (const juce::File& file, const WavHeader& header, const Chunk& format, const Chunk& data,
                      juce::int64 fileEnd)
{
    StoredSamples samples;
    samples.dataBytes = header.dataBytes.value_or (data.size);
    samples.heldBytes = juce::jlimit ((juce::int64) 0, samples.dataBytes, fileEnd - data.body());

    auto view = std::make_unique<FileView> (file);
    view->addRange (0, header.bytes);
    view->addRange (format.start, format.next() - format.start);
    view->addRange (data.start, chunkHeaderBytes + samples.heldBytes);

    SampleChunks chunks;
    chunks.view = std::move (view);
    chunks.samples = samples;
    return chunks;
}

// The WAV reader takes what it finds on its way: a chunk before the data that
// runs past the end, a RIFF size that stops short of the data, or data before
// its format would leave it no frames, and the file would read as an empty
// recording. A data chunk that runs past the end is a file cut short, not
// refused here.
SampleChunks readWav (const juce::File& file)
{
    juce::FileInputStream in (file);
    const auto header = readWavHeader (in);
    if (! header)
        return {};
    if (header->problem.isNotEmpty())
        return refused (header->problem);

    const auto fileEnd = in.getTotalLength();
    std::optional<Chunk> format;
    Chunk chunk;
    for (juce::int64 start = header->bytes; start + chunkHeaderBytes <= fileEnd; start = chunk.next())
    {
        readChunk (in, start, false, chunk);
        const bool samples = chunk.is ("data");

        // The reader stops at the RIFF size: a format or data past it is out of its reach.
        if (start >= header->end)
        {
            if (! samples && ! chunk.is ("fmt "))
                continue;
            juce::String problem;
            problem << "its RIFF size of " << (header->end - chunkHeaderBytes) << " bytes ends before its "
                    << (samples ? "data" : "fmt") << " chunk";
            return refused (problem);
        }
        if (samples)
            return format ? wavView (file, *header, *format, chunk, fileEnd)
                          : refused ("its data chunk comes before any fmt chunk");

        auto problem = chunk.is ("fmt ") ? tooShort (chunk, wavFormatBytes, "a format's") : juce::String();
        if (problem.isEmpty())
            problem = pastTheEnd (chunk, fileEnd);
        if (problem.isNotEmpty())
            return refused (problem);
        if (chunk.is ("fmt "))
            format = chunk;
    }
    return refused (format ? "it has no data chunk" : "it has no fmt chunk");
}

// An AIFF chunk's header, made for the view: its size is big-endian.
juce::MemoryBlock aiffChunkHeader (const char* name, juce::int64 size)
{
    juce::MemoryOutputStream out;
    out.write (name, 4);
    out.writeIntBigEndian ((int) (juce::uint32) size);
    return out.getMemoryBlock();
}

// The view of an AIFF file: a FORM header of its own, the COMM chunk, and an
// SSND chunk of its own around the samples, as far as the file holds them.
// Its own headers keep the reader from the signed sizes and offset it reads.
SampleChunks aiffView (juce::FileInputStream& in, const char* form, const Chunk& format, const Chunk& ssnd)
{
    const auto fileEnd = in.getTotalLength();
    in.setPosition (ssnd.body());
    const auto offset = (juce::int64) (juce::uint32) in.readIntBigEndian();
    const auto dataStart = ssnd.body() + ssndHeaderBytes + offset;
    if (ssnd.size < ssndHeaderBytes || dataStart > ssnd.end())
    {
        juce::String problem;
        problem << "its SSND chunk of " << ssnd.size << " bytes has no room for its samples after their offset of "
                << offset;
        return refused (problem);
    }

    StoredSamples samples;
    samples.dataBytes = ssnd.end() - dataStart;
    samples.heldBytes = juce::jlimit ((juce::int64) 0, samples.dataBytes, fileEnd - dataStart);
    // The count is unsigned: the reader takes one of 2^31 or more for a negative one.
    in.setPosition (format.body() + aiffFramesOffset);
    samples.frames = (juce::int64) (juce::uint32) in.readIntBigEndian();

    const auto formatBytes = chunkHeaderBytes + format.size + (format.size & 1);
    const auto viewBytes = firstChunkStart + formatBytes + chunkHeaderBytes + ssndHeaderBytes + samples.heldBytes;
    auto view = std::make_unique<FileView> (in.getFile());
    auto header = aiffChunkHeader ("FORM", juce::jmin (viewBytes - chunkHeaderBytes, maxFormSize));
    header.append (form, 4);
    view->addBytes (header);
    view->addRange (format.start, chunkHeaderBytes + format.size);
    if ((format.size & 1) != 0)
        view->addBytes (juce::MemoryBlock (1, true));
    auto samplesHeader = aiffChunkHeader ("SSND", ssndHeaderBytes + samples.dataBytes);
    samplesHeader.append (juce::MemoryBlock ((size_t) ssndHeaderBytes, true).getData(), (size_t) ssndHeaderBytes);
    view->addBytes (samplesHeader);
    view->addRange (dataStart, samples.heldBytes);

    SampleChunks chunks;
    chunks.view = std::move (view);
    chunks.samples = samples;
    return chunks;
}

// The AIFF reader starts reading at offset 0 when it finds no SSND chunk, and
// stops at the FORM size; an SSND chunk that runs past the end is a file cut
// short, not refused here.
SampleChunks readAiff (const juce::File& file)
{
    juce::FileInputStream in (file);
    const auto form = readFileHeader (in, true);
    if (! form || ! form->chunk.is ("FORM") || ! (form->isForm ("AIFF") || form->isForm ("AIFC")))
        return {};
    const auto& header = form->chunk;

    const auto fileEnd = in.getTotalLength();
    std::optional<Chunk> format, samples;
    Chunk chunk;
    for (juce::int64 start = firstChunkStart; start + chunkHeaderBytes <= fileEnd && ! (format && samples);
         start = chunk.next())
    {
        readChunk (in, start, true, chunk);
        const bool isFormat = ! format && chunk.is ("COMM"), isSamples = ! samples && chunk.is ("SSND");
        if (start >= header.end())
        {
            if (! isFormat && ! isSamples)
                continue;
            juce::String problem;
            problem << "its FORM size of " << header.size << " bytes ends before its " << chunk.name() << " chunk";
            return refused (problem);
        }
        if (isSamples)
        {
            samples = chunk;
            continue;
        }
        auto problem = isFormat ? tooShort (chunk, aiffFormatBytes, "a format's") : juce::String();
        if (problem.isEmpty())
            problem = pastTheEnd (chunk, fileEnd);
        if (problem.isNotEmpty())
            return refused (problem);
        if (isFormat)
            format = chunk;
    }
    if (! format)
        return refused ("it has no COMM chunk");
    if (! samples)
        return refused ("it has no SSND chunk");
    return aiffView (in, form->form, *format, *samples);
}
} // namespace

SampleChunks readSampleChunks (const juce::File& file, ChunkFormat format)
{
    return format == ChunkFormat::wav ? readWav (file) : readAiff (file);
}
} // namespace kalto::tools
