// Where updates come from and how they are trusted. The address and the
// public key are fixed when the program is built (CMake variables
// KXV_UPGRADE_URL and KXV_UPGRADE_PUBLIC_KEY); the values below start as
// those and are changed only by the tests, which bring their own server and
// key pair. No command or dialog of the program writes them.
#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

struct UpgradeSettings {
    static const char* const BuiltInUrl;
    static const char* const BuiltInPublicKey;

    // The server folder, ending with '/'; empty: no server.
    static QString Url;
    static QByteArray PublicKeyPem;
    // A transfer with no data for this long ends.
    static int StallMs;
    // The folder of the program and its upgrader; empty: the executable's.
    static QString ProgramDir;
    // Downloads go here; empty: the per-user work folder.
    static QString WorkDir;
    // Set by "Check for Updates", cleared when an attempt ends: results go
    // to message boxes and the progress dialog shows.
    static bool Interactive;

    static constexpr int MAX_REDIRECTS = 5;
    static constexpr qint64 VERSION_FILE_LIMIT = 64 * 1024;

    static QString ProgramFolder();
    // https anywhere; http only to a loopback host.
    static bool IsAllowed(const QUrl& url);
};
