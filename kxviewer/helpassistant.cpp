#include "kxviewer/helpassistant.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>

#include "kxviewer/kxvstartup.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

constexpr int START_WAIT_MS = 30000;
constexpr int STOP_WAIT_MS = 3000;
// The collection's namespace and folder; the folder is spelled this way in
// the collection.
const char PAGE_PREFIX[] = "qthelp://kxviewer/documenation/";

// Help that cannot be shown: the System Log keeps the details, a critical
// box without a parent says what is missing.
void ReportMissing(const QString& text, const QString& details)
{
    KxvShell().AddToSystemLog(details);
    TearOffMain::Prompt().Message(nullptr, QMessageBox::Critical, QString::fromLatin1(KxvStartup::APP_NAME), text,
                                  QMessageBox::Ok, QMessageBox::Ok);
}

} // namespace

HelpAssistant::HelpAssistant() : program_(DefaultProgram()) {}

HelpAssistant::~HelpAssistant()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(STOP_WAIT_MS))
            process_->kill();
        process_->waitForFinished(STOP_WAIT_MS);
    }
}

QString HelpAssistant::DefaultProgram()
{
    return QLibraryInfo::location(QLibraryInfo::BinariesPath) + QStringLiteral("/assistant");
}

QString HelpAssistant::CollectionFile()
{
    return QString::fromStdString(PrefGlobal::ProgramDir) + QStringLiteral("documentation/kxviewer.qhc");
}

bool HelpAssistant::Start()
{
    if (!process_)
        process_ = std::make_unique<QProcess>();
    if (process_->state() == QProcess::Running)
        return true;
    const QString collection = CollectionFile();
    if (!QFileInfo::exists(collection)) {
        const QString text = QStringLiteral("Help collection not found: ") + collection;
        ReportMissing(text, text);
        return false;
    }
    process_->start(program_, {QStringLiteral("-collectionFile"), collection, QStringLiteral("-enableRemoteControl")},
                    QIODevice::ReadWrite);
    if (process_->waitForStarted(START_WAIT_MS))
        return true;
    const QString text =
        QCoreApplication::translate("HelpAssistant", "Unable to launch Qt Assistant (%1)").arg(program_);
    ReportMissing(text, text + QStringLiteral(": ") + process_->errorString());
    return false;
}

void HelpAssistant::ShowPage(const QString& page)
{
    if (Start())
        Write(QByteArray("SetSource ") + PAGE_PREFIX + page.toLocal8Bit() + '\n');
}

void HelpAssistant::SendCommand(const QString& command)
{
    if (Start())
        Write(command.toLocal8Bit() + '\n');
}

void HelpAssistant::Write(const QByteArray& line)
{
    if (process_->write(line) != line.size())
        KxvShell().AddToSystemLog(QStringLiteral("Help browser did not take the command: ") +
                                  QString::fromLocal8Bit(line.trimmed()));
}
