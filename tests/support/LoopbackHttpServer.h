#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTcpServer>

#include <map>

// A small HTTP/1.1 server on 127.0.0.1 (a free port), serving in this
// thread's event loop: each path answers as its route says; an unknown path
// gets 404.
class LoopbackHttpServer {
public:
    enum class Mode {
        Answer,   // status line, Content-Length, body, close
        Silent,   // accept and read the request, never answer
        CutShort, // promise more body than is sent, then close
        Trickle,  // headers, then one byte of body every 100 ms, never done
    };
    struct Route {
        Route(int status = 200, QByteArray reason = "OK", QByteArray body = {}, Mode mode = Mode::Answer,
              QByteArray location = {})
            : status(status), reason(std::move(reason)), body(std::move(body)), mode(mode), location(std::move(location))
        {
        }
        int status;
        QByteArray reason;
        QByteArray body;
        Mode mode;
        QByteArray location; // a Location header when not empty
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();

    // http://127.0.0.1:<port>, no trailing slash
    QString baseUrl() const;
    void route(const QByteArray &path, const Route &route) { m_routes[path] = route; }
    void answer(const QByteArray &path, const QByteArray &body) { route(path, Route{200, "OK", body}); }

    QStringList requests; // request paths, in order

private:
    void serve(class QTcpSocket *socket);

    QTcpServer m_server;
    std::map<QByteArray, Route> m_routes;
};
