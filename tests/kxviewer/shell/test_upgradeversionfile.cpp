// Reading the signed version file and hashing packages.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "kxviewer/sha256stream.h"
#include "signingkey.h"
#include "kxviewer/upgradeversionfile.h"

namespace {

TEST(UpgradeVersionFile, VersionNeedsFourPartsOfSixteenBits)
{
    struct Case { const char* text; uint64_t value; } good[] = {
        {"2.1.3993.2", 0x000200010F990002ull}, {"65535.65535.65535.65535", ~0ull}, {"0.0.0.0", 0}};
    for (const Case& c : good) {
        uint64_t value = 7;
        EXPECT_TRUE(UpgradeVersionFile::ParseVersion(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(UpgradeVersionFile::VersionText(value).toStdString(), c.text);
    }
    for (const char* text : {"2.1.3993", "2.1.3993.2.7", "2.1.65536.0", "2.1.-1.0", "2.1.+1.0", "2.1. 1.0", "2.1..0",
                             "2.1.3993.2 ", "000002.1.1.1", ""}) {
        uint64_t value = 7;
        EXPECT_FALSE(UpgradeVersionFile::ParseVersion(text, value)) << text;
        EXPECT_EQ(value, 7u) << text;
    }
}

TEST(UpgradeVersionFile, PackageLinesAreNamedSizedAndHashed)
{
    const QByteArray hash = QCryptographicHash::hash("x", QCryptographicHash::Sha256).toHex();
    // The version line, then the executable's and the installer's lines, each "name size hash".
    const auto file = [&](const char* version, const QByteArray& executable, const QByteArray& installer) {
        return version + ("\nexecutable " + executable + "\ninstaller " + installer + "\n");
    };
    const QByteArray exe = "10 " + hash, setup = "20 " + hash, good = file("2.1.3993.3", exe, setup);
    struct Case { QByteArray bytes; bool ok; } cases[] = {
        {good, true},
        {QByteArray(good).replace('\n', "\r\n"), true},
        {"2.1.3993.3\n", false},
        {file("", exe, setup), false},
        {"2.1.3993.3\ninstaller " + setup + "\nexecutable " + exe + "\n", false},
        {file("2.1.3993.3", "0 " + hash, setup), false},
        {file("2.1.3993.3", "-1 " + hash, setup), false},
        {file("2.1.3993.3", "10 " + hash.left(63), setup), false},
        {file("2.1.3993.3", "10 " + hash.left(63) + "g", setup), false},
        {good + "extra 1 " + hash + "\n", false},
    };
    for (const Case& c : cases) {
        UpgradeVersionFile parsed;
        QString error;
        EXPECT_EQ(parsed.Parse(c.bytes, error), c.ok) << c.bytes.toStdString();
        EXPECT_EQ(error.isEmpty(), c.ok) << c.bytes.toStdString();
        if (c.ok) {
            EXPECT_EQ(parsed.executable.size, 10);
            EXPECT_EQ(parsed.installer.size, 20);
            EXPECT_EQ(parsed.executable.sha256.toHex(), hash);
        }
    }
}

TEST(Sha256Stream, PiecesHashAsTheWhole)
{
    const QByteArray text = QByteArray("abc").repeated(100000);
    struct Case { QByteArray data; int piece; } cases[] = {{"", 1}, {"abc", 1}, {"abc", 3}, {text, 7}, {text, 1 << 20}};
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
    const QByteArray data = "2.1.3993.3\nexecutable 1 00\n", signature = trusted.Sign(data), pem = trusted.PublicPem();
    QByteArray flipped = signature;
    flipped[5] = char(flipped[5] ^ 1);
    const char* const NOT_ED25519 = "the built-in public key is not an Ed25519 key";
    struct Case { const char* name; QByteArray data; QByteArray signature; QByteArray key; const char* error; } cases[] = {
        {"good", data, signature, pem, nullptr},
        {"other data", data + " ", signature, pem, ""},
        {"other key", data, SigningKey().Sign(data), pem, ""},
        {"one bit", data, flipped, pem, ""},
        {"short", data, signature.left(63), pem, ""},
        {"empty", data, {}, pem, ""},
        {"EC key", data, signature, EcPublicPem(), NOT_ED25519},
        {"no key", data, signature, "-----BEGIN PUBLIC KEY-----\nxx\n", NOT_ED25519},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(UpgradeVersionFile::Verify(c.data, c.signature, c.key, error), c.error == nullptr) << c.name;
        EXPECT_EQ(error.toStdString(), c.error ? c.error : "") << c.name;
    }
}

} // namespace
