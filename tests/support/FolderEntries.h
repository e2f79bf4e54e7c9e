#pragma once

// What a folder holds, by the names' bytes as the file system keeps them,
// and the things other than files that a test puts under a file's name.

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kalto::test
{
// Every entry's name but "." and "..", sorted by bytes.
inline std::vector<std::string> entriesOf (const juce::File& folder)
{
    std::vector<std::string> names;
    if (auto* dir = opendir (folder.getFullPathName().toRawUTF8()))
    {
        while (const auto* entry = readdir (dir))
            if (std::strcmp (entry->d_name, ".") != 0 && std::strcmp (entry->d_name, "..") != 0)
                names.push_back (entry->d_name);
        closedir (dir);
    }
    std::sort (names.begin(), names.end());
    return names;
}

// A UNIX socket bound at `path`, which must not exist yet; it stays after
// the socket is closed.
inline bool makeSocket (const juce::File& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const auto name = path.getFullPathName().toStdString();
    if (name.size() >= sizeof (address.sun_path))
        return false;
    std::memcpy (address.sun_path, name.c_str(), name.size() + 1);
    const auto s = socket (AF_UNIX, SOCK_STREAM, 0);
    if (s < 0)
        return false;
    const auto bound = bind (s, reinterpret_cast<const sockaddr*> (&address), sizeof (address)) == 0;
    close (s);
    return bound;
}
} // namespace kalto::test
