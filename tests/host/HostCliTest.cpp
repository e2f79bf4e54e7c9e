// kalto-host as a user runs it: its printed identity, its renders, its errors.

#include "host/HostRun.h"

#include <cstdint>
#include <optional>
#include <set>
#include <tuple>

#include <sys/stat.h>

namespace
{
using Result = HostResult;

class HostCli : public HostRun
{
protected:
    // The fields of a plain PCM WAV header that a damaged file gets wrong,
    // and the layout of its chunks.
    struct WavFields
    {
        uint16_t channels = 1;
        uint32_t rate = 44100;
        uint16_t bits = 16;
        int frames = 64;                      // frames of silence the file holds
        std::optional<uint32_t> claimedBytes; // the data size the header claims; the true one by default
        std::optional<uint32_t> riffBytes;    // the RIFF size the header claims; the true one by default
        uint32_t fmtBytes = 16;               // the fmt chunk's claimed size; it holds 16 bytes
        std::optional<uint32_t> junkBytes;    // a JUNK chunk before the data claiming this size, holding nothing
        bool dataChunk = true;
        bool dataFirst = false; // the data chunk before the fmt chunk
    };

    // A header written field by field, then the frames: small fixtures for
    // what no well-behaved writer produces.
    juce::File handMadeWav (const juce::String& name, const WavFields& f)
    {
        const auto blockAlign = (uint16_t) (f.channels * (f.bits / 8));
        const auto dataBytes = (uint32_t) f.frames * blockAlign;
        const auto claimed = f.claimedBytes.value_or (dataBytes);

        juce::MemoryOutputStream format, data, chunks;
        format.write ("fmt ", 4);
        format.writeInt ((int) f.fmtBytes);
        format.writeShort (1); // PCM
        format.writeShort ((short) f.channels);
        format.writeInt ((int) f.rate);
        format.writeInt ((int) (f.rate * blockAlign));
        format.writeShort ((short) blockAlign);
        format.writeShort ((short) f.bits);
        if (f.dataChunk)
        {
            data.write ("data", 4);
            data.writeInt ((int) claimed);
            data.writeRepeatedByte (0, dataBytes);
        }
        chunks << (f.dataFirst ? data : format);
        if (f.junkBytes)
        {
            chunks.write ("JUNK", 4);
            chunks.writeInt ((int) *f.junkBytes);
        }
        chunks << (f.dataFirst ? format : data);

        juce::MemoryOutputStream out;
        out.write ("RIFF", 4);
        out.writeInt ((int) f.riffBytes.value_or ((uint32_t) (4 + chunks.getDataSize() - dataBytes + claimed)));
        out.write ("WAVE", 4);
        out << chunks;

        const auto file = dir.getChildFile (name);
        file.replaceWithData (out.getData(), out.getDataSize());
        return file;
    }

    // One chunk of a hand-made file: its name, what it holds, and the size
    // its header claims when that is not the truth.
    struct RawChunk
    {
        const char* id;
        juce::MemoryBlock body;
        std::optional<uint32_t> claimed = {};
    };

    // A file of `chunks` under a header named `kind` ("RIFF", "RF64" or
    // "FORM") with their form, sizes in AIFF's byte order when `bigEndian`.
    juce::File chunkFile (const juce::String& name, const char* kind, const char* form,
                          const std::vector<RawChunk>& chunks, bool bigEndian = false,
                          std::optional<uint32_t> outerSize = {})
    {
        const auto size = [&] (juce::MemoryOutputStream& out, uint32_t value) {
            bigEndian ? out.writeIntBigEndian ((int) value) : out.writeInt ((int) value);
        };
        juce::MemoryOutputStream body;
        body.write (form, 4);
        for (const auto& c : chunks)
        {
            body.write (c.id, 4);
            size (body, c.claimed.value_or ((uint32_t) c.body.getSize()));
            body << c.body;
            if ((c.body.getSize() & 1) != 0)
                body.writeByte (0);
        }
        juce::MemoryOutputStream out;
        out.write (kind, 4);
        size (out, outerSize.value_or ((uint32_t) body.getDataSize()));
        out << body;
        const auto file = dir.getChildFile (name);
        file.replaceWithData (out.getData(), out.getDataSize());
        return file;
    }

    // `count` samples of a 330 Hz sine at 44,100 Hz, 16 bits each.
    static juce::MemoryBlock sineBytes (int count, bool bigEndian)
    {
        juce::MemoryOutputStream out;
        for (int i = 0; i < count; ++i)
        {
            const auto v = (short) (16000.0 * std::sin (juce::MathConstants<double>::twoPi * 330.0 * i / 44100.0));
            bigEndian ? out.writeShortBigEndian (v) : out.writeShort (v);
        }
        return out.getMemoryBlock();
    }

