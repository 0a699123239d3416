#include "kxviewer/table/exportfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

qint64 ExportFile::DeviceCapacity = -1;

ExportFile::ExportFile(const QString& path) : path_(path) {}

ExportFile::~ExportFile()
{
    close();
    saver_.Discard();
}

bool ExportFile::Open()
{
    errno = 0;
    int fd = saver_.BeginDescriptor(QFile::encodeName(path_).constData());
    // A folder in the way, or a file the user may not write, is told now,
    // not at the rename after the whole export.
    if (fd >= 0) {
        const char* target = saver_.Target().c_str();
        struct stat st;
        int refused = 0;
        if (stat(target, &st) == 0 && S_ISDIR(st.st_mode))
            refused = EISDIR;
        else if (access(target, W_OK) != 0 && errno != ENOENT)
            refused = errno;
        if (refused != 0) {
            ::close(fd);
            fd = -1;
            errno = refused;
        }
    }
    if (fd >= 0 && open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return true;
    Fail();
    if (fd >= 0)
        ::close(fd);
    saver_.Discard();
    return false;
}

bool ExportFile::WriteAll(const char* data, qint64 size)
{
    if (!failed_ && size > 0 && write(data, size) != size)
        Fail();
    return !failed_;
}

bool ExportFile::Finish()
{
    // Written data still buffered goes out now: a full disk shows here.
    errno = 0;
    if (!failed_ && !(flush() && fdatasync(handle()) == 0))
        Fail();
    close();
    if (failed_) {
        saver_.Discard();
        return false;
    }
    errno = 0;
    if (!saver_.Commit()) {
        Fail();
        return false;
    }
    return true;
}

QString ExportFile::Failure() const
{
    if (!failed_)
        return QString();
    if (!saver_.Refusal().empty())
        return QString::fromLocal8Bit(saver_.Refusal().c_str());
    return error_ != 0 ? QString::fromLocal8Bit(strerror(error_)) : errorString();
}

void ExportFile::Fail()
{
    if (!failed_ || error_ == 0)
        error_ = errno;
    failed_ = true;
}

qint64 ExportFile::writeData(const char* data, qint64 size)
{
    if (DeviceCapacity >= 0 && written_ + size > DeviceCapacity) {
        errno = ENOSPC;
        Fail();
        return -1;
    }
    errno = 0;
    const qint64 done = QFile::writeData(data, size);
    if (done != size)
        Fail();
    if (done > 0)
        written_ += done;
    return done;
}
