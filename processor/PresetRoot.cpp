#include "processor/PresetRoot.h"

#include <algorithm>
#include <cstring>

namespace kalto
{

// ---------------------------------------------------------------------------
// The document's structure, scanned over its UTF-8 bytes without recursion:
// where the root's start tag is and whether the root is closed. Only that
// start tag goes to the framework's parser, which must not see the rest: it
// recurses once per nested element, loops on a processing instruction in
// content, reads past the text after an unfinished character reference, and
// expands a document type's entities without end.

namespace
{
bool isXmlSpace (char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool startsWith (const char* p, const char* end, const char* prefix)
{
    const auto length = std::strlen (prefix);
    return (size_t) (end - p) >= length && std::memcmp (p, prefix, length) == 0;
}

// The position after the first `terminator` from p; none when the text ends first.
const char* after (const char* p, const char* end, const char* terminator)
{
    const auto* found = std::search (p, end, terminator, terminator + std::strlen (terminator));
    return found == end ? nullptr : found + std::strlen (terminator);
}

// The position after the tag whose '<' is at p; none when the text ends
// first. A quoted value may hold '>'.
const char* afterTag (const char* p, const char* end, bool& emptyElement)
{
    for (++p; p < end; ++p)
    {
        if (*p == '"' || *p == '\'')
        {
            p = std::find (p + 1, end, *p);
            if (p == end)
                return nullptr;
        }
        else if (*p == '>')
        {
            emptyElement = p[-1] == '/';
            return p + 1;
        }
    }
    return nullptr;
}

// A document type ends at the '>' that balances its '<', as the framework reads it.
const char* afterDocumentType (const char* p, const char* end)
{
    int depth = 0;
    for (; p < end; ++p)
    {
        if (*p == '<')
            ++depth;
        else if (*p == '>' && --depth == 0)
            return p + 1;
    }
    return nullptr;
}

// The first character after white space, declarations, processing
// instructions, comments and a document type; none when one of them does not end.
const char* skipProlog (const char* p, const char* end)
{
    while (p != nullptr)
    {
        while (p < end && isXmlSpace (*p))
            ++p;
        if (startsWith (p, end, "<?"))
            p = after (p + 2, end, "?>");
        else if (startsWith (p, end, "<!--"))
            p = after (p + 4, end, "-->");
        else if (startsWith (p, end, "<!DOCTYPE"))
            p = afterDocumentType (p, end);
        else
            return p;
    }
    return nullptr;
}

// Whether the markup at p opens no element: a comment, a CDATA section, a
// processing instruction or a declaration. If so, `next` is the position
// after it, none when it does not end.
bool skipsNonElement (const char* p, const char* end, const char*& next)
{
    if (startsWith (p, end, "<!--"))
        next = after (p + 4, end, "-->");
    else if (startsWith (p, end, "<![CDATA["))
        next = after (p + 9, end, "]]>");
    else if (startsWith (p, end, "<?"))
        next = after (p + 2, end, "?>");
    else if (startsWith (p, end, "<!"))
        next = after (p + 2, end, ">");
    else
        return false;
    return true;
}

// Whether the close tag from p, whose '>' is at `close`, names `tag`.
bool closeTagNames (const char* p, const char* close, const juce::String& tag)
{
    return juce::String (juce::CharPointer_UTF8 (p + 2), juce::CharPointer_UTF8 (close)).trim() == tag;
}

// Whether the content from p ends with the close tag of the element named
// `tag`, every element opened in it being closed first.
bool closesElement (const char* p, const char* end, const juce::String& tag)
{
    size_t depth = 1;
    while (p != nullptr)
    {
        p = std::find (p, end, '<');
        if (p == end)
            return false;

        const char* next = nullptr;
        if (skipsNonElement (p, end, next))
        {
            p = next;
            continue;
        }

        if (startsWith (p, end, "</"))
        {
            const auto* close = std::find (p, end, '>');
            if (close == end)
                return false;
            if (--depth == 0)
                return closeTagNames (p, close, tag);
            p = close + 1;
        }
        else
        {
            bool emptyElement = false;
            p = afterTag (p, end, emptyElement);
            if (! emptyElement)
                ++depth;
        }
    }
    return false;
}
} // namespace

std::unique_ptr<juce::XmlElement> parsePresetRoot (const juce::String& text)
{
    const auto* begin = text.toRawUTF8();
    const auto* end = begin + text.getNumBytesAsUTF8();
    const auto* start = skipProlog (begin, end);
    if (start == nullptr || start == end || *start != '<')
        return nullptr;

    bool emptyElement = false;
    const auto* startTagEnd = afterTag (start, end, emptyElement);
    if (startTagEnd == nullptr)
        return nullptr;

    auto root = juce::XmlDocument (juce::String (juce::CharPointer_UTF8 (start), juce::CharPointer_UTF8 (startTagEnd)))
                    .getDocumentElement (true);
    if (root == nullptr || (! emptyElement && ! closesElement (startTagEnd, end, root->getTagName())))
        return nullptr;
    return root;
}

} // namespace kalto
