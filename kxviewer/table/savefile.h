// Asking for the name of a file to save and creating it.
#pragma once

#include <QString>

class ExportFile;

// name given: it is kept, with "." + defaultSuffix added when it has no
// suffix. name empty: the save dialog starts at the "DefaultSaveDir"
// preference + "/" + proposed; the dialog itself adds the default suffix before its overwrite
// question. A null text when cancelled.
QString AskSaveFileName(const QString& name, const QString& caption, const QString& filter,
                        const QString& defaultSuffix, const QString& proposed);
// The same choice of name (the dialog starts at the default folder), then
// the file opened for writing: an existing file stays as it is until the
// export finishes the new one. Null after reporting "Can't create file: " +
// name + ": " + why. The caller owns the file.
ExportFile* CreateSaveFile(const QString& name, const QString& caption, const QString& filter,
                      const QString& defaultSuffix);
