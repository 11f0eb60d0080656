// SPDX-License-Identifier: GPL-3.0-or-later
#include "cancel/core/OneClick.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>
#include <QTimer>

namespace quil {

namespace {

const QByteArray kBody = QByteArrayLiteral("List-Unsubscribe=One-Click");
const QByteArray kContentType = QByteArrayLiteral("application/x-www-form-urlencoded");
const QByteArray kUserAgent = QByteArrayLiteral("Quillet/4.00");

using Outcome = OneClickResult::Outcome;

OneClickResult make(Outcome outcome, const QString &host, const QString &message, int status = 0) {
    OneClickResult r;
    r.outcome = outcome;
    r.ok = outcome == Outcome::Accepted;
    r.status = status;
    r.host = host;
    r.message = message;
    return r;
}

QString seconds(int ms) {
    if (ms % 1000 == 0)
        return QString::number(ms / 1000);
    return QString::number(ms / 1000.0, 'g', 3);
}

// The authorities an OpenSSL program would trust beyond the system's.
QList<QSslCertificate> extraAuthorities() {
    QList<QSslCertificate> found;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (!file.isEmpty())
        found += QSslCertificate::fromPath(file, QSsl::Pem);
    const QStringList dirs = qEnvironmentVariable("SSL_CERT_DIR").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : dirs) {
        const QFileInfoList entries = QDir(dir).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &entry : entries)
            found += QSslCertificate::fromPath(entry.filePath(), QSsl::Pem);
    }
    return found;
}

QSslConfiguration tlsConfiguration() {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    const QList<QSslCertificate> extra = extraAuthorities();
    if (extra.isEmpty())
        return config;
    // Naming any authority stops Qt from loading the system's on demand, so
    // the system's are named as well.
    QList<QSslCertificate> all;
    QSet<QSslCertificate> seen;
    for (const QList<QSslCertificate> &part :
         {config.caCertificates(), QSslConfiguration::systemCaCertificates(), extra}) {
        for (const QSslCertificate &c : part) {
            if (!c.isNull() && !seen.contains(c)) {
                seen.insert(c);
                all.append(c);
            }
        }
    }
    config.setCaCertificates(all);
    return config;
}

QString certificateReasons(const QList<QSslError> &errors, const QString &fallback) {
    QStringList reasons;
    for (const QSslError &e : errors) {
        const QString text = e.errorString();
        if (!reasons.contains(text))
            reasons.append(text);
    }
    return reasons.isEmpty() ? fallback : reasons.join(QStringLiteral("; "));
}

OneClickResult fromStatus(const QUrl &url, int status, const QUrl &target) {
    const QString host = url.host();
    if (status >= 200 && status < 300)
        return make(Outcome::Accepted, host, QStringLiteral("配信停止を受け付けました。"), status);
    if (status >= 300 && status < 400 && target.isValid() && !target.isEmpty()) {
        const QString where = url.resolved(target).toString(QUrl::FullyEncoded);
        return make(Outcome::Redirect, host,
                    QStringLiteral("サーバーが別のアドレスへの移動を求めました（%1）。移動先への送信は行っていません。")
                        .arg(where),
                    status);
    }
    return make(Outcome::Status, host, QStringLiteral("サーバーが %1 を返しました。").arg(status), status);
}

OneClickResult fromError(const QUrl &url, QNetworkReply::NetworkError error, const QString &errorText,
                         const QList<QSslError> &sslErrors) {
    const QString host = url.host();
    if (!sslErrors.isEmpty() || error == QNetworkReply::SslHandshakeFailedError)
        return make(Outcome::Certificate, host,
                    QStringLiteral("%1 の証明書を確かめられませんでした（%2）。送信は行っていません。")
                        .arg(host, certificateReasons(sslErrors, errorText)));
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return make(Outcome::Refused, host,
                    QStringLiteral("%1 に接続を拒まれました。送信は行っていません。").arg(host));
    case QNetworkReply::HostNotFoundError:
        return make(Outcome::HostNotFound, host,
                    QStringLiteral("%1 というホストが見つかりませんでした。送信は行っていません。").arg(host));
    default:
        return make(Outcome::NetworkError, host,
                    QStringLiteral("%1 との通信に失敗しました（%2）。").arg(host, errorText));
    }
}

} // namespace

