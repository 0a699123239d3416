#include "utils/osal/fdir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "utils/kx/kx.h"

namespace ZmLib {

FDIR::FDIR(const char* dir) : Dir(dir != nullptr ? dir : "")
{
    // The separator is added per entry; one the caller wrote is not doubled.
    while (Dir.size() > 1 && (Dir.back() == '/' || Dir.back() == '\\'))
        Dir.pop_back();
}

FDIR::~FDIR()
{
    Close();
}

void FDIR::Close()
{
    if (Handle != nullptr) {
        closedir(Handle);
        Handle = nullptr;
    }
}

const char* FDIR::FileFirst()
{
    Close();
    Handle = opendir(Dir.empty() ? "." : Dir.c_str());
    if (Handle == nullptr)
        return nullptr;
    const char* entry = NextEntry();
    if (entry == nullptr)
        Close();
    return entry;
}

const char* FDIR::FileNext()
{
    if (Handle == nullptr) {
        KxSys.AssertReport(0, false, __FILE__, __LINE__, __func__, "Handle");
        return nullptr;
    }
    return NextEntry();
}

const char* FDIR::NextEntry()
{
    for (;;) {
        errno = 0;
        struct dirent* ent = readdir(Handle);
        if (ent == nullptr)
            return nullptr;
        const char* name = ent->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
            continue;
        bool fits;
        if (Dir.empty())
            fits = Entry.Set(name) == strlen(name);
        else if (Dir == "/")
            fits = Entry.Format("/%s", name).Length() == strlen(name) + 1;
        else
            fits = Entry.Format("%s/%s", Dir.c_str(), name).Length() == Dir.size() + 1 + strlen(name);
        // A path that does not fit is skipped rather than given out cut.
        if (!fits) {
            KX_WARNING(KxSys, "FDIR: path too long, entry %s skipped", name);
            continue;
        }
        return Entry.c_str();
    }
}

bool FDIR::MkDir_(const char* path)
{
    if (path == nullptr || *path == 0)
        return true;
    struct stat st;
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    if (mkdir(path, 0777) == 0)
        return true;
    KX_WARNING(KxSys, "_mkdir(%s) failed, errno = %d", path, errno);
    return false;
}

bool FDIR::RmDir_(const char* path)
{
    int rc = path != nullptr ? rmdir(path) : -1;
    if (rc == 0)
        return true;
    KX_WARNING(KxSys, "_rmdir(%s) failed, error returned = %d", path != nullptr ? path : "", rc);
    return false;
}

} // namespace ZmLib
