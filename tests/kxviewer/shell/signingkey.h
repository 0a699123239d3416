// An Ed25519 key pair made for the test run, to sign update version files.
#pragma once

#include <memory>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <QByteArray>

struct SigningKey {
    SigningKey() : key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), &EVP_PKEY_free) {}

    QByteArray PublicPem() const
    {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
        PEM_write_bio_PUBKEY(bio.get(), key.get());
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio.get(), &data);
        return QByteArray(data, int(size));
    }

    QByteArray Sign(const QByteArray& data) const
    {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
        unsigned char signature[64];
        size_t size = sizeof(signature);
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get());
        EVP_DigestSign(context.get(), signature, &size, reinterpret_cast<const unsigned char*>(data.constData()),
                       size_t(data.size()));
        return QByteArray(reinterpret_cast<const char*>(signature), int(size));
    }

    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key;
};
