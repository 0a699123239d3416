// Before the application object of a shell test, beside a PinnedScreen: home,
// configuration, temporary and program folders inside home, so that no test
// reads or writes the user's settings, and test programs run side by side
// never share the ini and log files the build folder would hold. Home is made
// on a safe way, so that its TMPDIR holds the work folder whatever the
// machine's TMPDIR is.
#pragma once

#include <cstdlib>

#include <QDir>
#include <QTemporaryDir>

#include "kxviewer/prefdata.h"
#include "tests/pinnedscreen.h"
#include "tests/utils/osal/safescratch.h"

// The template for the home folder's QTemporaryDir.
inline QString IsolatedHomeTemplate()
{
    return QString::fromStdString(kxtest::SafeScratchParent()) + "/kxviewer-home-XXXXXX";
}

inline void UseIsolatedHome(const QTemporaryDir& home)
{
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/.config"), 1);
    setenv("TMPDIR", qPrintable(home.path()), 1);
    QDir(home.path()).mkpath("program");
    PrefGlobal::ProgramDir = QDir(home.path()).filePath("program/").toStdString();
}
