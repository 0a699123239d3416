// Where tests make their scratch folders. The work folder's checks refuse a
// TMPDIR that someone else could rename on the way to, so a test that sets
// up folders for those checks must not inherit such a way from the machine.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "utils/osal/privatedir.h"

namespace kxtest {

// The first of TMPDIR, /tmp, /var/tmp and HOME that the tester may write to
// and on whose way nobody but the tester and root can rename anything;
// empty when there is none.
inline std::string SafeScratchParent()
{
    const char* tmpdir = getenv("TMPDIR");
    const char* home = getenv("HOME");
    for (const char* place : {tmpdir, "/tmp", "/var/tmp", home}) {
        if (place != nullptr && *place == '/' && access(place, W_OK | X_OK) == 0 &&
            ZmLib::WayProblem(place).empty())
            return place;
    }
    return std::string();
}

} // namespace kxtest
