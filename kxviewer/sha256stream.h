// SHA-256 over bytes given in pieces, through OpenSSL (several times faster
// than QCryptographicHash on processors with SHA instructions).
#pragma once

#include <memory>

#include <QByteArray>

class QIODevice;

class Sha256Stream {
public:
    Sha256Stream();
    ~Sha256Stream();

    void Reset();
    void Add(const char* data, qint64 size);
    // Reads the device to its end; false on a read error.
    bool AddDevice(QIODevice& device);
    // The 32 raw bytes of the hash of everything added since Reset.
    QByteArray Result() const;

private:
    struct Context;
    std::unique_ptr<Context> context_;
};
