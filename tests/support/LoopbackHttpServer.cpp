#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

LoopbackHttpServer::LoopbackHttpServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
        }
    });
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

QString LoopbackHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

void LoopbackHttpServer::serve(QTcpSocket *socket)
{
    if (socket->property("served").toBool())
        return;
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    socket->setProperty("served", true);
    const QList<QByteArray> first = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray path = first.size() >= 2 ? first[1] : QByteArray();
    requests << QString::fromLatin1(path);

    Route route{404, "Not Found", "no such page"};
    if (const auto it = m_routes.find(path); it != m_routes.end())
        route = it->second;
    if (route.mode == Mode::Silent)
        return;
    const qsizetype promised = route.body.size() + (route.mode == Mode::CutShort ? 1000 : route.mode == Mode::Trickle ? 1'000'000 : 0);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' ' + route.reason + "\r\n"
        + "Content-Length: " + QByteArray::number(promised) + "\r\n" + "Connection: close\r\n";
    if (!route.location.isEmpty())
        head += "Location: " + route.location + "\r\n";
    socket->write(head + "\r\n" + route.body);
    if (route.mode == Mode::Trickle) {
        auto *drip = new QTimer(socket);
        QObject::connect(drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
        drip->start(100);
        return;
    }
    socket->disconnectFromHost();
}
