#pragma once

// The home folder that the password database gives this user, as the code
// under test sees it: a test sets one of its own, or none, for as long as an
// AccountHome lives, so that no test reaches the real one.

#include <string>

namespace kalto::test
{
class AccountHome
{
public:
    // `home` as this user's home folder; none (no entry for the user) when null.
    explicit AccountHome (const char* home);
    ~AccountHome();

    AccountHome (const AccountHome&) = delete;
    AccountHome& operator= (const AccountHome&) = delete;
};
} // namespace kalto::test
