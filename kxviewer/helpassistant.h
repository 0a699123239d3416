// The viewer's help: Qt Assistant on the help collection beside the
// executable, started on first use, kept running and driven through its
// remote-control commands on standard input.
#pragma once

#include <memory>

#include <QString>

class QProcess;

class HelpAssistant {
public:
    HelpAssistant();
    ~HelpAssistant();
    HelpAssistant(const HelpAssistant&) = delete;
    HelpAssistant& operator=(const HelpAssistant&) = delete;

    // Qt's binaries folder followed by "/assistant".
    static QString DefaultProgram();
    // The help collection: the program folder followed by
    // "documentation/kxviewer.qhc".
    static QString CollectionFile();

    // The help browser to start; the default until set.
    void SetProgram(const QString& program) { program_ = program; }
    const QString& Program() const { return program_; }

    // Makes sure the browser runs; false after reporting why it does not.
    bool Start();
    // Shows a page of the collection, such as "index.html".
    void ShowPage(const QString& page);
    // Sends one remote-control line as it is.
    void SendCommand(const QString& command);

private:
    void Write(const QByteArray& line);

    QString program_;
    std::unique_ptr<QProcess> process_;
};
