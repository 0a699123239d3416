// The main window with a prompt that also answers the open and save
// dialogs, generated files in a scratch folder, an empty recent-file list
// and the import formats restored after each test.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include "kxviewer/importformat.h"
#include "kxviewer/kxvstartup.h"
#include "shellfixture.h"

namespace shelltest {

struct DialogCall {
    QString caption;
    QString dir;
    QString filter;
};

class FilePrompt : public ScriptedPrompt {
public:
    QString OpenFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter) override
    {
        openCalls.push_back({caption, dir, filter});
        return Next();
    }
    QString SaveFileName(QWidget*, const QString& caption, const QString& dir, const QString& filter,
                         const QString&) override
    {
        saveCalls.push_back({caption, dir, filter});
        return Next();
    }

    std::deque<QString> files;
    std::vector<DialogCall> openCalls;
    std::vector<DialogCall> saveCalls;

private:
    QString Next()
    {
        if (files.empty())
            return QString();
        const QString next = files.front();
        files.pop_front();
        return next;
    }
};

class OpenTest : public MainWindowTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A generated raw record file of records records in the scratch folder.
    QString RawFile(const QString& name, uint32_t records);
    // A syslog text file of lines lines.
    QString SysLogFile(const QString& name, int lines);
    QString Missing(const QString& name) const { return dir.filePath(name); }

    static QStringList Recent();
    static void SetRecent(const QStringList& files);
    // The documents of the window, in dock order.
    std::vector<TabBase*> Documents() const;
    // Triggers a main-window action with the next dialog answering path.
    void Trigger(int actionId, const QString& path);

    QTemporaryDir dir;
    FilePrompt files;
    ImportFormatList savedFormats;
    std::string savedFilter;
};

} // namespace shelltest
