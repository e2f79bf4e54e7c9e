// The preset reader under libFuzzer. Each input is read as a preset file's
// bytes and, so that the fuzzer need not learn the key, as the text a file
// decodes to; each is then read the way loadPreset reads it.

#include "processor/Parameters.h"
#include "processor/PresetCodec.h"
#include "processor/PresetDocument.h"
#include "processor/PresetRoot.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace
{
void readAsLoadPresetDoes (const juce::String& text)
{
    const auto root = kalto::parsePresetRoot (text);
    if (root == nullptr || ! root->getTagName().equalsIgnoreCase (kalto::presetRootTag))
        return;

    for (int i = 0; i < kalto::numParameters; ++i)
    {
        const auto attribute = kalto::presetAttributeName (*root, i, kalto::parameterIdentifier (i));
        const auto value = kalto::presetValue (*root, attribute, 0.5f);
        // Every value that reaches a parameter is a normalised one.
        if (! (value >= 0.0f && value <= 1.0f))
            __builtin_trap();
    }
}

// The bytes as characters, as the decoder gives them: one per byte, 0 dropped.
juce::String textOf (const uint8_t* data, size_t size)
{
    std::vector<juce::juce_wchar> characters;
    characters.reserve (size + 1);
    for (size_t i = 0; i < size; ++i)
        if (data[i] != 0)
            characters.push_back ((juce::juce_wchar) data[i]);
    characters.push_back (0);
    return juce::String (juce::CharPointer_UTF32 (characters.data()));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    readAsLoadPresetDoes (kalto::presetTextFromRecords (data, size));

    const auto text = textOf (data, size);
    readAsLoadPresetDoes (text);

    // What a save writes reads back as the same text.
    const auto records = kalto::presetRecords (text);
    if (kalto::presetTextFromRecords (records.getData(), records.getSize()) != text)
        __builtin_trap();
    return 0;
}