    static juce::MemoryBlock text (const juce::String& t)
    {
        return juce::MemoryBlock (t.toRawUTF8(), t.getNumBytesAsUTF8());
    }

    // A PCM fmt chunk's fields: 16-bit samples at 44,100 Hz.
    static juce::MemoryBlock wavFormat (int channels)
    {
        juce::MemoryOutputStream out;
        out.writeShort (1);
        out.writeShort ((short) channels);
        out.writeInt (44100);
        out.writeInt (44100 * 2 * channels);
        out.writeShort ((short) (2 * channels));
        out.writeShort (16);
        return out.getMemoryBlock();
    }

    // An AIFF COMM chunk's fields at 44,100 Hz, with AIFF-C's compression
    // type and an empty name when a type is given.
    static juce::MemoryBlock aiffFormat (int channels, uint32_t frames, int bits, const char* compression = nullptr)
    {
        juce::MemoryOutputStream out;
        out.writeShortBigEndian ((short) channels);
        out.writeIntBigEndian ((int) frames);
        out.writeShortBigEndian ((short) bits);
        // 44,100 as an 80-bit float: exponent 16383 + 15, mantissa 0xac44 at its top.
        out.writeShortBigEndian (0x400e);
        out.writeIntBigEndian ((int) 0xac440000u);
        out.writeInt (0);
        if (compression != nullptr)
        {
            out.write (compression, 4);
            out.writeShort (0);
        }
        return out.getMemoryBlock();
    }

    // An SSND chunk's body: its offset and block size, then the samples.
    static juce::MemoryBlock aiffSamples (const juce::MemoryBlock& samples, uint32_t offset = 0)
    {
        juce::MemoryOutputStream out;
        out.writeIntBigEndian ((int) offset);
        out.writeIntBigEndian (0);
        out << samples;
        return out.getMemoryBlock();
    }

    // An RF64 file's ds64 chunk: its RIFF and data sizes and its frame count,
    // and no table.
    static juce::MemoryBlock ds64 (juce::int64 riffBytes, juce::int64 dataBytes, juce::int64 frames)
    {
        juce::MemoryOutputStream out;
        out.writeInt64 (riffBytes);
        out.writeInt64 (dataBytes);
        out.writeInt64 (frames);
        out.writeInt (0);
        return out.getMemoryBlock();
    }

    // The output of a bypassed render of `in`, and how the run went.
    std::pair<HostResult, juce::AudioBuffer<float>> renderBypassed (const juce::File& in)
    {
        const auto out = dir.getChildFile ("bypassed.wav");
        out.deleteFile();
        auto r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(), "--midi",
                        dir.getChildFile ("bypassed.mid").getFullPathName(), "--bypass" });
        return { r, readWav (out) };
    }

    static juce::AudioBuffer<float> readWav (const juce::File& file)
    {
        juce::WavAudioFormat wav;
        return readAudio (wav, file);
    }

    // Empty when there is no such file, or none the format reads.
    static juce::AudioBuffer<float> readAudio (juce::AudioFormat& format, const juce::File& file)
    {
        auto stream = file.createInputStream();
        if (stream == nullptr)
            return {};
        std::unique_ptr<juce::AudioFormatReader> reader (format.createReaderFor (stream.release(), true));
        if (reader == nullptr)
            return {};
        juce::AudioBuffer<float> buffer ((int) reader->numChannels, (int) reader->lengthInSamples);
        reader->read (&buffer, 0, buffer.getNumSamples(), 0, true, true);
        return buffer;
    }
};

TEST_F (HostCli, InfoPrintsTheIdentityAndEveryParameter)
{
    const auto r = run ({ "info", KALTO_PLUGIN_PATH });
    ASSERT_EQ (r.exitCode, 0) << r.err;
    const auto expected = juce::File (KALTO_TEST_DATA).getChildFile ("kalto_vyn_info.txt").loadFileAsString();
    EXPECT_EQ (r.out, expected);
    EXPECT_TRUE (r.err.isEmpty()) << r.err;
}