OneClick::OneClick(const QString &uri, int timeoutMs, QObject *parent)
    : QObject(parent), url_(uri.trimmed(), QUrl::StrictMode), written_(uri.trimmed()),
      timeoutMs_(timeoutMs > 0 ? timeoutMs : DefaultTimeoutMs) {
    // Credentials in the address would answer a challenge; none may be sent.
    url_.setUserInfo(QString());
}

namespace {

// Why a URI is not sent to, or an empty text.
QString refusal(const QUrl &url, const QString &written) {
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("アドレスが正しくありません（%1）。送信は行っていません。").arg(written);
    if (url.scheme() != QLatin1String("https"))
        return QStringLiteral("https: 以外のアドレスには送信しません（%1）。").arg(written);
    return QString();
}

} // namespace

QString OneClick::describe() const {
    const QString refused = refusal(url_, written_);
    if (!refused.isEmpty())
        return refused;
    QStringList lines;
    lines << QStringLiteral("POST %1").arg(url_.toString(QUrl::FullyEncoded));
    lines << QStringLiteral("Host: %1").arg(url_.authority(QUrl::FullyEncoded));
    lines << QStringLiteral("Content-Type: %1").arg(QString::fromLatin1(kContentType));
    lines << QStringLiteral("Content-Length: %1").arg(kBody.size());
    lines << QStringLiteral("User-Agent: %1").arg(QString::fromLatin1(kUserAgent));
    lines << QString();
    lines << QString::fromLatin1(kBody);
    return lines.join(QLatin1Char('\n'));
}

void OneClick::cancel() {
    cancelled_ = true;
    // Queued, so that a call from another thread quits the loop in ours.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (loop_)
                loop_->quit();
        },
        Qt::QueuedConnection);
}

OneClickResult OneClick::run() {
    const QString host = url_.host();
    const QString refused = refusal(url_, written_);
    if (!refused.isEmpty())
        return make(Outcome::NotAllowed, host, refused);
    if (!QSslSocket::supportsSsl())
        return make(Outcome::NetworkError, host,
                    QStringLiteral("この環境では HTTPS を使えません（%1）。送信は行っていません。")
                        .arg(QSslSocket::sslLibraryVersionString()));

    // A fresh manager has an empty cookie jar, no cache and no remembered
    // credentials; the attributes keep it so.
    QNetworkAccessManager manager;
    QNetworkRequest request(url_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, kContentType);
    request.setHeader(QNetworkRequest::UserAgentHeader, kUserAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setSslConfiguration(tlsConfiguration());

    QEventLoop loop;
    loop_ = &loop;
    if (cancelled_) {
        loop_ = nullptr;
        return make(Outcome::Cancelled, host, QStringLiteral("取り消しました。"));
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    bool timedOut = false;
    bool answered = false;
    QList<QSslError> sslErrors;

    QNetworkReply *reply = manager.post(request, kBody);
    // The errors are kept, never ignored: the handshake then fails.
    connect(reply, &QNetworkReply::sslErrors, &loop, [&](const QList<QSslError> &errors) { sslErrors += errors; });
    connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        // The status line is the answer; the page after it is not needed.
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            answered = true;
            loop.quit();
        }
    });
    connect(reply, &QNetworkReply::finished, &loop, [&] {
        answered = true;
        loop.quit();
    });
    connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    deadline.start(timeoutMs_);
    loop.exec();
    loop_ = nullptr;
    deadline.stop();
    reply->disconnect(&loop);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool haveStatus = answered && status.isValid() && status.toInt() > 0;
    OneClickResult result;
    if (haveStatus)
        result = fromStatus(url_, status.toInt(),
                            reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
    else if (answered)
        result = fromError(url_, reply->error(), reply->errorString(), sslErrors);
    else if (cancelled_)
        result = make(Outcome::Cancelled, host, QStringLiteral("取り消しました。"));
    else if (timedOut)
        result = make(Outcome::TimedOut, host,
                      QStringLiteral("%1 秒待っても応答がありませんでした。").arg(seconds(timeoutMs_)));
    else
        result = fromError(url_, reply->error(), reply->errorString(), sslErrors);

    if (!reply->isFinished())
        reply->abort();
    delete reply;
    return result;
}

} // namespace quil
