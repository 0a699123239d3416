// A file an export writes: the bytes go to a temporary file beside the
// target, which replaces the target only when every write succeeded, so a
// failed export leaves the previous file as it was and no temporary behind.
#pragma once

#include <QSaveFile>

class ExportFile : public QSaveFile {
public:
    explicit ExportFile(const QString& path);

    // Bytes the device takes before its writes fail, as a full disk's do
    // (ENOSPC); negative for no limit. Tests set it to stand in for a full
    // disk.
    static qint64 DeviceCapacity;

    // Writes all of it; false (and the file doomed) on a short write.
    bool WriteAll(const char* data, qint64 size);
    // Renames the temporary file over the target; false, with the temporary
    // file removed, when any write or the rename failed.
    bool Finish();
    // Why the first write or the rename failed, as the system words it in
    // the machine's language; empty while nothing failed.
    QString Failure() const;

protected:
    qint64 writeData(const char* data, qint64 size) override;

private:
    // Notes the first failure: the system's error number now, when it names one.
    void Fail();

    qint64 written_ = 0;
    bool failed_ = false;
    int error_ = 0;
};
