// Before the application object of a shell test: the offscreen platform, and
// home, configuration and temporary folders inside home, so that no test
// reads or writes the user's settings.
#pragma once

#include <cstdlib>

#include <QTemporaryDir>

inline void UseIsolatedHome(const QTemporaryDir& home)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/.config"), 1);
    setenv("TMPDIR", qPrintable(home.path()), 1);
}
