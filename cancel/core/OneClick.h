// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Leaving a list with one HTTPS POST (RFC 8058), without a window.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <atomic>

class QEventLoop;

namespace quil {

struct OneClickResult {
    enum class Outcome {
        Accepted,     // a 2xx answer
        Status,       // any other answer, a 3xx without a target among them
        Redirect,     // a 3xx with a target; the target was not asked
        Certificate,  // the server's certificate was not trusted; nothing was sent
        TimedOut,     // no answer within the bound
        Cancelled,    // cancel() ended the wait, or came before it
        Refused,      // the connection was refused; nothing was sent
        HostNotFound, // the host name does not resolve; nothing was sent
        NetworkError, // any other failure of the connection
        NotAllowed,   // not an https: URI, or not a valid one; nothing was sent
    };
    Outcome outcome = Outcome::NotAllowed;
    bool ok = false;  // the server answered 2xx
    int status = 0;   // the HTTP status, 0 when no answer arrived
    QString host;     // the URI's host, empty for an invalid URI
    QString message;  // Japanese, one or two sentences, for a box or a terminal
};

// One request: an HTTPS POST of "List-Unsubscribe=One-Click" as
// application/x-www-form-urlencoded to the URI, with no cookies, no
// credentials (user info in the URI is dropped) and no referrer, redirects not
// followed and the certificate verified against the system's authorities plus
// those of SSL_CERT_FILE (a PEM file) and SSL_CERT_DIR (folders of PEM files,
// separated by ":"), when set.
//
// Nothing is sent until run() is called. run() waits in a local event loop,
// so the caller's thread needs a QCoreApplication (or QApplication) and its
// other events, a progress box's Cancel button among them, are handled while
// it waits.
class OneClick : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 15000;

    // `uri` is taken as written, blanks around it trimmed. `timeoutMs` bounds
    // the whole exchange, from the name look-up to the answer's headers; 0 or
    // less means the default.
    explicit OneClick(const QString &uri, int timeoutMs = DefaultTimeoutMs, QObject *parent = nullptr);

    // What run() would send: the method and URI, the headers set here and the
    // body, one per line; for a URI that would be refused, the refusal's
    // message. Sends nothing.
    QString describe() const;

    // Sends the request and returns once its answer's status and headers have
    // arrived (the rest of the body is not read), or on failure, time-out or
    // cancel. A refused URI returns at once without a connection.
    OneClickResult run();

public slots:
    // Ends the wait of run() with Outcome::Cancelled; before run(), makes run()
    // return that without sending. It stays so for later runs. Safe to call
    // from any thread.
    void cancel();

private:
    QUrl url_;
    QString written_;
    int timeoutMs_;
    std::atomic<bool> cancelled_{false};
    QPointer<QEventLoop> loop_;
};

} // namespace quil
