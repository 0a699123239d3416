// Writes the generated parts of the help collection: the help project and,
// beside it, the commands page its What's-this keywords lead to.
// Usage: kxvhelpindex <output .qhp>
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include "helpproject.h"

namespace {

bool WriteUtf8(const QString& path, const QString& text)
{
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush())
        return true;
    std::fprintf(stderr, "kxvhelpindex: cannot write %s: %s\n", QFile::encodeName(path).constData(),
                 file.errorString().toLocal8Bit().constData());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kxvhelpindex <output .qhp>\n");
        return 2;
    }
    // The keys' texts come from QKeySequence, which needs the application.
    QGuiApplication app(argc, argv);
    const QString project = QFile::decodeName(argv[1]);
    const QString page = QFileInfo(project).dir().filePath(QLatin1String(HelpProject::COMMANDS_PAGE));
    return WriteUtf8(project, HelpProject::Project()) && WriteUtf8(page, HelpProject::CommandsPage()) ? 0 : 1;
}
