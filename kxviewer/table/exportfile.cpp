#include "kxviewer/table/exportfile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFileInfo>

qint64 ExportFile::DeviceCapacity = -1;

ExportFile::ExportFile(const QString& path) : path_(path) {}

ExportFile::~ExportFile()
{
    close();
    saver_.Discard();
}

bool ExportFile::Open()
{
    // A folder in the way is told before anything is written, not at the
    // rename after the whole export.
    if (QFileInfo(path_).isDir()) {
        errno = EISDIR;
        Fail();
        return false;
    }
    errno = 0;
    const int fd = saver_.BeginDescriptor(QFile::encodeName(path_).constData());
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
