#include "kxviewer/readfile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "utils/osal/readpath.h"

bool OpenToRead(QFile& file, const QString& path, QString& why, QIODevice::OpenMode mode)
{
    std::string refusal;
    const int fd = ZmLib::OpenToRead(QFile::encodeName(path).constData(), refusal);
    if (fd >= 0 && file.open(fd, mode | QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    const int error = fd >= 0 ? EIO : errno;
    if (fd >= 0)
        close(fd);
    why = refusal.empty() ? path + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(error))
                          : QString::fromLocal8Bit(refusal.c_str());
    return false;
}
