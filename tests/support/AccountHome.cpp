#include "tests/support/AccountHome.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

namespace
{
std::mutex entryMutex;
bool replaced = false;
std::optional<std::string> replacementHome;

// Copies `text` into the caller's buffer; null when it does not fit.
char* place (const char* text, char*& buffer, size_t& size)
{
    const auto length = std::strlen (text) + 1;
    if (length > size)
        return nullptr;
    auto* placed = static_cast<char*> (std::memcpy (buffer, text, length));
    buffer += length;
    size -= length;
    return placed;
}
} // namespace

namespace kalto::test
{
AccountHome::AccountHome (const char* home)
{
    const std::lock_guard<std::mutex> lock (entryMutex);
    replaced = true;
    replacementHome = home != nullptr ? std::optional<std::string> (home) : std::nullopt;
}

AccountHome::~AccountHome()
{
    const std::lock_guard<std::mutex> lock (entryMutex);
    replaced = false;
    replacementHome.reset();
}
} // namespace kalto::test

// Defined in the test program, this takes the place of the C library's for
// every caller in it; other users, and this one while nothing is replaced,
// get the C library's answer.
extern "C" int getpwuid_r (uid_t uid, passwd* entry, char* buffer, size_t size, passwd** result)
{
    using Lookup = int (*) (uid_t, passwd*, char*, size_t, passwd**);
    static const auto real = reinterpret_cast<Lookup> (dlsym (RTLD_NEXT, "getpwuid_r"));

    std::unique_lock<std::mutex> lock (entryMutex);
    if (! replaced || uid != getuid())
    {
        lock.unlock();
        return real (uid, entry, buffer, size, result);
    }

    *result = nullptr;
    if (! replacementHome)
        return 0;

    *entry = {};
    entry->pw_uid = uid;
    entry->pw_gid = getgid();
    entry->pw_name = place ("kalto-test", buffer, size);
    entry->pw_passwd = place ("x", buffer, size);
    entry->pw_gecos = place ("", buffer, size);
    entry->pw_dir = place (replacementHome->c_str(), buffer, size);
    entry->pw_shell = place ("/bin/sh", buffer, size);
    if (entry->pw_name == nullptr || entry->pw_passwd == nullptr || entry->pw_gecos == nullptr
        || entry->pw_dir == nullptr || entry->pw_shell == nullptr)
        return ERANGE;
    *result = entry;
    return 0;
}
