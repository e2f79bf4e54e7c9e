// Writes the fuzzer's seed corpus into the folder named: the default preset
// as the plug-in saves it on first start, and its document text.

#include "processor/Parameters.h"
#include "processor/PresetDocument.h"
#include "processor/PresetFolder.h"

#include <cstdio>

namespace
{
// A default as the parameter classes normalise it: linear over the range.
double normalisedDefault (const kalto::ParameterSpec& row)
{
    if (row.kind == kalto::ParameterKind::Bool)
        return row.defaultValue;
    return (double) juce::NormalisableRange<float> (row.minimum, row.maximum).convertTo0to1 (row.defaultValue);
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: preset_seed FOLDER\n");
        return 2;
    }
    const juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));

    juce::XmlElement document (kalto::presetRootTag);
    for (int i = 0; i < kalto::numParameters; ++i)
        document.setAttribute (juce::String (kalto::parameterIdentifier (i)),
                               kalto::presetNumberText (normalisedDefault (kalto::parameterTable[(size_t) i])));
    const auto text = kalto::presetDocumentText (document);

    if (! kalto::writePresetFile (
            folder.getChildFile (juce::String (kalto::defaultPresetName) + kalto::presetExtension), text)
        || ! folder.getChildFile ("default-preset-text").replaceWithText (text, false, false, nullptr))
    {
        std::fprintf (stderr, "preset_seed: cannot write into %s\n", argv[1]);
        return 6;
    }
    return 0;
}
