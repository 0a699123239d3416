#include "utils/common/replacefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "utils/kx/kx.h"

namespace ZmLib {

bool ReplaceFile::Begin(FILEB& file, const char* path)
{
    Discard();
    file.Close();
    if (path == nullptr || *path == 0)
        return false;

    // A symbolic link stays a link: the file it finally names is replaced,
    // and the temporary file lies in that file's folder so that the rename
    // stays on one file system.
    std::string target(path);
    if (char* resolved = realpath(path, nullptr)) {
        target = resolved;
        free(resolved);
    }

    static std::atomic<uint32_t> counter{0};
    std::string temp;
    int fd = -1;
    // O_EXCL: never reuse a name that another writer holds.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + "." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
        // The open file keeps its name in a PathStr: a name beyond it is
        // refused before anything is created.
        if (!KX_VERIFY(KxSys, file.SetPath(temp.c_str())))
            return false;
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    struct stat old;
    if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        fchmod(fd, old.st_mode & 07777);

    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    file.Handle = stream;
    file_ = &file;
    path_ = path;
    target_ = target;
    temp_ = temp;
    return true;
}

bool ReplaceFile::Commit()
{
    if (file_ == nullptr)
        return false;
    bool ok = file_->Commit();
    ok = file_->Close() && ok;
    ok = ok && rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok)
        unlink(temp_.c_str());
    file_->SetPath(path_.c_str());
    file_ = nullptr;
    temp_.clear();
    return ok;
}

void ReplaceFile::Discard()
{
    if (file_ == nullptr)
        return;
    file_->Close();
    unlink(temp_.c_str());
    file_->SetPath(path_.c_str());
    file_ = nullptr;
    temp_.clear();
}

} // namespace ZmLib