TEST_F (HostCli, ClearErrors)
{
    const auto textFile = dir.getChildFile ("notes.wav");
    textFile.replaceWithText ("this is no audio");
    const auto goodWav = tone ("in.wav", 1, 0.1);
    const auto out = dir.getChildFile ("o.wav").getFullPathName();
    const auto mid = dir.getChildFile ("o.mid").getFullPathName();
    // Outputs named like folders that are there: refused, never replaced.
    const auto folderNamedWav = dir.getChildFile ("folder.wav"), folderNamedMid = dir.getChildFile ("folder.mid");
    ASSERT_TRUE (folderNamedWav.createDirectory() && folderNamedMid.createDirectory());
    // A FIFO is neither read as a recording nor written as an output: either would wait for the other end.
    const auto fifo = dir.getChildFile ("fifo.wav");
    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    const auto same = dir.getChildFile ("same.out").getFullPathName();
    const auto good = goodWav.getFullPathName();

    struct Case
    {
        juce::StringArray args;
        int exitCode;
        const char* message;
    };
    const std::vector<Case> cases {
        { { "info", dir.getChildFile ("absent.so").getFullPathName() }, 3, "no such file" },
        { { "info", textFile.getFullPathName() }, 4, "not a VST 2.4 plug-in" },
        { { "info", "/usr/lib/x86_64-linux-gnu/libz.so.1" }, 4, "not a VST 2.4 plug-in" },
        { { "render", KALTO_PLUGIN_PATH, textFile.getFullPathName(), "--out", out, "--midi", mid },
          5,
          "cannot read audio file" },
        { { "render", KALTO_PLUGIN_PATH, dir.getChildFile ("absent.wav").getFullPathName(), "--out", out, "--midi",
            mid },
          3,
          "no such file" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out", out }, 2, "usage" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out", out, "--midi", mid, "--set", "26=0.5" },
          2,
          "no parameter 26" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out",
            dir.getChildFile ("no/such/dir/o.wav").getFullPathName(), "--midi", mid },
          6,
          "cannot write" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out", folderNamedWav.getFullPathName(), "--midi",
            mid },
          6,
          "it is a directory" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out", out, "--midi",
            folderNamedMid.getFullPathName() },
          6,
          "it is a directory" },
        { { "render", KALTO_PLUGIN_PATH, fifo.getFullPathName(), "--out", out, "--midi", mid },
          5,
          "fifo.wav: it is not a regular file" },
        { { "render", KALTO_PLUGIN_PATH, folderNamedWav.getFullPathName(), "--out", out, "--midi", mid },
          5,
          "folder.wav: it is a directory" },
        { { "render", KALTO_PLUGIN_PATH, good, "--out", fifo.getFullPathName(), "--midi", mid },
          6,
          "fifo.wav: it is neither a file nor a device" },
        { { "render", KALTO_PLUGIN_PATH, good, "--out", dir.getChildFile ("new").getFullPathName() + "/", "--midi",
            mid },
          6,
          "it names a directory" },
        // Written twice, one file would keep only the MIDI; the recording would be replaced while it is read.
        { { "render", KALTO_PLUGIN_PATH, good, "--out", same, "--midi", same }, 2, "--out and --midi name one file" },
        { { "render", KALTO_PLUGIN_PATH, good, "--out", good, "--midi", mid }, 2, "is the recording the render reads" },
        { { "render", KALTO_PLUGIN_PATH, good, "--out", out, "--midi", good }, 2, "is the recording the render reads" },
        { { "frobnicate" }, 2, "usage" },
    };

    for (const auto& c : cases)
    {
        const auto r = run (c.args);
        EXPECT_EQ (r.exitCode, c.exitCode) << c.args.joinIntoString (" ");
        EXPECT_TRUE (r.err.contains (c.message)) << c.args.joinIntoString (" ") << "\n" << r.err;
    }
    EXPECT_TRUE (folderNamedWav.isDirectory() && folderNamedMid.isDirectory());
    EXPECT_FALSE (dir.getChildFile ("new").exists()) << "a path ending in / became a file";
    EXPECT_FALSE (juce::File (same).exists());
    EXPECT_EQ (readWav (goodWav).getNumSamples(), 4410) << "the recording was overwritten";
}

// A device is written into as it is, never deleted, and one that refuses a
// write fails the render as a full disk does.
TEST_F (HostCli, DevicesAreWrittenIntoAndTheirRefusalsFail)
{
    const auto in = tone ("in.wav", 1, 0.2).getFullPathName();
    const auto out = dir.getChildFile ("o.wav").getFullPathName(), mid = dir.getChildFile ("o.mid").getFullPathName();
    struct Case
    {
        juce::String out, midi;
        int exitCode;
        const char* message;
    };
    const std::vector<Case> cases {
        { "/dev/null", "/dev/null", 0, "" },
        { "/dev/full", mid, 6, "cannot write audio file: /dev/full" },
        { out, "/dev/full", 6, "cannot write MIDI file: /dev/full" },
    };
    for (const auto& c : cases)
    {
        const auto r = run ({ "render", KALTO_PLUGIN_PATH, in, "--out", c.out, "--midi", c.midi, "--bypass" });
        EXPECT_EQ (r.exitCode, c.exitCode) << c.out << " " << c.midi << "\n" << r.err;
        EXPECT_TRUE (r.err.contains (c.message)) << r.err;
    }
    struct stat info
    {};
    ASSERT_EQ (stat ("/dev/null", &info), 0);
    EXPECT_TRUE (S_ISCHR (info.st_mode));
}

