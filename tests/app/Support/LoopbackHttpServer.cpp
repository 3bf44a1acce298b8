#include "LoopbackHttpServer.hpp"

#include <stdexcept>

namespace corvane::app::testing {

namespace {

QByteArray reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
    if (!server_.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("cannot listen on 127.0.0.1");
    connect(&server_, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
}

QUrl LoopbackHttpServer::url(const QString& path) const {
    return QUrl(QString("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
}

void LoopbackHttpServer::serve(const QString& path, Response response) { responses_[path] = std::move(response); }

void LoopbackHttpServer::serve(const QString& path, const QByteArray& body) {
    serve(path, Response{200, body, body.size(), false, std::nullopt});
}

void LoopbackHttpServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            pending_.erase(socket);
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::read(QTcpSocket* socket) {
    QByteArray& buffer = pending_[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return;
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    buffer.remove(0, end + 4);
    const QString path = requestLine.size() >= 2 ? QString::fromLatin1(requestLine[1]) : QString();
    requests_.push_back(path);
    answer(socket, path);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const QString& path) {
    const auto found = responses_.find(path);
    const Response response = found == responses_.end() ? Response{404, "missing", 7, false, std::nullopt}
                                                         : found->second;
    if (response.silent) return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " " + reason(response.status) + "\r\n";
    if (response.announcedLength) head += "Content-Length: " + QByteArray::number(*response.announcedLength) + "\r\n";
    head += response.announcedLength ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket->write(head);
    if (response.endless) return keepSending(socket, response.body);
    if (response.stallAfter) {
        socket->write(response.body.left(*response.stallAfter));
        return;
    }
    socket->write(response.body);
    if (!response.announcedLength) socket->disconnectFromHost();
}

// Writes the body once more whenever the last copy has left, so the stream
// never ends and never piles up in this process.
void LoopbackHttpServer::keepSending(QTcpSocket* socket, const QByteArray& body) {
    const auto more = [this, socket, body] {
        if (socket->bytesToWrite() > body.size()) return;
        sent_ += socket->write(body);
    };
    connect(socket, &QTcpSocket::bytesWritten, this, more);
    more();
}

}  // namespace corvane::app::testing
