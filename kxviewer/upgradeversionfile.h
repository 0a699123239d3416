// The signed description of a release on the download server: line 1 the
// version "a.b.c.d", then "executable SIZE SHA256" and "installer SIZE
// SHA256". The file's bytes are signed with Ed25519; the signature is the raw
// 64 bytes of "version.sig".
#pragma once

#include <cstdint>

#include <QByteArray>
#include <QString>

struct UpgradePackage {
    qint64 size = -1;
    QByteArray sha256; // 32 raw bytes

    // A positive decimal size and a 64-digit hexadecimal hash; false leaves
    // the package alone.
    bool Parse(const QByteArray& sizeText, const QByteArray& sha256Hex);
    // Empty when a file of this size and hash is this package; otherwise
    // what differs.
    QString Mismatch(qint64 fileSize, const QByteArray& fileSha256) const;
};

class UpgradeVersionFile {
public:
    static constexpr int SIGNATURE_SIZE = 64;

    // "a.b.c.d": four decimal parts, each 0..65535, nothing else; the value
    // a*2^48 + b*2^32 + c*2^16 + d. False leaves version alone.
    static bool ParseVersion(const QByteArray& text, uint64_t& version);
    static QString VersionText(uint64_t version);

    // Reads the whole file; false with the reason in error.
    bool Parse(const QByteArray& bytes, QString& error);
    // True when signature is the Ed25519 signature of data under the public
    // key in publicKeyPem; a key that does not load is reported in error.
    static bool Verify(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKeyPem,
                       QString& error);

    uint64_t version = 0;
    UpgradePackage executable;
    UpgradePackage installer;
};