TEST_F (HostCli, RefusesBadFilesAndOptions)
{
    const auto goodWav = tone ("in.wav", 1, 0.1);
    const auto out = dir.getChildFile ("o.wav");
    const auto mid = dir.getChildFile ("o.mid").getFullPathName();

    struct Case
    {
        const char* what;
        std::optional<WavFields> file; // a hand-made input, or the good tone
        juce::StringArray options;
        int exitCode;
        const char* message;
    };
    const auto fields = [] (auto change) {
        WavFields f;
        change (f);
        return std::optional<WavFields> (f);
    };
    const std::vector<Case> cases {
        // The header's 16-bit count, read as signed, once became 4294967295.
        { "65535 channels",
          fields ([] (auto& f) {
              f.channels = 65535;
              f.frames = 0;
          }),
          {},
          5,
          "65535 channels" },
        { "frames too large to step through",
          fields ([] (auto& f) {
              f.channels = 3000;
              f.frames = 2;
          }),
          {},
          5,
          "3000 channels" },
        { "rate beyond any converter", fields ([] (auto& f) { f.rate = 2000000000; }), {}, 5, "2000000000 Hz" },
        { "12-bit samples", fields ([] (auto& f) { f.bits = 12; }), {}, 5, "12-bit" },
        { "a header and no data",
          fields ([] (auto& f) {
              f.frames = 0;
              f.claimedBytes = 8000000;
          }),
          {},
          5,
          "holds none" },
        // Chunks the reader would walk past to no frames at all.
        { "a chunk past the end",
          fields ([] (auto& f) { f.junkBytes = 1000000; }),
          {},
          5,
          "\"JUNK\" chunk claims 1000000 bytes" },
        { "a RIFF size short of the data",
          fields ([] (auto& f) { f.riffBytes = 28; }),
          {},
          5,
          "RIFF size of 28 bytes ends before its data" },
        { "no data chunk", fields ([] (auto& f) { f.dataChunk = false; }), {}, 5, "no data chunk" },
        { "data before the format",
          fields ([] (auto& f) { f.dataFirst = true; }),
          {},
          5,
          "data chunk comes before any fmt chunk" },
        { "an enormous fmt chunk",
          fields ([] (auto& f) { f.fmtBytes = 0xfffffff0; }),
          {},
          5,
          "\"fmt \" chunk claims 4294967280 bytes" },
        { "a fmt chunk too short", fields ([] (auto& f) { f.fmtBytes = 8; }), {}, 5, "fmt chunk of 8 bytes" },
        { "block of two billion", {}, { "--block", "2000000000" }, 2, "1 to 65536" },
        { "block of zero", {}, { "--block", "0" }, 2, "1 to 65536" },
        { "block not a number", {}, { "--block", "512x" }, 2, "1 to 65536" },
        { "rate beyond a WAV header", {}, { "--rate", "3e9" }, 2, "8000 to 768000" },
        { "fractional rate", {}, { "--rate", "44100.5" }, 2, "whole number" },
        { "rate not a number", {}, { "--rate", "fast" }, 2, "8000 to 768000" },
        { "three channels", {}, { "--channels", "3" }, 2, "1 or 2" },
        { "channels not a number", {}, { "--channels", "1x" }, 2, "1 or 2" },
        { "NaN value", {}, { "--set", "0=nan" }, 2, "0 to 1" },
        { "value above 1", {}, { "--set", "0=1.5" }, 2, "0 to 1" },
        { "negative value", {}, { "--set", "0=-0.1" }, 2, "0 to 1" },
        { "index not a number", {}, { "--set", "x=0.5" }, 2, "INDEX=VALUE" },
        { "index written as a float", {}, { "--set", "1e9=0.5" }, 2, "no parameter 1000000000" },
        { "index below 0", {}, { "--set", "-1=0.5" }, 2, "0 to 25" },
    };

    for (const auto& c : cases)
    {
        const auto in = c.file ? handMadeWav ("bad.wav", *c.file) : goodWav;
        out.deleteFile();
        juce::StringArray args { "render", KALTO_PLUGIN_PATH,     in.getFullPathName(),
                                 "--out",  out.getFullPathName(), "--midi",
                                 mid };
        args.addArray (c.options);

        const auto r = run (args);
        EXPECT_EQ (r.exitCode, c.exitCode) << c.what << "\n" << r.err;
        EXPECT_TRUE (r.err.contains (c.message)) << c.what << ": no '" << c.message << "' in\n" << r.err;
        EXPECT_FALSE (out.existsAsFile()) << c.what << ": wrote an output";
    }
}

