#include "kxviewer/upgradesettings.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QUrl>

#include "kxviewer/prefdata.h"

QString UpgradeSettings::Url = QString::fromLatin1(UpgradeSettings::BuiltInUrl);
QByteArray UpgradeSettings::PublicKeyPem = QByteArray(UpgradeSettings::BuiltInPublicKey);
int UpgradeSettings::StallMs = 30000;
QString UpgradeSettings::ProgramDir;
QString UpgradeSettings::WorkDir;
bool UpgradeSettings::Interactive = false;

QString UpgradeSettings::ProgramFolder()
{
    return ProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : ProgramDir;
}

QString UpgradeSettings::WorkFolder()
{
    if (!WorkDir.isEmpty())
        return WorkDir;
    const std::string dir =
        PrefGlobal::TempWorkDir.empty() ? PrefGlobal::TempWorkDirFor(geteuid()) : PrefGlobal::TempWorkDir;
    return QFile::decodeName(dir.c_str());
}

bool UpgradeSettings::IsAllowed(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    if (url.scheme() != QLatin1String("http"))
        return false;
    const QString host = url.host();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}
