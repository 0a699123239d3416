#include "kxviewer/upgradeversionfile.h"

#include <memory>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <QList>

bool UpgradeVersionFile::ParseVersion(const QByteArray& text, uint64_t& version)
{
    const QList<QByteArray> parts = text.split('.');
    if (parts.size() != 4)
        return false;
    uint64_t value = 0;
    for (const QByteArray& part : parts) {
        // toUInt alone would take "+1" or " 1"; only digits are a part.
        if (part.isEmpty() || part.size() > 5)
            return false;
        for (char c : part)
            if (c < '0' || c > '9')
                return false;
        const unsigned number = part.toUInt();
        if (number > 0xFFFF)
            return false;
        value = (value << 16) | number;
    }
    version = value;
    return true;
}

QString UpgradeVersionFile::VersionText(uint64_t version)
{
    return QString::asprintf("%u.%u.%u.%u", unsigned(version >> 48), unsigned((version >> 32) & 0xFFFF),
                             unsigned((version >> 16) & 0xFFFF), unsigned(version & 0xFFFF));
}

bool UpgradePackage::Parse(const QByteArray& sizeText, const QByteArray& sha256Hex)
{
    if (sha256Hex.size() != 64)
        return false;
    bool ok = false;
    const qint64 value = sizeText.toLongLong(&ok);
    if (!ok || value <= 0 || sizeText.startsWith('+'))
        return false;
    for (char c : sha256Hex)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    size = value;
    sha256 = QByteArray::fromHex(sha256Hex);
    return true;
}

QString UpgradePackage::Mismatch(qint64 fileSize, const QByteArray& fileSha256) const
{
    if (fileSize != size)
        return QStringLiteral("%1 bytes instead of %2").arg(fileSize).arg(size);
    if (fileSha256 != sha256)
        return QStringLiteral("SHA-256 %1... instead of %2...")
            .arg(QString::fromLatin1(fileSha256.toHex().left(16)), QString::fromLatin1(sha256.toHex().left(16)));
    return QString();
}

namespace {

// "NAME SIZE SHA256".
bool ParsePackage(const QByteArray& line, const QByteArray& name, UpgradePackage& package)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    return words.size() == 3 && words[0] == name && package.Parse(words[1], words[2]);
}

} // namespace

bool UpgradeVersionFile::Parse(const QByteArray& bytes, QString& error)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || lines[0].isEmpty()) {
        error = QStringLiteral("the first line is empty");
        return false;
    }
    if (!ParseVersion(lines[0], version)) {
        error = QStringLiteral("bad version \"%1\"").arg(QString::fromLatin1(lines[0].left(40)));
        return false;
    }
    if (lines.size() != 3 || !ParsePackage(lines[1], "executable", executable) ||
        !ParsePackage(lines[2], "installer", installer)) {
        error = QStringLiteral("the package lines are missing or malformed");
        return false;
    }
    return true;
}

bool UpgradeVersionFile::Verify(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKeyPem,
                                QString& error)
{
    if (signature.size() != SIGNATURE_SIZE)
        return false;
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(publicKeyPem.constData(), int(publicKeyPem.size())),
                                                  &BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr, &EVP_PKEY_free);
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519) {
        error = QStringLiteral("the built-in public key is not an Ed25519 key");
        return false;
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), reinterpret_cast<const unsigned char*>(data.constData()),
                            size_t(data.size())) == 1;
}
