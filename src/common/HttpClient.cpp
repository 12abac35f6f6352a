#include "HttpClient.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

// Errors that come with a complete HTTP answer: the status says what went wrong.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

} // namespace

// One request in flight: gathers the body within its cap, ends it at the
// deadline, and records the outcome.
class HttpClient::Transfer final : public QObject {
public:
    Transfer(QNetworkReply *reply, qint64 maxBody, QIODevice *sink, int deadlineMs, QObject *parent)
        : QObject(parent), m_reply(reply), m_maxBody(maxBody), m_sink(sink), m_deadlineMs(deadlineMs)
    {
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            fail(QStringLiteral("No answer from the server within %1 s").arg(seconds(m_deadlineMs)));
        });
        connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
            bool ok = false;
            const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
            if (ok && length > m_maxBody)
                failTooLarge();
        });
        connect(reply, &QIODevice::readyRead, this, [this] { readBody(); });
        connect(reply, &QNetworkReply::finished, this, [this] { complete(); });
        m_deadline.start(deadlineMs);
    }

    std::function<void()> onDone;
    bool finished = false;
    HttpReply result;

private:
    void readBody()
    {
        if (!m_failure.isEmpty())
            return;
        const QByteArray data = m_reply->readAll();
        if (data.isEmpty())
            return;
        m_received += data.size();
        if (m_received > m_maxBody) {
            failTooLarge();
            return;
        }
        if (!m_sink) {
            result.body += data;
        } else if (m_sink->write(data) != data.size()) {
            fail(QStringLiteral("Cannot write the received data: ") + m_sink->errorString());
        }
    }

    void failTooLarge()
    {
        fail(QStringLiteral("The server's answer is larger than %1 bytes").arg(m_maxBody));
    }

    void fail(const QString &text)
    {
        if (finished || !m_failure.isEmpty())
            return;
        m_failure = text;
        // Aborting finishes the reply at once, which completes the transfer.
        if (!m_completing)
            m_reply->abort();
    }

    void complete()
    {
        if (finished)
            return;
        m_completing = true;
        m_deadline.stop();
        readBody();
        finished = true;

        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = m_reply->error();
        if (!m_failure.isEmpty()) {
            result.error = m_failure;
        } else if (status.isValid() && (error == QNetworkReply::NoError || isHttpStatusError(error))) {
            result.answered = true;
            result.status = status.toInt();
            result.statusText = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        } else if (error == QNetworkReply::InsecureRedirectError) {
            const QString target = QString::fromUtf8(m_reply->rawHeader("Location"));
            result.error = QStringLiteral("The server sent the request on to another address, which is not followed")
                + (target.isEmpty() ? QString() : QStringLiteral(": ") + target);
        } else if (error != QNetworkReply::NoError) {
            result.error = m_reply->errorString();
        } else {
            result.error = QStringLiteral("No answer from the server");
        }
        if (!result.answered)
            result.body.clear();
        m_reply->deleteLater();
        if (onDone)
            onDone();
    }

    QNetworkReply *m_reply;
    qint64 m_maxBody;
    QIODevice *m_sink;
    int m_deadlineMs;
    QTimer m_deadline;
    qint64 m_received = 0;
    QString m_failure;
    bool m_completing = false;
};

HttpClient::HttpClient(int deadlineMs)
    : m_deadlineMs(deadlineMs), m_manager(std::make_unique<QNetworkAccessManager>())
{
}

HttpClient::~HttpClient() = default;

HttpClient::Transfer *HttpClient::start(const QString &url, qint64 maxBody, QIODevice *sink)
{
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = m_manager->get(request);
    return new Transfer(reply, maxBody, sink, m_deadlineMs, m_manager.get());
}

HttpReply HttpClient::get(const QString &url, qint64 maxBody, QIODevice *sink)
{
    std::unique_ptr<Transfer> transfer(start(url, maxBody, sink));
    if (!transfer->finished) {
        QEventLoop loop;
        transfer->onDone = [&loop] { loop.quit(); };
        // Sockets and timers go on; clicks and keys wait until the answer is in.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return transfer->result;
}

void HttpClient::getLater(const QString &url, qint64 maxBody, QObject *context,
                          std::function<void(const HttpReply &)> done)
{
    Transfer *transfer = start(url, maxBody, nullptr);
    QPointer<QObject> guard(context);
    transfer->onDone = [transfer, guard, done = std::move(done)] {
        const HttpReply reply = transfer->result;
        transfer->deleteLater();
        if (guard && done)
            done(reply);
    };
}

HttpReply OfflineNetwork::get(const QString &, qint64, QIODevice *)
{
    HttpReply reply;
    reply.error = QStringLiteral("Network access is disabled");
    return reply;
}

void OfflineNetwork::getLater(const QString &url, qint64 maxBody, QObject *context,
                              std::function<void(const HttpReply &)> done)
{
    const HttpReply reply = get(url, maxBody);
    QTimer::singleShot(0, context, [reply, done = std::move(done)] {
        if (done)
            done(reply);
    });
}

QString serverBaseUrl()
{
    static constexpr auto kDefault = "https://vorma.example";
    const QString configured = qEnvironmentVariable("THARNVIK_SERVER_URL").trimmed();
    if (!configured.isEmpty()) {
        const QUrl url(configured);
        const bool https = url.scheme() == QLatin1String("https");
        const bool loopback = url.scheme() == QLatin1String("http")
            && (url.host() == QLatin1String("localhost") || QHostAddress(url.host()).isLoopback());
        if (url.isValid() && !url.host().isEmpty() && (https || loopback)) {
            QString base = url.toString(QUrl::StripTrailingSlash);
            return base;
        }
    }
    return QString::fromLatin1(kDefault);
}