// A file-size limit cuts the audio short, as a full disk would: the render
// fails rather than leave a truncated file behind a success.
TEST_F (HostCli, AnAudioFileThatCannotBeWrittenWholeFailsTheRender)
{
    const auto in = tone ("in.wav", 1, 0.5);
    const auto r =
        run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", dir.getChildFile ("o.wav").getFullPathName(),
               "--midi", dir.getChildFile ("o.mid").getFullPathName() },
             "trap '' XFSZ; ulimit -f 16;");
    EXPECT_EQ (r.exitCode, 6) << r.err;
    EXPECT_TRUE (r.err.contains ("cannot write audio file")) << r.err;
}

TEST_F (HostCli, ReadsWhatACutShortFileHoldsWithAWarning)
{
    // A recorder that died before it wrote the final size: the header claims
    // 8 MB, the file holds 64 frames. Those are read, and the user is told.
    WavFields f;
    f.claimedBytes = 8000000;
    const auto in = handMadeWav ("cut.wav", f);
    const auto out = dir.getChildFile ("cut-out.wav");

    const auto r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(), "--midi",
                          dir.getChildFile ("cut.mid").getFullPathName(), "--bypass" });
    ASSERT_EQ (r.exitCode, 0) << r.err;
    EXPECT_TRUE (r.err.contains ("warning")) << r.err;
    EXPECT_TRUE (r.err.contains ("claims 4000000 frames but the file holds only 64")) << r.err;
    EXPECT_EQ (readWav (out).getNumSamples(), 64);
}

TEST_F (HostCli, ReadsWellMadeFilesOfMoreChunks)
{
    // A broadcast WAV carries more chunks around its data (bext, iXML, axml
    // and LIST here), and AIFF has a layout of its own, with markers and
    // comments: all play as they were written, the same as the samples alone.
    const auto samples = readWav (tone ("tone.wav", 1, 0.2));
    juce::WavAudioFormat wav;
    juce::AiffAudioFormat aiff;
    auto broadcast =
        juce::WavAudioFormat::createBWAVMetadata ("a take", "kalto", "take 1", juce::Time (2024, 0, 1, 12, 0), 0, "");
    broadcast.set (juce::WavAudioFormat::aswgProject, "a session");
    broadcast.set (juce::WavAudioFormat::internationalStandardRecordingCode, "AA6Q72000047");
    broadcast.set (juce::WavAudioFormat::riffInfoArtist, "a guitarist");
    juce::StringPairArray marked;
    for (const auto& [key, value] : { std::pair { "NumCuePoints", "1" },
                                      { "Cue0Identifier", "1" },
                                      { "Cue0Offset", "441" },
                                      { "NumCueLabels", "1" },
                                      { "CueLabel0Identifier", "1" },
                                      { "CueLabel0Text", "in" },
                                      { "NumCueNotes", "1" },
                                      { "CueNote0Text", "first take" } })
        marked.set (key, value);
    const std::vector<std::tuple<const char*, juce::AudioFormat*, juce::StringPairArray>> files {
        { "broadcast.wav", &wav, broadcast },
        { "tone.aiff", &aiff, {} },
        { "marked.aiff", &aiff, marked },
    };

    for (const auto& [name, format, metadata] : files)
    {
        const auto in = dir.getChildFile (name);
        auto stream = in.createOutputStream();
        std::unique_ptr<juce::AudioFormatWriter> writer (
            format->createWriterFor (stream.get(), 44100.0, 1, 16, metadata, 0));
        ASSERT_NE (writer, nullptr) << name;
        stream.release();
        writer->writeFromAudioSampleBuffer (samples, 0, samples.getNumSamples());
        writer.reset();

        const auto out = dir.getChildFile ("out.wav");
        const auto r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(),
                              "--midi", dir.getChildFile ("out.mid").getFullPathName(), "--bypass" });
        ASSERT_EQ (r.exitCode, 0) << name << "\n" << r.err;
        EXPECT_TRUE (r.err.isEmpty()) << name << "\n" << r.err;
        const auto output = readWav (out);
        ASSERT_EQ (output.getNumSamples(), samples.getNumSamples()) << name;
        for (int i = 0; i < samples.getNumSamples(); ++i)
            ASSERT_EQ (output.getSample (0, i), samples.getSample (0, i)) << name << " " << i;
    }
}

