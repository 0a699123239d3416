// The shell words of tests/shellword.h for a path Qt holds.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include "tests/shellword.h"

inline QByteArray ShellWord(const QString& path)
{
    return QByteArray::fromStdString(ShellWord(QFile::encodeName(path).toStdString()));
}
