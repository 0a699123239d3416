#include "kxviewer/table/exportfile.h"

#include <cerrno>
#include <cstring>

qint64 ExportFile::DeviceCapacity = -1;

ExportFile::ExportFile(const QString& path) : QSaveFile(path) {}

bool ExportFile::WriteAll(const char* data, qint64 size)
{
    if (!failed_ && size > 0 && write(data, size) != size)
        Fail();
    return !failed_;
}

bool ExportFile::Finish()
{
    if (failed_)
        cancelWriting();
    // Written data still buffered goes out now: a full disk shows here.
    errno = 0;
    const bool done = commit();
    if (!done)
        Fail();
    return done;
}

QString ExportFile::Failure() const
{
    if (!failed_)
        return QString();
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
    const qint64 done = QSaveFile::writeData(data, size);
    if (done != size)
        Fail();
    if (done > 0)
        written_ += done;
    return done;
}
