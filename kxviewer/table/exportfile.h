// A file an export writes: the bytes go to a temporary file beside the
// target, which replaces the target only when every write succeeded, so a
// failed export leaves the previous file as it was and no temporary behind.
// A link at the path is followed only where a write may follow it
// (utils/osal/writepath.h).
#pragma once

#include <QFile>

#include "utils/common/replacefile.h"

class ExportFile : public QFile {
public:
    explicit ExportFile(const QString& path);
    // An unfinished export's temporary file is removed.
    ~ExportFile() override;

    // Bytes the device takes before its writes fail, as a full disk's do
    // (ENOSPC); negative for no limit. Tests set it to stand in for a full
    // disk.
    static qint64 DeviceCapacity;

    // Creates the temporary file and opens it for writing; false, with
    // Failure saying why, when it cannot be made or the file it would
    // replace is a folder or one the user may not write.
    bool Open();
    // The path the export was asked to write.
    const QString& Path() const { return path_; }
    // Writes all of it; false (and the file doomed) on a short write.
    bool WriteAll(const char* data, qint64 size);
    // Renames the temporary file over the target; false, with the temporary
    // file removed, when any write or the rename failed.
    bool Finish();
    // Why the file could not be made, the first write or the rename failed,
    // as the system words it in the machine's language; empty while nothing
    // failed.
    QString Failure() const;

protected:
    qint64 writeData(const char* data, qint64 size) override;

private:
    // Notes the first failure: the system's error number now, when it names one.
    void Fail();

    QString path_;
    ZmLib::ReplaceFile saver_;
    qint64 written_ = 0;
    bool failed_ = false;
    int error_ = 0;
};
