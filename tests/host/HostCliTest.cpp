// kalto-host as a user runs it: its printed identity, its renders, its errors.

#include <gtest/gtest.h>

#include <juce_audio_formats/juce_audio_formats.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <set>

namespace
{
struct Result
{
    int exitCode = -1;
    juce::String out, err;
};

class HostCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = juce::File::createTempFile ("kalto-host-test");
        ASSERT_TRUE (dir.createDirectory());
    }

    void TearDown() override { dir.deleteRecursively(); }

    Result run (const juce::StringArray& args)
    {
        juce::String command = juce::String (KALTO_HOST_PATH).quoted();
        for (const auto& arg : args)
            command << " " << arg.quoted ('\'');
        const auto outFile = dir.getChildFile ("stdout.txt");
        const auto errFile = dir.getChildFile ("stderr.txt");
        command << " >" << outFile.getFullPathName().quoted() << " 2>" << errFile.getFullPathName().quoted();

        Result r;
        const int status = std::system (command.toRawUTF8());
        r.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        r.out = outFile.loadFileAsString();
        r.err = errFile.loadFileAsString();
        return r;
    }

    juce::File tone (const juce::String& name, int channels, double seconds)
    {
        const auto file = dir.getChildFile (name);
        juce::WavAudioFormat wav;
        auto stream = file.createOutputStream();
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), 44100.0, (unsigned) channels, 16, {}, 0));
        stream.release();
        const int n = (int) (seconds * 44100.0);
        juce::AudioBuffer<float> buffer (channels, n);
        for (int ch = 0; ch < channels; ++ch)
            for (int i = 0; i < n; ++i)
                buffer.setSample (ch, i, 0.5f * std::sin (juce::MathConstants<float>::twoPi * 330.0f * (float) i / 44100.0f));
        writer->writeFromAudioSampleBuffer (buffer, 0, n);
        return file;
    }

    static juce::AudioBuffer<float> readWav (const juce::File& file)
    {
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (file.createInputStream().release(), true));
        if (reader == nullptr)
            return {};
        juce::AudioBuffer<float> buffer ((int) reader->numChannels, (int) reader->lengthInSamples);
        reader->read (&buffer, 0, buffer.getNumSamples(), 0, true, true);
        return buffer;
    }

    juce::File dir;
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
        { { "render", KALTO_PLUGIN_PATH, textFile.getFullPathName(), "--out", out, "--midi", mid }, 5, "cannot read audio file" },
        { { "render", KALTO_PLUGIN_PATH, dir.getChildFile ("absent.wav").getFullPathName(), "--out", out, "--midi", mid }, 3, "no such file" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out", out }, 2, "usage" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out", out, "--midi", mid, "--set", "26=0.5" }, 2, "no parameter 26" },
        { { "render", KALTO_PLUGIN_PATH, goodWav.getFullPathName(), "--out", dir.getChildFile ("no/such/dir/o.wav").getFullPathName(), "--midi", mid }, 6, "cannot write" },
        { { "frobnicate" }, 2, "usage" },
    };

    for (const auto& c : cases)
    {
        const auto r = run (c.args);
        EXPECT_EQ (r.exitCode, c.exitCode) << c.args.joinIntoString (" ");
        EXPECT_TRUE (r.err.contains (c.message)) << c.args.joinIntoString (" ") << "\n" << r.err;
    }
}

TEST_F (HostCli, RendersAPlugInNobodyHereWrote)
{
    const juce::String bitcrush = "/usr/lib/vst/MaBitcrush-vst.so";
    ASSERT_TRUE (juce::File (bitcrush).existsAsFile()) << "dpf-plugins-vst is not installed (scripts/setup)";

    const auto in = tone ("in.wav", 1, 0.5);
    const auto out = dir.getChildFile ("crushed.wav");
    // Resolution 2 bits: a coarse staircase of the sine.
    const auto r = run ({ "render", bitcrush, in.getFullPathName(), "--out", out.getFullPathName(),
                          "--midi", dir.getChildFile ("c.mid").getFullPathName(), "--set", "0=0.0" });
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

    auto r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(),
                    "--midi", midi.getFullPathName(), "--block", "300" });
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

    r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(),
               "--midi", midi.getFullPathName(), "--bypass" });
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
    const auto r = run ({ "render", KALTO_PLUGIN_PATH, in.getFullPathName(), "--out", out.getFullPathName(),
                          "--midi", dir.getChildFile ("m.mid").getFullPathName(), "--channels", "1", "--bypass" });
    ASSERT_EQ (r.exitCode, 0) << r.err;
    const auto output = readWav (out);
    EXPECT_EQ (output.getNumChannels(), 1);
    EXPECT_GT (output.getMagnitude (0, output.getNumSamples()), 0.4f);
}
} // namespace