// The reader is shown the format and the samples only: metadata no tool
// needs is never parsed, however deep its XML nests, and a chunk of a kind no
// reader knows is stepped over even when it is empty.
TEST_F (HostCli, PlaysTheSamplesPastMetadataItDoesNotNeed)
{
    // 40,000 elements deep: parsed, they would take more than the whole stack.
    const auto nested = text (juce::String::repeatedString ("<a>", 40000));
    const auto samples = sineBytes (4410, false);
    juce::MemoryOutputStream info;
    info.write ("INFOIART", 8);
    info.writeInt (6);
    info.write ("kalto", 6);
    const std::vector<RawChunk> before {
        { "fmt ", wavFormat (1) },
        { "bext", juce::MemoryBlock (602, true) },
        { "iXML", nested },
        { "axml", nested },
        { "LIST", info.getMemoryBlock() },
        { "cue ", juce::MemoryBlock (28, true) },
        { "smpl", juce::MemoryBlock (36, true) },
        { "JUNK", {} },
    };
    auto chunks = before;
    chunks.push_back ({ "data", samples });
    chunks.push_back ({ "iXML", nested });
    const auto riff = chunkFile ("metadata.wav", "RIFF", "WAVE", chunks);
    // The same as RF64, whose sizes are in a ds64 chunk of 28 bytes ahead of the rest.
    const auto rf64Bytes = riff.getSize() + 8 + 28 - 8;
    chunks.insert (chunks.begin(), { "ds64", ds64 (rf64Bytes, (juce::int64) samples.getSize(), 4410) });
    chunks[chunks.size() - 2].claimed = 0xffffffffu;
    const auto rf64 = chunkFile ("metadata-rf64.wav", "RF64", "WAVE", chunks, false, 0xffffffffu);

    const auto expected = readWav (chunkFile ("plain.wav", "RIFF", "WAVE", { before[0], { "data", samples } }));
    ASSERT_EQ (expected.getNumSamples(), 4410);
    for (const auto& in : { riff, rf64 })
    {
        const auto [r, output] = renderBypassed (in);
        ASSERT_EQ (r.exitCode, 0) << in.getFileName() << "\n" << r.err;
        EXPECT_TRUE (r.err.isEmpty()) << in.getFileName() << "\n" << r.err;
        ASSERT_EQ (output.getNumSamples(), expected.getNumSamples()) << in.getFileName();
        for (int i = 0; i < expected.getNumSamples(); ++i)
            ASSERT_EQ (output.getSample (0, i), expected.getSample (0, i)) << in.getFileName() << " " << i;

        // The editor reads all of the recording before it looks for a display.
        const auto e = run ({ "editor", KALTO_PLUGIN_PATH, "--play", in.getFullPathName() }, "env -u DISPLAY");
        EXPECT_EQ (e.exitCode, 7) << in.getFileName() << "\n" << e.err;
        EXPECT_TRUE (e.err.contains ("DISPLAY is not set")) << in.getFileName() << "\n" << e.err;
    }
}

