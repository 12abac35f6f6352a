#pragma once

#include "Services.h"

#include <memory>

class QNetworkAccessManager;

// The program's HTTP client: Qt's network access with an overall deadline
// per request (a server that accepts the connection and then stays silent,
// or trickles, cannot hold the editor longer than that) and a cap on the
// body. Redirects are followed only within the same scheme, host and port.
class HttpClient final : public Network {
public:
    static constexpr int kDefaultDeadlineMs = 15'000;

    explicit HttpClient(int deadlineMs = kDefaultDeadlineMs);
    ~HttpClient() override;

    HttpReply get(const QString &url, qint64 maxBody, QIODevice *sink = nullptr) override;
    void getLater(const QString &url, qint64 maxBody, QObject *context,
                  std::function<void(const HttpReply &)> done) override;

    int deadlineMs() const { return m_deadlineMs; }

private:
    class Transfer;
    Transfer *start(const QString &url, qint64 maxBody, QIODevice *sink);

    int m_deadlineMs;
    std::unique_ptr<QNetworkAccessManager> m_manager;
};

// No network at all: every request fails without an answer. For tools and
// benchmarks that must not reach out.
class OfflineNetwork final : public Network {
public:
    HttpReply get(const QString &url, qint64 maxBody, QIODevice *sink = nullptr) override;
    void getLater(const QString &url, qint64 maxBody, QObject *context,
                  std::function<void(const HttpReply &)> done) override;
};

// The maker's web server: $THARNVIK_SERVER_URL when it is https (or plain
// http on a loopback address), else the default, without a trailing slash.
QString serverBaseUrl();
