#include "processor/PresetFolder.h"

#include "processor/PresetCodec.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
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
    struct stat info
    {};
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
    struct stat info
    {};
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
    if (folder == juce::File() || ! isSafePresetName (name))
        return {};
    // Joined as text, never parsed as a path: the framework's getChildFile
    // and File (String) take a leading '~' for a home folder, and "~Lead"
    // would name a file in the working folder.
    return juce::File::createFileWithoutCheckingPath (juce::File::addTrailingSeparator (folder.getFullPathName()) + name
                                                      + presetExtension);
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
// The bits of a lead byte that the character keeps, and how many
// continuation bytes follow it; false for a byte that leads no character.
bool readLeadByte (unsigned char lead, int& extra, uint32_t& c)
{
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
    return true;
}

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
        if (! readLeadByte (lead, extra, c))
            return false;
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
    return name.isNotEmpty() && name != "." && name != ".." && ! name.containsChar ('/') && ! name.containsChar ('\\')
           && name.getNumBytesAsUTF8() + std::strlen (presetExtension) <= maxFileNameBytes;
}

namespace
{
// Any size reads a file; this one takes most presets in one read.
constexpr size_t readChunkBytes = 8192;

// Reads the file open at fd into `bytes` until it ends or they are one byte
// more than a preset may have, which tells a file that is too large without
// reading the rest of it. False when fd is no regular file or a read fails.
bool readUpToLimit (int fd, juce::MemoryOutputStream& bytes)
{
    struct stat info
    {};
    bool whole = fstat (fd, &info) == 0 && S_ISREG (info.st_mode);
    char chunk[readChunkBytes];
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
    return whole;
}
} // namespace

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

    juce::MemoryOutputStream bytes;
    const auto whole = readUpToLimit (fd, bytes);
    close (fd);
    return whole ? presetTextFromRecords (bytes.getData(), bytes.getDataSize()) : juce::String();
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

} // namespace kalto
