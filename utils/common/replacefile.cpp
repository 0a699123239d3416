#include "utils/common/replacefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "utils/kx/kx.h"
#include "utils/osal/writepath.h"

namespace ZmLib {

int ReplaceFile::Create(FILEB* named, const char* path)
{
    Discard();
    refusal_.clear();
    if (path == nullptr || *path == 0)
        return -1;

    // A symbolic link stays a link: the file it finally names is replaced,
    // and the temporary file lies in that file's folder so that the rename
    // stays on one file system. The rename replaces the name itself, so a
    // link put at the target after the check is never followed.
    std::string target;
    if (!ResolveWriteTarget(path, target, refusal_))
        return -1;
    struct stat old;
    const bool exists = lstat(target.c_str(), &old) == 0;

    static std::atomic<uint32_t> counter{0};
    std::string temp;
    int fd = -1;
    // O_EXCL: never reuse a name that another writer holds.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + "." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
        // The open file keeps its name in a PathStr: a name beyond it is
        // refused before anything is created.
        if (named != nullptr) {
            FILEB& file = *named;
            if (!KX_VERIFY(KxSys, file.SetPath(temp.c_str())))
                return -1;
        }
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return -1;
    }
    if (fd < 0)
        return -1;
    if (exists && S_ISREG(old.st_mode))
        fchmod(fd, old.st_mode & 07777);
    path_ = path;
    target_ = target;
    temp_ = temp;
    return fd;
}

bool ReplaceFile::Begin(FILEB& file, const char* path)
{
    file.Close();
    const int fd = Create(&file, path);
    FILE* stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (stream == nullptr) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        Discard();
        file.SetPath(path);
        errno = error;
        return false;
    }
    file.Handle = stream;
    file_ = &file;
    return true;
}

int ReplaceFile::BeginDescriptor(const char* path)
{
    return Create(nullptr, path);
}

bool ReplaceFile::Commit()
{
    if (!Active())
        return false;
    bool ok = true;
    if (file_ != nullptr) {
        ok = file_->Commit();
        ok = file_->Close() && ok;
    }
    ok = ok && rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        // The caller reports why the save failed, not the clean-up.
        const int error = errno;
        unlink(temp_.c_str());
        errno = error;
    }
    if (file_ != nullptr)
        file_->SetPath(path_.c_str());
    file_ = nullptr;
    temp_.clear();
    return ok;
}

void ReplaceFile::Discard()
{
    if (!Active())
        return;
    if (file_ != nullptr) {
        file_->Close();
        file_->SetPath(path_.c_str());
    }
    unlink(temp_.c_str());
    file_ = nullptr;
    temp_.clear();
}

} // namespace ZmLib
