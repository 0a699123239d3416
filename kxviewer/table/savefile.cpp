#include "kxviewer/table/savefile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// Why no file can be created at path, as the system words it: the save file
// names only some causes, and those in English whatever the machine's
// language. A file made the same way, beside the target, finds it out.
QString CreateFailure(const QString& path, const QString& saveFileText)
{
    const QFileInfo target(path);
    if (target.isDir())
        return QString::fromLocal8Bit(strerror(EISDIR));
    QByteArray probe = QFile::encodeName(target.absolutePath() + QStringLiteral("/.kxv-XXXXXX"));
    const int fd = mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0)
        return QString::fromLocal8Bit(strerror(errno));
    close(fd);
    unlink(probe.constData());
    return saveFileText;
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
    if (!file->open(QIODevice::WriteOnly)) {
        const QString text =
            QStringLiteral("Can't create file: %1: %2").arg(path, CreateFailure(path, file->errorString()));
        KxvShell().AddToSystemLog(text);
        KxvShell().Information(text, true);
        return nullptr;
    }
    return file.release();
}
