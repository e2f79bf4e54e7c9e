#include "tools/kalto-host/OptionReaders.h"

#include "tools/kalto-host/Failure.h"

#include <limits>

namespace kalto::host
{
juce::File commandLineFile (const juce::String& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}

bool parseSetting (const juce::String& setting, Settings& settings)
{
    using namespace kalto::tools;

    // The index is checked against the plug-in once it is loaded.
    const auto index = parseNumber (setting.upToFirstOccurrenceOf ("=", false, false), std::numeric_limits<int>::min(),
                                    std::numeric_limits<int>::max(), true);
    const auto value = parseNumber (setting.fromFirstOccurrenceOf ("=", false, false), 0.0, 1.0);
    if (! setting.containsChar ('=') || ! index || ! value)
        return refuse ("--set", setting, "INDEX=VALUE, a parameter's index and a normalised value from 0 to 1");
    settings.emplace_back ((int) *index, (float) *value);
    return true;
}

std::optional<kalto::tools::AudioInput> openInput (const juce::String& path, bool checkRate, int& exitCode)
{
    using namespace kalto::tools;

    const auto file = commandLineFile (path);
    if (! file.existsAsFile())
    {
        exitCode = fail (exitMissingFile, "no such file: " + path);
        return std::nullopt;
    }

    auto input = openAudioFile (file);
    const auto cannotRead = "cannot read audio file: " + path;
    if (input.reader == nullptr || input.problem.isNotEmpty())
    {
        exitCode =
            fail (exitBadAudio, cannotRead + (input.problem.isNotEmpty() ? ": " + input.problem : juce::String()));
        return std::nullopt;
    }
    if (input.warning.isNotEmpty())
        warn (path + ": " + input.warning);

    const double rate = input.reader->sampleRate;
    if (checkRate && (rate < minSampleRate || rate > maxSampleRate))
    {
        exitCode = fail (exitBadAudio, cannotRead + ": its rate of " + juce::String ((juce::int64) rate)
                                           + " Hz is outside " + juce::String (minSampleRate) + " to "
                                           + juce::String (maxSampleRate) + " Hz");
        return std::nullopt;
    }
    return input;
}
} // namespace kalto::host
