// Reading the signed version file and hashing packages.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "kxviewer/sha256stream.h"
#include "signingkey.h"
#include "kxviewer/upgradeversionfile.h"

namespace {

TEST(UpgradeVersionFile, VersionNeedsFourPartsOfSixteenBits)
{
    struct Case {
        const char* text;
        bool ok;
        uint64_t value;
    } cases[] = {
        {"2.1.3993.2", true, 0x000200010F990002ull},
        {"65535.65535.65535.65535", true, ~0ull},
        {"0.0.0.0", true, 0},
        {"2.1.3993", false, 0},
        {"2.1.3993.2.7", false, 0},
        {"2.1.65536.0", false, 0},
        {"2.1.-1.0", false, 0},
        {"2.1.+1.0", false, 0},
        {"2.1. 1.0", false, 0},
        {"2.1..0", false, 0},
        {"2.1.3993.2 ", false, 0},
        {"000002.1.1.1", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        uint64_t value = 7;
        EXPECT_EQ(UpgradeVersionFile::ParseVersion(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 7u) << c.text;
        if (c.ok) {
            EXPECT_EQ(UpgradeVersionFile::VersionText(value).toStdString(), c.text);
        }
    }
}

TEST(UpgradeVersionFile, PackageLinesAreNamedSizedAndHashed)
{
    const QByteArray hash = QCryptographicHash::hash("x", QCryptographicHash::Sha256).toHex();
    const QByteArray good = "2.1.3993.3\nexecutable 10 " + hash + "\ninstaller 20 " + hash + "\n";
    struct Case {
        QByteArray bytes;
        bool ok;
    } cases[] = {
        {good, true},
        {QByteArray(good).replace('\n', "\r\n"), true},
        {"2.1.3993.3\n", false},
        {"\nexecutable 10 " + hash + "\ninstaller 20 " + hash + "\n", false},
        {"2.1.3993.3\ninstaller 20 " + hash + "\nexecutable 10 " + hash + "\n", false},
        {"2.1.3993.3\nexecutable 0 " + hash + "\ninstaller 20 " + hash + "\n", false},
        {"2.1.3993.3\nexecutable -1 " + hash + "\ninstaller 20 " + hash + "\n", false},
        {"2.1.3993.3\nexecutable 10 " + hash.left(63) + "\ninstaller 20 " + hash + "\n", false},
        {"2.1.3993.3\nexecutable 10 " + hash.left(63) + "g\ninstaller 20 " + hash + "\n", false},
        {good + "extra 1 " + hash + "\n", false},
    };
    for (const Case& c : cases) {
        UpgradeVersionFile file;
        QString error;
        EXPECT_EQ(file.Parse(c.bytes, error), c.ok) << c.bytes.toStdString();
        EXPECT_EQ(error.isEmpty(), c.ok) << c.bytes.toStdString();
        if (c.ok) {
            EXPECT_EQ(file.executable.size, 10);
            EXPECT_EQ(file.installer.size, 20);
            EXPECT_EQ(file.executable.sha256.toHex(), hash);
        }
    }
}

} // namespace

namespace {

TEST(Sha256Stream, PiecesHashAsTheWhole)
{
    const QByteArray text = QByteArray("abc").repeated(100000);
    struct Case {
        QByteArray data;
        int piece;
    } cases[] = {{"", 1}, {"abc", 1}, {"abc", 3}, {text, 7}, {text, 1 << 20}};
    for (const Case& c : cases) {
        Sha256Stream hash;
        hash.Add("stale", 5);
        hash.Reset();
        for (int at = 0; at < c.data.size(); at += c.piece)
            hash.Add(c.data.constData() + at, qMin(c.piece, c.data.size() - at));
        EXPECT_EQ(hash.Result(), QCryptographicHash::hash(c.data, QCryptographicHash::Sha256)) << c.data.size();
        EXPECT_EQ(hash.Result(), hash.Result());
    }
}

} // namespace

namespace {

QByteArray EcPublicPem()
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"),
                                                            &EVP_PKEY_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_PUBKEY(bio.get(), key.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(size));
}

TEST(UpgradeVersionFile, OnlyTheTrustedKeysSignaturePasses)
{
    const SigningKey trusted;
    const SigningKey other;
    const QByteArray data = "2.1.3993.3\nexecutable 1 00\n";
    QByteArray flipped = trusted.Sign(data);
    flipped[5] = char(flipped[5] ^ 1);
    struct Case {
        const char* name;
        QByteArray data;
        QByteArray signature;
        QByteArray key;
        bool ok;
        const char* error;
    } cases[] = {
        {"good", data, trusted.Sign(data), trusted.PublicPem(), true, ""},
        {"other data", data + " ", trusted.Sign(data), trusted.PublicPem(), false, ""},
        {"other key", data, other.Sign(data), trusted.PublicPem(), false, ""},
        {"one bit", data, flipped, trusted.PublicPem(), false, ""},
        {"short", data, trusted.Sign(data).left(63), trusted.PublicPem(), false, ""},
        {"empty", data, {}, trusted.PublicPem(), false, ""},
        {"EC key", data, trusted.Sign(data), EcPublicPem(), false, "the built-in public key is not an Ed25519 key"},
        {"no key", data, trusted.Sign(data), "-----BEGIN PUBLIC KEY-----\nxx\n", false,
         "the built-in public key is not an Ed25519 key"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(UpgradeVersionFile::Verify(c.data, c.signature, c.key, error), c.ok) << c.name;
        EXPECT_EQ(error.toStdString(), c.error) << c.name;
    }
}

} // namespace