// AIFF's frame count is unsigned: one of 2^31 or more, which the framework's
// reader takes for a negative one, reads what the file holds, with the
// warning any header that claims more than that gets.
TEST_F (HostCli, ReadsAiffFrameCountsOfAnySize)
{
    struct Case
    {
        const char* what;
        int channels, bits;
        uint32_t frames;
        const char* compression; // AIFF-C's, or plain AIFF
        bool unfinished;         // the FORM and SSND sizes left at their largest
        const char* warning;
    };
    const std::vector<Case> cases {
        { "the count of what it holds", 1, 16, 64, nullptr, false, nullptr },
        { "2^31 frames", 1, 16, 0x80000000u, nullptr, false, "claims 2147483648 frames but the file holds only 64" },
        // 6-byte frames: the count's bytes overflow 32 bits.
        { "2^32 - 1 frames of 24-bit stereo", 2, 24, 0xffffffffu, nullptr, false,
          "claims 4294967295 frames but the file holds only 64" },
        { "AIFF-C's little-endian samples", 1, 16, 0x80000000u, "sowt", false,
          "claims 2147483648 frames but the file holds only 64" },
        { "a recorder that stopped before it wrote its sizes", 1, 16, 0xffffffffu, nullptr, true,
          "claims 4294967295 frames but the file holds only 64" },
    };

    juce::AiffAudioFormat aiff;
    for (const auto& c : cases)
    {
        const auto form = c.compression != nullptr ? "AIFC" : "AIFF";
        // 64 frames, whatever their size.
        const auto held = sineBytes (64 * c.channels * c.bits / 16, c.compression == nullptr);
        const auto expected =
            readAudio (aiff, chunkFile ("right.aiff", "FORM", form,
                                        { { "COMM", aiffFormat (c.channels, 64, c.bits, c.compression) },
                                          { "SSND", aiffSamples (held) } },
                                        true));
        ASSERT_EQ (expected.getNumSamples(), 64) << c.what;

        const auto largest = c.unfinished ? std::optional<uint32_t> (0xffffffffu) : std::nullopt;
        const auto in = chunkFile ("count.aiff", "FORM", form,
                                   { { "COMM", aiffFormat (c.channels, c.frames, c.bits, c.compression) },
                                     { "SSND", aiffSamples (held), largest } },
                                   true, largest);
        const auto [r, output] = renderBypassed (in);
        ASSERT_EQ (r.exitCode, 0) << c.what << "\n" << r.err;
        // A count of what the file holds warrants no warning.
        const bool warned = c.warning != nullptr && r.err.contains ("warning") && r.err.contains (c.warning);
        EXPECT_TRUE (c.warning != nullptr ? warned : r.err.isEmpty()) << c.what << "\n" << r.err;
        ASSERT_EQ (output.getNumSamples(), 64) << c.what;
        for (int ch = 0; ch < c.channels; ++ch)
            for (int i = 0; i < 64; ++i)
                ASSERT_EQ (output.getSample (ch, i), expected.getSample (ch, i)) << c.what << " " << ch << " " << i;

        const auto e = run ({ "editor", KALTO_PLUGIN_PATH, "--play", in.getFullPathName() }, "env -u DISPLAY");
        EXPECT_EQ (e.exitCode, 7) << c.what << "\n" << e.err;
        EXPECT_TRUE (c.warning == nullptr || e.err.contains (c.warning)) << c.what << "\n" << e.err;
    }
}

// AIFF and RF64 layouts that would keep the reader from the samples, or point
// it at bytes that are none: each refused with what is wrong.
TEST_F (HostCli, RefusesAiffAndRf64LayoutsThatHideTheSamples)
{
    const auto samples = sineBytes (64, true);
    const RawChunk comm { "COMM", aiffFormat (1, 64, 16) }, ssnd { "SSND", aiffSamples (samples) };
    const RawChunk fmt { "fmt ", wavFormat (1) }, data { "data", sineBytes (64, false) };
    struct Case
    {
        const char* what;
        juce::File file;
        const char* message;
    };
    const std::vector<Case> cases {
        // Without an SSND chunk the framework's reader reads from the file's first byte.
        { "no SSND chunk", chunkFile ("a.aiff", "FORM", "AIFF", { comm }, true), "it has no SSND chunk" },
        { "no COMM chunk", chunkFile ("b.aiff", "FORM", "AIFF", { ssnd }, true), "it has no COMM chunk" },
        { "a FORM size short of the samples", chunkFile ("c.aiff", "FORM", "AIFF", { comm, ssnd }, true, 30),
          "its FORM size of 30 bytes ends before its SSND chunk" },
        { "a COMM chunk too short",
          chunkFile ("d.aiff", "FORM", "AIFF", { { "COMM", juce::MemoryBlock (8, true) }, ssnd }, true),
          "its COMM chunk of 8 bytes is too short for a format's 18" },
        { "an offset past the samples' chunk",
          chunkFile ("e.aiff", "FORM", "AIFF", { comm, { "SSND", aiffSamples (samples, 1000) } }, true),
          "no room for its samples after their offset of 1000" },
        { "2^31 frames and none held",
          chunkFile ("f.aiff", "FORM", "AIFF",
                     { { "COMM", aiffFormat (1, 0x80000000u, 16) }, { "SSND", aiffSamples ({}), 0xffffffffu } }, true),
          "claims 2147483648 frames but the file holds none" },
        { "RF64 without its sizes", chunkFile ("g.wav", "RF64", "WAVE", { fmt, data }, false, 0xffffffffu),
          "it is RF64 without a ds64 chunk" },
        // The framework's reader takes the data's size from the ds64 chunk alone.
        { "RF64 whose ds64 chunk gives no data size",
          chunkFile ("h.wav", "RF64", "WAVE", { { "ds64", ds64 (1000, 0, 0) }, fmt, data }, false, 0xffffffffu),
          "found none of the 128 bytes of its data chunk" },
    };

    for (const auto& c : cases)
    {
        const auto [r, output] = renderBypassed (c.file);
        EXPECT_EQ (r.exitCode, 5) << c.what << "\n" << r.err;
        EXPECT_TRUE (r.err.contains (c.message)) << c.what << ": no '" << c.message << "' in\n" << r.err;
        EXPECT_EQ (output.getNumSamples(), 0) << c.what << ": wrote an output";
    }
}

