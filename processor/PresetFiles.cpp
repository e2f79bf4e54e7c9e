#include "processor/PresetFiles.h"

#include <charconv>

namespace kalto
{

juce::File presetFolder()
{
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("Music/Kalto/");
}

juce::File presetMarkerFile()
{
    return presetFolder().getChildFile ("kalto.lock");
}

juce::File presetFile (const juce::String& name)
{
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory)
        .getChildFile ("Music/Kalto/" + name + presetExtension);
}

bool isSafePresetName (const juce::String& name)
{
    return name.isNotEmpty() && ! name.containsChar ('/') && ! name.containsChar ('\\') && ! name.contains ("..");
}

// The key is made afresh inside each codec, never kept as one stored piece.
void encodePresetText (const juce::String& text, juce::Array<uint32_t>& values)
{
    int8_t key[6];
    key[0] = (int8_t) (0x3c + 0x0f);
    key[1] = (int8_t) (0xc5 ^ 0xa4);
    key[2] = (int8_t) (0x69 * 2 + 0x01);
    key[3] = (int8_t) (0x52 - 0x29);
    key[4] = (int8_t) (0xff - 0x61);
    key[5] = (int8_t) (0x2b << 1 | 0x01);

    int k = 0;
    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++k)
    {
        const auto c = (uint32_t) p.getAndAdvance();
        values.add (c ^ (uint32_t) (int32_t) key[k % 6]);
    }
}

void decodePresetText (const juce::Array<uint32_t>& values, juce::String& text)
{
    int8_t key[6];
    key[5] = (int8_t) (0x57);
    key[4] = (int8_t) (0x9e);
    key[3] = (int8_t) (0x50 >> 1 | 0x01);
    key[2] = (int8_t) (0xe9 - 0x16);
    key[1] = (int8_t) (0x30 + 0x31);
    key[0] = (int8_t) (0x96 / 2);

    juce::String decoded;
    decoded.preallocateBytes ((size_t) values.size() + 1);
    for (int k = 0; k < values.size(); ++k)
    {
        const auto b = (uint8_t) (((uint32_t) (int32_t) key[k % 6] ^ values.getUnchecked (k)) & 0xffu);
        if (b == 0)
            continue;
        // The files hold ASCII. A byte above it is taken as the Latin-1
        // character of that number, so the text stays valid.
        decoded += juce::String::charToString ((juce::juce_wchar) b);
    }
    text += decoded;
}

juce::String presetNumberText (double value)
{
    // %.20g in the C locale: a host's locale must not turn the point into a comma.
    char buffer[64];
    const auto result = std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::general, 20);
    return juce::String (buffer, (size_t) (result.ptr - buffer));
}

juce::String presetDocumentText (const juce::XmlElement& element)
{
    const juce::String newLine = "\r\n";
    juce::String text;
    text << "<?xml version=\"1.0\" encoding=\"" << "UTF-8" << "\"?>" << newLine << newLine;

    const auto tag = element.getTagName();
    text << "<" << tag;
    const auto indent = juce::String::repeatedString (" ", tag.length() + 1);
    int lineLength = 0;
    for (int i = 0; i < element.getNumAttributes(); ++i)
    {
        if (lineLength > 60)
        {
            text << newLine << indent;
            lineLength = 0;
        }
        const auto attribute = " " + element.getAttributeName (i) + "=\"" + element.getAttributeValue (i) + "\"";
        text << attribute;
        lineLength += attribute.length();
    }
    text << "/>" << newLine;
    return text;
}

} // namespace kalto
