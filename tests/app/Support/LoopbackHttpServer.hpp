#pragma once

#include <map>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace corvane::app::testing {

// A small HTTP/1.1 server on 127.0.0.1 and a free port, run by the test's
// event loop: it answers each GET with the response set for the path.
class LoopbackHttpServer : public QObject {
    Q_OBJECT

public:
    struct Response {
        int status = 200;
        QByteArray body;
        // The Content-Length to announce; none sends no header and ends the
        // body by closing the connection.
        std::optional<qint64> announcedLength;
        // Sends nothing at all.
        bool silent = false;
        // Sends the headers and this many bytes of the body, then stalls.
        std::optional<qsizetype> stallAfter;
        // Sends the body again and again until the client goes (with no
        // length announced); the bytes sent show in sentBytes().
        bool endless = false;
    };

    LoopbackHttpServer();

    QUrl url(const QString& path) const;
    void serve(const QString& path, Response response);
    void serve(const QString& path, const QByteArray& body);
    // The paths asked for, in order.
    const std::vector<QString>& requests() const { return requests_; }
    // The body bytes written for endless responses so far.
    qint64 sentBytes() const { return sent_; }

private:
    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QString& path);
    void keepSending(QTcpSocket* socket, const QByteArray& body);

    QTcpServer server_;
    std::map<QString, Response> responses_;
    std::vector<QString> requests_;
    std::map<QTcpSocket*, QByteArray> pending_;
    qint64 sent_ = 0;
};

}  // namespace corvane::app::testing