TEST_F (HostCli, RendersAPlugInNobodyHereWrote)
{
    const juce::String bitcrush = "/usr/lib/vst/MaBitcrush-vst.so";
    ASSERT_TRUE (juce::File (bitcrush).existsAsFile()) << "dpf-plugins-vst is not installed (scripts/setup)";

    const auto in = tone ("in.wav", 1, 0.5);
    const auto out = dir.getChildFile ("crushed.wav");
    // Resolution 2 bits: a coarse staircase of the sine.
    const auto r = run ({ "render", bitcrush, in.getFullPathName(), "--out", out.getFullPathName(), "--midi",
                          dir.getChildFile ("c.mid").getFullPathName(), "--set", "0=0.0" });
    ASSERT_EQ (r.exitCode, 0) << r.err;

    const auto input = readWav (in);
    const auto output = readWav (out);
    ASSERT_EQ (output.getNumSamples(), input.getNumSamples());
    EXPECT_GT (output.getMagnitude (0, 0, output.getNumSamples()), 0.1f);

    // Crushed to few levels: far fewer distinct values than the smooth input.
    std::set<float> levels;
    double difference = 0.0;
    for (int i = 0; i < output.getNumSamples(); ++i)
    {
        levels.insert (output.getSample (0, i));
        difference += (double) std::abs (output.getSample (0, i) - input.getSample (0, i));
    }
    EXPECT_LT (levels.size(), 64u);
    EXPECT_GT (difference / (double) output.getNumSamples(), 0.01);
    EXPECT_TRUE (r.out.isEmpty()); // no MIDI from an audio effect
}

TEST_F (HostCli, KaltoVynConvertsAToneAndBypassPassesIt)
{
    const auto in = tone ("in.wav", 2, 0.5);
    const auto out = dir.getChildFile ("out.wav");
    const auto midi = dir.getChildFile ("out.mid");

    auto r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(), "--midi",
                    midi.getFullPathName(), "--block", "300" });
    ASSERT_EQ (r.exitCode, 0) << r.err;
    EXPECT_TRUE (r.err.isEmpty()) << r.err;
    auto output = readWav (out);
    ASSERT_EQ (output.getNumChannels(), 2);
    EXPECT_EQ (output.getNumSamples(), readWav (in).getNumSamples());
    EXPECT_GT (output.getMagnitude (0, output.getNumSamples()), 0.01f) << "the Piano plays the note";

    // 330 Hz is E4, note 64: one note-on, at the first sample of a block.
    juce::MidiFile file;
    juce::FileInputStream stream (midi);
    ASSERT_TRUE (file.readFrom (stream));
    // Ticks are samples at 44,100 Hz: 441 ticks per quarter at 10 ms per quarter.
    EXPECT_EQ (file.getTimeFormat(), 441);
    ASSERT_EQ (file.getNumTracks(), 1);
    int noteOns = 0;
    for (const auto* e : *file.getTrack (0))
        if (e->message.isNoteOn())
        {
            ++noteOns;
            EXPECT_EQ (e->message.getNoteNumber(), 64);
            EXPECT_EQ (e->message.getChannel(), 1);
            EXPECT_EQ ((int) e->message.getTimeStamp() % 300, 0);
        }
    EXPECT_EQ (noteOns, 1);
    EXPECT_TRUE (r.out.contains (" 144 64 ")) << r.out;

    r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(), "--midi",
               midi.getFullPathName(), "--bypass" });
    ASSERT_EQ (r.exitCode, 0) << r.err;
    EXPECT_TRUE (r.out.isEmpty()) << "no MIDI while bypassed: " << r.out;
    output = readWav (out);
    const auto input = readWav (in);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < input.getNumSamples(); ++i)
            ASSERT_EQ (output.getSample (ch, i), input.getSample (ch, i)) << ch << " " << i;
}

TEST_F (HostCli, MonoRunUsesOneChannel)
{
    const auto in = tone ("mono.wav", 1, 0.2);
    const auto out = dir.getChildFile ("mono-out.wav");
    const auto r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(), "--midi",
                          dir.getChildFile ("m.mid").getFullPathName(), "--channels", "1", "--bypass" });
    ASSERT_EQ (r.exitCode, 0) << r.err;
    const auto output = readWav (out);
    EXPECT_EQ (output.getNumChannels(), 1);
    EXPECT_GT (output.getMagnitude (0, output.getNumSamples()), 0.4f);
}
} // namespace
