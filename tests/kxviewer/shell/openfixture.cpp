#include "openfixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>

#include "kxviewer/prefdata.h"
#include "kxviewer/table/tabbase.h"
#include "tests/kxlib/kxfilegen.h"

namespace shelltest {

namespace {

const char RecentKey[] = "recentFileList";

} // namespace

void OpenTest::SetUp()
{
    savedFormats = ImportFormats;
    savedFilter = PrefGlobal::LastOpenFilter;
    PrefGlobal::LastOpenFilter.clear();
    SetRecent({});
    MainWindowTest::SetUp();
}

void OpenTest::TearDown()
{
    MainWindowTest::TearDown();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ImportFormats = savedFormats;
    PrefGlobal::LastOpenFilter = savedFilter;
    MainWindow::OpenWithoutRecent = false;
    SetRecent({});
}

QString OpenTest::RawFile(const QString& name, uint32_t records)
{
    KxFileGen::Options options;
    options.records = records;
    const QString path = dir.filePath(name);
    EXPECT_TRUE(KxFileGen::WriteTrace(QFile::encodeName(path).constData(), options));
    return path;
}

QString OpenTest::SysLogFile(const QString& name, int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "Dec  7 11:00:" + std::to_string(10 + i % 50) + " host1 daemon.info sshd[" + std::to_string(100 + i) +
                "]: Accepted publickey for user" + std::to_string(i) + "\n";
    const QString path = dir.filePath(name);
    EXPECT_TRUE(KxFileGen::WriteFile(QFile::encodeName(path).constData(), text));
    return path;
}

QStringList OpenTest::Recent()
{
    const QSettings store(QString::fromLatin1(KxvStartup::ORGANISATION), QString::fromLatin1(KxvStartup::APP_NAME));
    return store.value(RecentKey).toStringList();
}

void OpenTest::SetRecent(const QStringList& files)
{
    QSettings store(QString::fromLatin1(KxvStartup::ORGANISATION), QString::fromLatin1(KxvStartup::APP_NAME));
    store.setValue(RecentKey, files);
}

std::vector<TabBase*> OpenTest::Documents() const
{
    std::vector<TabBase*> documents;
    for (TearOffTabDock* dock : window->Docks)
        if (auto* tab = qobject_cast<TabBase*>(dock))
            documents.push_back(tab);
    return documents;
}

void OpenTest::Trigger(int actionId, const QString& path)
{
    files.files.push_back(path);
    window->Actions[actionId]->trigger();
}

} // namespace shelltest
