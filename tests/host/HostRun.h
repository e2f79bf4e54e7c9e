#pragma once

// Runs kalto-host as a user does, in a folder of its own per test, and makes
// the small recordings the runs play.

#include <gtest/gtest.h>

#include "support/TempFolder.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>

struct HostResult
{
    int exitCode = -1;
    juce::String out, err;
};

class HostRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = kalto::test::makeTempFolder ("host-test");
        ASSERT_TRUE (dir.isDirectory());
    }

    void TearDown() override { dir.deleteRecursively(); }

    // `prefix` goes before the command, for one that changes its environment.
    HostResult run (const juce::StringArray& args, const juce::String& prefix = {})
    {
        // A hang is a failure too, not a stuck test run.
        juce::String command = prefix + " timeout 240 " + juce::String (KALTO_HOST_PATH).quoted();
        for (const auto& arg : args)
            command << " " << arg.quoted ('\'');
        const auto outFile = dir.getChildFile ("stdout.txt");
        const auto errFile = dir.getChildFile ("stderr.txt");
        command << " >" << outFile.getFullPathName().quoted() << " 2>" << errFile.getFullPathName().quoted();

        HostResult r;
        const int status = std::system (command.toRawUTF8());
        r.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        r.out = outFile.loadFileAsString();
        r.err = errFile.loadFileAsString();
        return r;
    }

    // A 330 Hz sine at half scale, E4 to a pitch tracker, after `silence` seconds of silence.
    juce::File tone (const juce::String& name, int channels, double seconds, double silence = 0.0)
    {
        const auto file = dir.getChildFile (name);
        juce::WavAudioFormat wav;
        auto stream = file.createOutputStream();
        std::unique_ptr<juce::AudioFormatWriter> writer (
            wav.createWriterFor (stream.get(), 44100.0, (unsigned) channels, 16, {}, 0));
        stream.release();
        const int lead = (int) (silence * 44100.0);
        const int n = lead + (int) (seconds * 44100.0);
        juce::AudioBuffer<float> buffer (channels, n);
        buffer.clear();
        for (int ch = 0; ch < channels; ++ch)
            for (int i = lead; i < n; ++i)
                buffer.setSample (
                    ch, i,
                    0.5f * std::sin (juce::MathConstants<float>::twoPi * 330.0f * (float) (i - lead) / 44100.0f));
        writer->writeFromAudioSampleBuffer (buffer, 0, n);
        return file;
    }

    juce::File dir;
};
