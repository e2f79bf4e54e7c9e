#include "processor/PresetFiles.h"

#include "processor/Parameters.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalto
{

namespace
{
// Below the home folder; made one level at a time.
constexpr const char* presetFolderPath = "Music/Kalto";
constexpr const char* markerFileName = "kalto.lock";

// The password database's answer grows its buffer up to this size.
constexpr size_t maxPasswordEntryBytes = 1 << 20;
constexpr size_t firstPasswordEntryBytes = 1024;

// A home the presets can live in: an absolute path to a folder, as text
// holds it. A relative one would follow the working folder, which the host
// or the framework sets.
juce::File usableHome (const char* path)
{
    struct stat info {};
    if (path == nullptr || path[0] != '/' || ! juce::CharPointer_UTF8::isValidString (path, (int) std::strlen (path))
        || stat (path, &info) != 0 || ! S_ISDIR (info.st_mode))
        return {};
    return juce::File (juce::CharPointer_UTF8 (path));
}

juce::File accountHome()
{
    const auto suggested = sysconf (_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer (suggested > 0 ? (size_t) suggested : firstPasswordEntryBytes);
    passwd entry {};
    passwd* found = nullptr;
    for (;;)
    {
        const auto error = getpwuid_r (getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == 0)
            break;
        if (error != EINTR && (error != ERANGE || buffer.size() >= maxPasswordEntryBytes))
            return {};
        if (error == ERANGE)
            buffer.resize (buffer.size() * 2);
    }
    return found != nullptr ? usableHome (found->pw_dir) : juce::File();
}

bool isRegularFile (const char* path)
{
    struct stat info {};
    return stat (path, &info) == 0 && S_ISREG (info.st_mode);
}
} // namespace

juce::File homeFolder()
{
    const auto home = usableHome (std::getenv ("HOME"));
    return home != juce::File() ? home : accountHome();
}

juce::File presetFolder()
{
    const auto home = homeFolder();
    return home != juce::File() ? home.getChildFile (presetFolderPath) : juce::File();
}

juce::File presetMarkerFile()
{
    const auto folder = presetFolder();
    return folder != juce::File() ? folder.getChildFile (markerFileName) : juce::File();
}

juce::File presetFile (const juce::String& name)
{
    const auto folder = presetFolder();
    return folder != juce::File() ? folder.getChildFile (name + presetExtension) : juce::File();
}

bool createPresetFolder()
{
    auto folder = homeFolder();
    if (folder == juce::File())
        return false;
    // mkdir makes no missing parent: a home that goes away meanwhile is not
    // made again.
    for (const auto& level : juce::StringArray::fromTokens (presetFolderPath, "/", ""))
    {
        folder = folder.getChildFile (level);
        if (mkdir (folder.getFullPathName().toRawUTF8(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return folder.isDirectory();
}

void createPresetMarker()
{
    if (! createPresetFolder())
        return;
    // Only a marker that does not exist is made: whatever is there already,
    // a FIFO included, is neither opened nor changed.
    const auto marker = open (presetMarkerFile().getFullPathName().toRawUTF8(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0644);
    if (marker >= 0)
        close (marker);
}

namespace
{
// UTF-8 as it is defined: no overlong form, no surrogate, nothing past
// U+10FFFF. The framework takes some such bytes as a character of another
// length, and cuts the name at the wrong place.
bool isWellFormedUtf8 (const char* text)
{
    static constexpr uint32_t smallest[] = { 0, 0x80, 0x800, 0x10000 };
    for (const auto* p = reinterpret_cast<const unsigned char*> (text); *p != 0;)
    {
        const auto lead = *p++;
        if (lead < 0x80)
            continue;
        int extra = 0;
        uint32_t c = 0;
        if (lead >= 0xc2 && lead <= 0xdf)
        {
            extra = 1;
            c = lead & 0x1fu;
        }
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            extra = 2;
            c = lead & 0x0fu;
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            extra = 3;
            c = lead & 0x07u;
        }
        else
        {
            return false;
        }
        for (int i = 0; i < extra; ++i, ++p)
        {
            if ((*p & 0xc0u) != 0x80u)
                return false;
            c = (c << 6) | (*p & 0x3fu);
        }
        if (c < smallest[extra] || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
            return false;
    }
    return true;
}

// The preset that a folder entry's name holds: the name before the extension,
// which loadPreset takes the same name and extension from again.
std::optional<juce::String> presetNameOf (const char* entryName)
{
    if (! isWellFormedUtf8 (entryName))
        return std::nullopt;
    const auto fileName = juce::String::fromUTF8 (entryName);
    // Spelt exactly: a file whose extension differs in case is another file.
    const juce::String extension (presetExtension);
    if (! fileName.endsWith (extension))
        return std::nullopt;
    const auto name = fileName.dropLastCharacters (extension.length());
    if (! isSafePresetName (name))
        return std::nullopt;
    return name;
}
} // namespace

juce::Array<juce::File> findPresetFiles()
{
    juce::Array<juce::File> found;
    const auto folder = presetFolder();
    if (folder == juce::File())
        return found;
    auto* dir = opendir (folder.getFullPathName().toRawUTF8());
    if (dir == nullptr)
        return found;
    while (const auto* entry = readdir (dir))
    {
        const auto name = presetNameOf (entry->d_name);
        if (! name)
            continue;
        const auto file = presetFile (*name);
        // Only regular files: a FIFO would make the load that reads it wait.
        if (std::strcmp (file.getFileName().toRawUTF8(), entry->d_name) == 0
            && isRegularFile (file.getFullPathName().toRawUTF8()))
            found.add (file);
    }
    closedir (dir);
    return found;
}

bool isSafePresetName (const juce::String& name)
{
    // A name without a separator cannot leave the folder, whatever dots it
    // holds. '\\' separates folders elsewhere, so it is refused as well to
    // keep presets portable. A juce::String ends at its first NUL, so no name
    // holds one.
    return name.isNotEmpty() && name != "." && name != ".."
        && ! name.containsChar ('/') && ! name.containsChar ('\\')
        && name.getNumBytesAsUTF8() + std::strlen (presetExtension) <= maxFileNameBytes;
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

    // Gathered as UTF-8 and made a string once: appending to a juce::String
    // one character at a time measures the whole string each time.
    std::string decoded;
    decoded.reserve ((size_t) values.size());
    for (int k = 0; k < values.size(); ++k)
    {
        const auto b = (uint8_t) (((uint32_t) (int32_t) key[k % 6] ^ values.getUnchecked (k)) & 0xffu);
        if (b == 0)
            continue;
        // The files hold ASCII. A byte above it is taken as the Latin-1
        // character of that number, so the text stays valid.
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
    text += juce::String::fromUTF8 (decoded.data(), (int) decoded.size());
}

juce::MemoryBlock presetRecords (const juce::String& text)
{
    juce::Array<uint32_t> values;
    encodePresetText (text, values);
    juce::MemoryOutputStream records ((size_t) values.size() * 8);
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
    values.ensureStorageAllocated ((int) (size / 8));
    for (size_t k = 0; k + 8 <= size; k += 8)
        values.add ((uint32_t) juce::ByteOrder::littleEndianInt (bytes + k));
    juce::String text;
    decodePresetText (values, text);
    return text;
}

juce::String readPresetText (const juce::File& file)
{
    // Opening a FIFO waits for a writer and reading one for data; a device
    // may never end. A file is opened without waiting, and then what was
    // opened is checked, so that nothing put in its place after the check
    // is read. The check before spares opening a device at all.
    const auto path = file.getFullPathName();
    if (! isRegularFile (path.toRawUTF8()))
        return {};
    const auto fd = open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};

    // One byte more than a preset may have tells a file that is too large
    // without reading the rest of it.
    juce::MemoryOutputStream bytes;
    struct stat info {};
    bool whole = fstat (fd, &info) == 0 && S_ISREG (info.st_mode);
    char chunk[8192];
    while (whole && bytes.getDataSize() <= maxPresetFileBytes)
    {
        const auto n = read (fd, chunk, sizeof (chunk));
        if (n > 0)
            bytes.write (chunk, (size_t) n);
        else if (n == 0)
            break;
        else if (errno != EINTR)
            whole = false;
    }
    close (fd);
    return whole ? presetTextFromRecords (bytes.getData(), bytes.getDataSize()) : juce::String();
}

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

        if (startsWith (p, end, "<!--"))
        {
            p = after (p + 4, end, "-->");
        }
        else if (startsWith (p, end, "<![CDATA["))
        {
            p = after (p + 9, end, "]]>");
        }
        else if (startsWith (p, end, "<?"))
        {
            p = after (p + 2, end, "?>");
        }
        else if (startsWith (p, end, "<!"))
        {
            p = after (p + 2, end, ">");
        }
        else if (startsWith (p, end, "</"))
        {
            const auto* close = std::find (p, end, '>');
            if (close == end)
                return false;
            if (--depth == 0)
                return juce::String (juce::CharPointer_UTF8 (p + 2), juce::CharPointer_UTF8 (close)).trim() == tag;
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
// The framework's reading of a number, which keeps the leading number of
// text with characters after it; none when the text holds no number, which
// the framework would read as 0. It gathers an exponent's digits in an int,
// which overflows past nine of them; an exponent of more than six
// significant digits gives an infinity or 0 whatever it is, so such a run
// is read as 999999 instead, which gives the same.
std::optional<double> readNumber (const juce::String& text)
{
    const auto original = text.toStdString();
    std::string bounded;
    bounded.reserve (original.size());
    for (size_t i = 0; i < original.size();)
    {
        const auto c = original[i++];
        bounded += c;
        if (c != 'e' && c != 'E')
            continue;
        if (i < original.size() && (original[i] == '+' || original[i] == '-'))
            bounded += original[i++];
        auto digitsEnd = i;
        while (digitsEnd < original.size() && original[digitsEnd] >= '0' && original[digitsEnd] <= '9')
            ++digitsEnd;
        auto firstSignificant = i;
        while (firstSignificant < digitsEnd && original[firstSignificant] == '0')
            ++firstSignificant;
        if (digitsEnd - firstSignificant > 6)
            bounded += "999999";
        else
            bounded.append (original, i, digitsEnd - i);
        i = digitsEnd;
    }
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

bool writePresetFile (const juce::File& file, const juce::String& text)
{
    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory())
        return false;

    // The records go to a file of their own beside the preset, which then
    // takes the preset's name in one rename: a crash or a full disk during a
    // save leaves the old preset whole. The temporary name does not grow with
    // the preset's, so any name the name rule accepts can be saved.
    const auto records = presetRecords (text);
    const auto hex = juce::String::toHexString (juce::Random::getSystemRandom().nextInt());
    juce::TemporaryFile temporary (file, folder.getNonexistentChildFile (".saving-" + hex, ".tmp", false));
    {
        // Unbuffered, so that a short write is seen; the flush syncs it to disk.
        juce::FileOutputStream out (temporary.getFile(), 0);
        if (! out.openedOk() || ! out.write (records.getData(), records.getSize()))
            return false;
        out.flush();
        if (out.getStatus().failed())
            return false;
    }
    return temporary.overwriteTargetFileWithTemporary();
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
