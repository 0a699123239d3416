#include "kxviewer/upgradesettings.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QUrl>

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
