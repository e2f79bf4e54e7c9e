#include "tools/kalto-host/OptionReaders.h"

#include "tools/kalto-host/Failure.h"

#include <limits>

namespace kalto::host
{
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

    auto opened = openInputFile (path);
    if (opened.failure != InputFile::Failure::none)
    {
        exitCode =
            fail (opened.failure == InputFile::Failure::missing ? exitMissingFile : exitBadAudio, opened.message);
        return std::nullopt;
    }
    auto& input = opened.audio;
    if (input.warning.isNotEmpty())
        warn (path + ": " + input.warning);

    const double rate = input.reader->sampleRate;
    if (checkRate && (rate < minSampleRate || rate > maxSampleRate))
    {
        exitCode = fail (exitBadAudio, "cannot read audio file: " + path + ": its rate of "
                                           + juce::String ((juce::int64) rate) + " Hz is outside "
                                           + juce::String (minSampleRate) + " to " + juce::String (maxSampleRate)
                                           + " Hz");
        return std::nullopt;
    }
    return std::move (input);
}
} // namespace kalto::host
