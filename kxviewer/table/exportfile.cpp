#include "kxviewer/table/exportfile.h"

qint64 ExportFile::DeviceCapacity = -1;

ExportFile::ExportFile(const QString& path) : QSaveFile(path) {}

bool ExportFile::WriteAll(const char* data, qint64 size)
{
    if (!failed_ && size > 0 && write(data, size) != size)
        failed_ = true;
    return !failed_;
}

bool ExportFile::Finish()
{
    if (failed_)
        cancelWriting();
    return commit();
}

qint64 ExportFile::writeData(const char* data, qint64 size)
{
    if (DeviceCapacity >= 0 && written_ + size > DeviceCapacity) {
        failed_ = true;
        return -1;
    }
    const qint64 done = QSaveFile::writeData(data, size);
    if (done != size)
        failed_ = true;
    if (done > 0)
        written_ += done;
    return done;
}
