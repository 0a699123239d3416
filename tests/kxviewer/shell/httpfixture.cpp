#include "httpfixture.h"

#include <memory>

#include <QElapsedTimer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTest>

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    return done();
}

TestHttpServer::TestHttpServer(const QByteArray& certificatePem, const QByteArray& keyPem)
    : certificate_(certificatePem), key_(keyPem)
{
    listen(QHostAddress::LocalHost);
}

QString TestHttpServer::Url() const
{
    return QStringLiteral("%1://127.0.0.1:%2/").arg(certificate_.isEmpty() ? "http" : "https").arg(serverPort());
}

const QByteArray& TestHttpServer::StreamBlock()
{
    static const QByteArray block = [] {
        QByteArray bytes(1 << 20, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 31) % 251);
        return bytes;
    }();
    return block;
}

void TestHttpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    if (certificate_.isEmpty()) {
        socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
    } else {
        auto* secure = new QSslSocket(this);
        secure->setSocketDescriptor(descriptor);
        secure->setLocalCertificate(QSslCertificate(certificate_));
        secure->setPrivateKey(QSslKey(key_, QSsl::Ec));
        secure->startServerEncryption();
        socket = secure;
    }
    Serve(socket);
}

void TestHttpServer::Serve(QTcpSocket* socket)
{
    auto request = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
        request->append(socket->readAll());
        if (!request->contains("\r\n\r\n") || request->isEmpty())
            return;
        const QByteArray path = request->split(' ').value(1);
        request->clear();
        requests << path;
        const HttpRoute route = routes.value(path, HttpRoute{"404 Not Found", {}, "no such file", -1, false, 0});
        const qint64 length = route.streamBytes > 0 ? route.streamBytes : route.body.size();
        socket->write("HTTP/1.1 " + route.status + "\r\nContent-Length: " + QByteArray::number(length) +
                      "\r\nConnection: close\r\n" + route.headers + "\r\n");
        if (route.streamBytes > 0) {
            // Feeds the stream as the socket drains, so neither side holds it.
            auto left = std::make_shared<qint64>(route.streamBytes);
            auto feed = [socket, left] {
                while (*left > 0 && socket->bytesToWrite() < 4 * StreamBlock().size()) {
                    const qint64 n = qMin<qint64>(*left, StreamBlock().size());
                    socket->write(StreamBlock().constData(), n);
                    *left -= n;
                }
                if (*left == 0 && socket->bytesToWrite() == 0)
                    socket->disconnectFromHost();
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, feed);
            feed();
            return;
        }
        socket->write(route.sendBytes < 0 ? route.body : route.body.left(int(route.sendBytes)));
        if (!route.hold)
            socket->disconnectFromHost();
    });
}
