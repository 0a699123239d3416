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
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return -1;
    }

    // A symbolic link stays a link: the file it finally names is replaced,
    // and the temporary file lies in that file's folder so that the rename
    // stays on one file system. The rename replaces the name itself, so a
    // link put at the target after the check is never followed.
    std::string target;
    if (!ResolveWriteTarget(path, target, refusal_))
        return -1;
    struct stat old;
    const bool replaces = lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    static std::atomic<uint32_t> counter{0};
    std::string temp;
    int fd = -1;
    // O_EXCL: never reuse a name that another writer holds. 0600: what is
    // written is nobody else's to read until the file takes its place.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + "." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
        // The open file keeps its name in a PathStr: a name beyond it is
        // refused before anything is created.
        if (named != nullptr) {
            FILEB& file = *named;
            if (!KX_VERIFY(KxSys, file.SetPath(temp.c_str()))) {
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return -1;
    }
    if (fd < 0)
        return -1;
    // Held until the rename, whoever closes the writer's descriptor, so
    // that the final mode goes to this file and no other.
    held_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (held_ < 0) {
        const int error = errno;
        close(fd);
        unlink(temp.c_str());
        errno = error;
        return -1;
    }
    // A replaced file's permissions, without set-user, set-group or sticky
    // bits (root's copy of them would grant root's rights); a new file's as
    // open would give it.
    mode_ = replaces ? mode_t(old.st_mode & 0777) : NewFileMode();
    owner_ = replaces ? old.st_uid : uid_t(-1);
    group_ = replaces ? old.st_gid : gid_t(-1);
    path_ = path;
    target_ = target;
    temp_ = temp;
    return fd;
}

bool ReplaceFile::TakeFinalMode()
{
    mode_t mode = mode_;
    // The replaced file's owner and group, where the writer may give the
    // file to them (root may): its owner can still read it. Else the group
    // alone, where the writer is in it; the group's permissions only for
    // that group, else none.
    struct stat st;
    if (group_ != gid_t(-1) && fstat(held_, &st) == 0 && (st.st_uid != owner_ || st.st_gid != group_) &&
        fchown(held_, owner_, group_) != 0 && st.st_gid != group_ && fchown(held_, uid_t(-1), group_) != 0)
        mode &= ~mode_t(070);
    return fchmod(held_, mode) == 0;
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
    ok = ok && TakeFinalMode() && rename(temp_.c_str(), target_.c_str()) == 0;
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
    ReleaseHeld();
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
    ReleaseHeld();
}

void ReplaceFile::ReleaseHeld()
{
    // A failure's errno stays the caller's to report.
    const int error = errno;
    if (held_ >= 0)
        close(held_);
    held_ = -1;
    errno = error;
}

} // namespace ZmLib
