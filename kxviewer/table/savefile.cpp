#include "kxviewer/table/savefile.h"

#include <memory>

#include <QFile>
#include <QFileInfo>

#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/exportfile.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {
QString DefaultSaveDir()
{
    return QFile::decodeName(PrefGlobal::DefaultSaveDir.c_str());
}

QString ChooseName(const QString& name, const QString& caption, const QString& filter, const QString& suffix,
                   const QString& start)
{
    QString chosen = name;
    if (chosen.isEmpty()) {
        // The dialog adds the suffix itself, so that its overwrite question
        // is about the file that will really be written.
        chosen = TearOffMain::Prompt().SaveFileName(nullptr, caption, start, filter, suffix);
        if (chosen.isNull())
            return QString();
    }
    if (!suffix.isEmpty() && QFileInfo(chosen).suffix().isEmpty())
        chosen += QLatin1Char('.') + suffix;
    return chosen;
}
} // namespace

QString AskSaveFileName(const QString& name, const QString& caption, const QString& filter,
                        const QString& defaultSuffix, const QString& proposed)
{
    return ChooseName(name, caption, filter, defaultSuffix, DefaultSaveDir() + QLatin1Char('/') + proposed);
}

ExportFile* CreateSaveFile(const QString& name, const QString& caption, const QString& filter,
                      const QString& defaultSuffix)
{
    const QString path = ChooseName(name, caption, filter, defaultSuffix, DefaultSaveDir());
    if (path.isNull())
        return nullptr;
    auto file = std::make_unique<ExportFile>(path);
    if (!file->Open()) {
        const QString text = QStringLiteral("Can't create file: %1: %2").arg(path, file->Failure());
        KxvShell().AddToSystemLog(text);
        KxvShell().Information(text, true);
        return nullptr;
    }
    return file.release();
}
