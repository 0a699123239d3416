// Other users' links, files and folders for tests that cannot chown: the
// paths given seem to belong to another user wherever a writer asks who owns
// one (ZmLib::EntryOwner). The seam is put back at the end.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <string>

#include "utils/osal/writepath.h"

namespace kxtest {

class OtherOwners {
public:
    // A user that is neither the test's nor root.
    static constexpr uid_t OTHER = 4242;

    OtherOwners() : previous_(ZmLib::EntryOwner)
    {
        Owners().clear();
        ZmLib::EntryOwner = &Owner;
    }
    ~OtherOwners()
    {
        ZmLib::EntryOwner = previous_;
        Owners().clear();
    }
    OtherOwners(const OtherOwners&) = delete;
    OtherOwners& operator=(const OtherOwners&) = delete;

    // path, spelled as the writer reaches it, seems to be uid's.
    void Set(const std::string& path, uid_t uid = OTHER) { Owners()[path] = uid; }

    // The message of a write refused at link.
    static std::string Refusal(const std::string& link, uid_t uid = OTHER)
    {
        return link + " is a link owned by user " + std::to_string(uid) + " in a folder others can write to";
    }
    // The message of a write refused at another user's file.
    static std::string FileRefusal(const std::string& file, uid_t uid = OTHER)
    {
        return file + " is a file owned by user " + std::to_string(uid) + " in a folder others can write to";
    }

private:
    static std::map<std::string, uid_t>& Owners()
    {
        static std::map<std::string, uid_t> owners;
        return owners;
    }
    static uid_t Owner(const char* path, const struct stat& st)
    {
        const auto found = Owners().find(path);
        return found != Owners().end() ? found->second : st.st_uid;
    }

    ZmLib::EntryOwnerFunc previous_;
};

// A folder that others may write to, with the sticky bit, as /tmp.
inline bool MakeSharedFolder(const std::string& path)
{
    return mkdir(path.c_str(), 0700) == 0 && chmod(path.c_str(), 01777) == 0;
}

} // namespace kxtest
