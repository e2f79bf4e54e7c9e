#include "processor/PresetCodec.h"

#include <string>

namespace kalto
{

namespace
{
// The key's bytes are used in turn, from the first character on.
constexpr int keyLength = 6;

// A record holds a value in its lower 32 bits; the upper ones are 0.
constexpr size_t recordBytes = 8;

// The files hold ASCII. A byte above it is taken as the Latin-1 character of
// that number, so the text stays valid.
void appendAsUtf8 (std::string& decoded, uint8_t b)
{
    if (b < 0x80)
    {
        decoded += (char) b;
    }
    else
    {
        decoded += (char) (0xc0 | (b >> 6));
        decoded += (char) (0x80 | (b & 0x3f));
    }
}
} // namespace

// The key is made afresh inside each codec, never kept as one stored piece.
void encodePresetText (const juce::String& text, juce::Array<uint32_t>& values)
{
    int8_t key[keyLength];
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
        values.add (c ^ (uint32_t) (int32_t) key[k % keyLength]);
    }
}

void decodePresetText (const juce::Array<uint32_t>& values, juce::String& text)
{
    int8_t key[keyLength];
    key[5] = (int8_t) (0x57);
    key[4] = (int8_t) (0x9e);
    key[3] = (int8_t) (0x50 >> 1 | 0x01);
    key[2] = (int8_t) (0xe9 - 0x16);
    key[1] = (int8_t) (0x30 + 0x31);
    key[0] = (int8_t) (0x96 / 2);

    // Gathered as UTF-8 and made a string once: appending to a juce::String
    // one character at a time measures the whole string each time.
    std::string decoded;
    decoded.reserve ((size_t) values.size());
    for (int k = 0; k < values.size(); ++k)
    {
        const auto b = (uint8_t) (((uint32_t) (int32_t) key[k % keyLength] ^ values.getUnchecked (k)) & 0xffu);
        if (b != 0)
            appendAsUtf8 (decoded, b);
    }
    text += juce::String::fromUTF8 (decoded.data(), (int) decoded.size());
}

juce::MemoryBlock presetRecords (const juce::String& text)
{
    juce::Array<uint32_t> values;
    encodePresetText (text, values);
    juce::MemoryOutputStream records ((size_t) values.size() * recordBytes);
    for (const auto v : values)
        records.writeInt64 ((juce::int64) v);
    return records.getMemoryBlock();
}

juce::String presetTextFromRecords (const void* data, size_t size)
{
    if (size > maxPresetFileBytes)
        return {};

    const auto* bytes = static_cast<const char*> (data);
    juce::Array<uint32_t> values;
    values.ensureStorageAllocated ((int) (size / recordBytes));
    for (size_t k = 0; k + recordBytes <= size; k += recordBytes)
        values.add ((uint32_t) juce::ByteOrder::littleEndianInt (bytes + k));
    juce::String text;
    decodePresetText (values, text);
    return text;
}

} // namespace kalto
