// Files opened by name for reading in the viewer's Qt code go through the
// one read check (utils/osal/readpath.h): only a regular file is opened, and
// nothing waits on a FIFO.
#pragma once

#include <QFile>
#include <QString>

// Opens path into file for reading (with mode's other flags, as Text):
// false, with why for the user, when it is not read: what it is when it is
// no regular file ("<path> is a pipe, not a regular file: ..."), else the
// system's reason after the path.
bool OpenToRead(QFile& file, const QString& path, QString& why, QIODevice::OpenMode mode = QIODevice::ReadOnly);
