#include "kxviewer/sha256stream.h"

#include <openssl/evp.h>

#include <QIODevice>

struct Sha256Stream::Context {
    Context() : md(EVP_MD_CTX_new()) {}
    ~Context() { EVP_MD_CTX_free(md); }
    EVP_MD_CTX* md;
};

Sha256Stream::Sha256Stream() : context_(new Context()) { Reset(); }

Sha256Stream::~Sha256Stream() = default;

void Sha256Stream::Reset() { EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr); }

void Sha256Stream::Add(const char* data, qint64 size) { EVP_DigestUpdate(context_->md, data, size_t(size)); }

bool Sha256Stream::AddDevice(QIODevice& device)
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            return device.atEnd();
        Add(buffer.constData(), n);
    }
}

QByteArray Sha256Stream::Result() const
{
    // A copy, so that more can be added after a look at the result.
    EVP_MD_CTX* copy = EVP_MD_CTX_new();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_MD_CTX_copy_ex(copy, context_->md);
    EVP_DigestFinal_ex(copy, digest, &size);
    EVP_MD_CTX_free(copy);
    return QByteArray(reinterpret_cast<const char*>(digest), int(size));
}
