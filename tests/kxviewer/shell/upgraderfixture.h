// The built upgrader in a program folder of its own, beside an ini folder,
// started as the viewer starts it: on an open package, with the signed size
// and SHA-256, in this process's environment.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "tests/shellwordqt.h"
#include "utils/osal/process.h"

struct UpgraderFolders {
    // Both folders, the upgrader and the viewer (executable) made; false
    // when one could not be.
    bool Make(const QByteArray& viewer)
    {
        QFile file(program + "/KxViewer");
        const bool made = QDir().mkpath(program) && QDir().mkpath(ini) &&
                          QFile::copy(KXV_UPGRADER_PATH, program + "/Upgrader") &&
                          file.open(QIODevice::WriteOnly) && file.write(viewer) == viewer.size();
        file.close();
        return made && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The upgrader's process, or 0 with why; input becomes its standard
    // input, extra goes before this process's variables.
    pid_t Start(const QByteArray& package, int input, std::string& why,
                std::vector<std::string> extra = {}) const
    {
        for (const QString& variable : QProcessEnvironment::systemEnvironment().toStringList())
            extra.push_back(QFile::encodeName(variable).toStdString());
        return pid_t(ZmLib::PROCESS::SpawnWithInput(
            QFile::encodeName(program + "/Upgrader").toStdString(),
            {QFile::encodeName(ini).toStdString(), std::to_string(package.size()),
             QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex().toStdString()},
            extra, input, why));
    }

    QTemporaryDir root;
    const QString program = root.path() + "/program";
    const QString ini = root.path() + "/ini";
};
