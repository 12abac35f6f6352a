// The program's HTTP client against a real server on the loopback address.
#include "HttpClient.h"
#include "LoopbackHttpServer.h"

#include <QBuffer>
#include <QObject>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Mode = LoopbackHttpServer::Mode;

class Http : public ::testing::Test {
protected:
    QString url(const char *path) const { return server.baseUrl() + QLatin1String(path); }
    LoopbackHttpServer server;
    HttpClient client{1000};
};

TEST_F(Http, AnswersOfAnyStatusComeWithTheirStatusText)
{
    server.answer("/v", "1.0.4.0");
    server.route("/gone", {410, "Gone", "it went"});
    HttpReply r = client.get(url("/v"), 1024);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.statusText, QStringLiteral("OK"));
    EXPECT_EQ(r.body, QByteArray("1.0.4.0"));

    for (const char *path : {"/missing", "/gone"}) {
        r = client.get(url(path), 1024);
        EXPECT_TRUE(r.answered) << path << " " << r.error.toStdString();
        EXPECT_NE(r.status, 200);
    }
    EXPECT_EQ(r.status, 410);
    EXPECT_EQ(r.statusText, QStringLiteral("Gone"));
    EXPECT_EQ(server.requests, (QStringList{"/v", "/missing", "/gone"}));
}

TEST_F(Http, FailuresWithoutACompleteAnswer)
{
    LoopbackHttpServer elsewhere;
    elsewhere.answer("/x", "not ours");
    server.route("/silent", {200, "OK", {}, Mode::Silent});
    server.route("/cut", {200, "OK", "half an updater", Mode::CutShort});
    server.route("/trickle", {200, "OK", "MZ", Mode::Trickle});
    server.answer("/huge", QByteArray(4096, 'x'));
    server.route("/away", {302, "Found", {}, Mode::Answer, (elsewhere.baseUrl() + QStringLiteral("/x")).toUtf8()});

    HttpReply r = client.get(url("/silent"), 1024);
    EXPECT_FALSE(r.answered);
    EXPECT_EQ(r.error, QStringLiteral("No answer from the server within 1 s")) << r.error.toStdString();

    // Never silent for long, but never done either: the overall deadline ends it.
    r = client.get(url("/trickle"), 1024 * 1024);
    EXPECT_FALSE(r.answered);
    EXPECT_EQ(r.error, QStringLiteral("No answer from the server within 1 s")) << r.error.toStdString();
    EXPECT_TRUE(r.body.isEmpty());

    r = client.get(url("/cut"), 1024 * 1024);
    EXPECT_FALSE(r.answered);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_FALSE(r.error.contains(QLatin1String("larger"))) << r.error.toStdString();
    EXPECT_TRUE(r.body.isEmpty());

    r = client.get(url("/huge"), 1024);
    EXPECT_FALSE(r.answered);
    EXPECT_EQ(r.error, QStringLiteral("The server's answer is larger than 1024 bytes"));

    // Redirects are not followed to another server.
    r = client.get(url("/away"), 1024);
    EXPECT_FALSE(r.answered);
    EXPECT_TRUE(r.error.contains(QLatin1String("another address"))) << r.error.toStdString();
    EXPECT_TRUE(elsewhere.requests.isEmpty());

    // Nobody listening.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    r = client.get(QStringLiteral("http://127.0.0.1:%1/v").arg(port), 1024);
    EXPECT_FALSE(r.answered);
    EXPECT_FALSE(r.error.isEmpty());
}

TEST_F(Http, RedirectWithinTheSameServerIsFollowed)
{
    server.route("/old", {301, "Moved Permanently", {}, Mode::Answer, "/new"});
    server.answer("/new", "1.3");
    const HttpReply r = client.get(url("/old"), 1024);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, QByteArray("1.3"));
}

TEST_F(Http, BodyIntoASink)
{
    const QByteArray program = QByteArray(300'000, '\x7f') + "end";
    server.answer("/u", program);
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    HttpReply r = client.get(url("/u"), 1'000'000, &sink);
    EXPECT_TRUE(r.answered);
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_EQ(sink.data(), program);

    // A sink that refuses to write fails the request.
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    r = client.get(url("/u"), 1'000'000, &readOnly);
    EXPECT_FALSE(r.answered);
    EXPECT_TRUE(r.error.startsWith(QLatin1String("Cannot write the received data"))) << r.error.toStdString();
}

TEST_F(Http, LaterRequestsAnswerOnTheEventLoopAndNotAfterTheirContextIsGone)
{
    server.answer("/v", "1.0.4.0");
    server.route("/silent", {200, "OK", {}, Mode::Silent});
    QObject context;
    std::optional<HttpReply> got;
    client.getLater(url("/v"), 1024, &context, [&](const HttpReply &r) { got = r; });
    EXPECT_FALSE(got); // not before the event loop runs
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.has_value(); }, 10'000));
    EXPECT_EQ(got->body, QByteArray("1.0.4.0"));

    auto gone = std::make_unique<QObject>();
    bool called = false;
    client.getLater(url("/v"), 1024, gone.get(), [&](const HttpReply &) { called = true; });
    gone.reset();
    std::optional<HttpReply> silent;
    client.getLater(url("/silent"), 1024, &context, [&](const HttpReply &r) { silent = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.has_value(); }, 10'000));
    EXPECT_FALSE(silent->answered);
    EXPECT_FALSE(called);
}

} // namespace
