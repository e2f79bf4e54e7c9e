#include "processor/PresetDocument.h"

#include "processor/Parameters.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace kalto
{

namespace
{
// A line of attributes ends with the one that takes it past this many
// characters, as the framework's XML writer wraps them with this length.
constexpr int lineWrapLength = 60;

// As the framework writes a double attribute: enough digits that the text
// reads back as the same double, and so as the same float.
constexpr int numberDigits = 20;
} // namespace

juce::String presetDocumentText (const juce::XmlElement& element)
{
    const juce::String newLine = "\r\n";
    juce::String text;
    text << "<?xml version=\"1.0\" encoding=\""
         << "UTF-8"
         << "\"?>" << newLine << newLine;

    const auto tag = element.getTagName();
    text << "<" << tag;
    const auto indent = juce::String::repeatedString (" ", tag.length() + 1);
    int lineLength = 0;
    for (int i = 0; i < element.getNumAttributes(); ++i)
    {
        if (lineLength > lineWrapLength)
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

juce::String presetNumberText (double value)
{
    // %.20g in the C locale: a host's locale must not turn the point into a comma.
    char buffer[64];
    const auto result =
        std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::general, numberDigits);
    return juce::String (buffer, (size_t) (result.ptr - buffer));
}

juce::String presetAttributeName (const juce::XmlElement& document, int index, const juce::String& identifier)
{
    // Files from before the integer gain had an identifier of its own hold
    // one "gain" attribute, which carried that parameter's value; the float
    // gain was not saved in them.
    if (! document.hasAttribute (gainIntIdentifier))
    {
        if (index == gainIndex)
            return {};
        if (index == gainIntIndex)
            return "gain";
    }
    return identifier;
}

namespace
{
// The framework gathers an exponent's digits in an int, which overflows past
// nine of them. An exponent of more than six significant digits gives an
// infinity or 0 whatever it is, so such a run is read as 999999 instead,
// which gives the same.
constexpr size_t maxExponentDigits = 6;
constexpr const char* longExponent = "999999";

bool isDigit (char c)
{
    return c >= '0' && c <= '9';
}

// Appends the exponent that starts at `i` in `original`, its sign and its
// digits, to `bounded`, a long run of digits as longExponent. Gives the
// position after the digits.
size_t appendExponent (const std::string& original, size_t i, std::string& bounded)
{
    if (i < original.size() && (original[i] == '+' || original[i] == '-'))
        bounded += original[i++];
    auto digitsEnd = i;
    while (digitsEnd < original.size() && isDigit (original[digitsEnd]))
        ++digitsEnd;
    auto firstSignificant = i;
    while (firstSignificant < digitsEnd && original[firstSignificant] == '0')
        ++firstSignificant;
    if (digitsEnd - firstSignificant > maxExponentDigits)
        bounded += longExponent;
    else
        bounded.append (original, i, digitsEnd - i);
    return digitsEnd;
}

// The text with every exponent bounded as appendExponent bounds it.
std::string withBoundedExponents (const std::string& original)
{
    std::string bounded;
    bounded.reserve (original.size());
    for (size_t i = 0; i < original.size();)
    {
        const auto c = original[i++];
        bounded += c;
        if (c == 'e' || c == 'E')
            i = appendExponent (original, i, bounded);
    }
    return bounded;
}

// The framework's reading of a number, which keeps the leading number of
// text with characters after it; none when the text holds no number, which
// the framework would read as 0.
std::optional<double> readNumber (const juce::String& text)
{
    const auto bounded = withBoundedExponents (text.toStdString());
    // The framework's reader moves past what it read, and back to where the
    // number would start when it finds none.
    const auto number = juce::String::fromUTF8 (bounded.data(), (int) bounded.size());
    auto p = number.getCharPointer();
    const auto start = p.findEndOfWhitespace();
    const auto value = juce::CharacterFunctions::readDoubleValue (p);
    if (p == start)
        return std::nullopt;
    return value;
}
} // namespace

float presetValue (const juce::XmlElement& document, const juce::String& attribute, float current)
{
    if (attribute.isEmpty() || ! document.hasAttribute (attribute))
        return current;
    // A NaN or an infinity would be stored as it comes by the parameter classes.
    const auto value = readNumber (document.getStringAttribute (attribute));
    if (! value || ! std::isfinite (*value))
        return current;
    return (float) juce::jlimit (0.0, 1.0, *value);
}

} // namespace kalto
