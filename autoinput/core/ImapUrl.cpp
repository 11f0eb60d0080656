// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/ImapUrl.h"

#include "text/Error.h"

#include <QStringDecoder>
#include <QUrl>

namespace quil::imap {
namespace {

Error bad(const QString &arg, const QString &why) {
    return Error(QStringLiteral("メールボックスの URL '%1' は使えません: %2").arg(arg, why));
}

// Percent-decoding that refuses what is not UTF-8, so that a mailbox name
// is never guessed.
std::optional<QString> decoded(const QString &part) {
    const QByteArray bytes = QByteArray::fromPercentEncoding(part.toLatin1());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString MailboxUrl::display() const {
    QString s = implicitTls ? QStringLiteral("imaps://") : QStringLiteral("imap://");
    s += QString::fromLatin1(QUrl::toPercentEncoding(user)) + u'@';
    s += host.contains(u':') ? u'[' + host + u']' : host;
    if (port != (implicitTls ? 993 : 143))
        s += u':' + QString::number(port);
    s += u'/' + QString::fromLatin1(QUrl::toPercentEncoding(mailbox, "/"));
    return s;
}

QString MailboxUrl::server() const {
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

bool looksLikeUrl(const QString &arg) {
    return arg.startsWith(QLatin1String("imap://"), Qt::CaseInsensitive)
        || arg.startsWith(QLatin1String("imaps://"), Qt::CaseInsensitive);
}

MailboxUrl parseUrl(const QString &arg) {
    MailboxUrl url;
    qsizetype rest;
    if (arg.startsWith(QLatin1String("imaps://"), Qt::CaseInsensitive)) {
        url.implicitTls = true;
        url.port = 993;
        rest = 8;
    } else if (arg.startsWith(QLatin1String("imap://"), Qt::CaseInsensitive)) {
        url.implicitTls = false;
        url.port = 143;
        rest = 7;
    } else {
        throw bad(arg, QStringLiteral("imaps:// か imap:// で始まりません"));
    }
    for (QChar c : arg) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e)
            throw bad(arg, QStringLiteral("空白や制御文字、% で符号化していない文字があります"));
    }
    if (arg.contains(u'?') || arg.contains(u'#'))
        throw bad(arg, QStringLiteral("? や # のあとの部分は使えません"));
    const qsizetype slash = arg.indexOf(u'/', rest);
    const QString authority = arg.mid(rest, slash < 0 ? -1 : slash - rest);
    const QString path = slash < 0 ? QString() : arg.mid(slash + 1);

    const qsizetype at = authority.lastIndexOf(u'@');
    if (at <= 0)
        throw bad(arg, QStringLiteral("ユーザー名がありません (imaps://ユーザー名@サーバー/メールボックス)"));
    const QString userPart = authority.left(at);
    if (userPart.contains(u':'))
        throw bad(arg, QStringLiteral("パスワードは URL に書かないでください (~/.netrc、鍵束、--password-command を使います)"));
    if (userPart.contains(u';'))
        throw bad(arg, QStringLiteral("\";AUTH=\" などの指定は使えません"));
    const std::optional<QString> user = decoded(userPart);
    if (!user || user->isEmpty())
        throw bad(arg, QStringLiteral("ユーザー名が UTF-8 ではありません"));
    url.user = *user;

    QString hostPort = authority.mid(at + 1);
    QString portText;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0)
            throw bad(arg, QStringLiteral("サーバーの [ が閉じていません"));
        url.host = hostPort.mid(1, close - 1);
        const QString after = hostPort.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':'))
                throw bad(arg, QStringLiteral("サーバー名のあとに余分な文字があります"));
            portText = after.mid(1);
        }
    } else {
        const qsizetype colon = hostPort.indexOf(u':');
        url.host = colon < 0 ? hostPort : hostPort.left(colon);
        if (colon >= 0)
            portText = hostPort.mid(colon + 1);
    }
    url.host = url.host.toLower();
    if (url.host.isEmpty())
        throw bad(arg, QStringLiteral("サーバー名がありません"));
    for (QChar c : url.host) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == u':';
        if (!ok)
            throw bad(arg, QStringLiteral("サーバー名に使えない文字があります"));
    }
    if (!portText.isEmpty() || hostPort.endsWith(u':')) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            throw bad(arg, QStringLiteral("ポート番号 '%1' は 1 から 65535 の数ではありません").arg(portText));
        url.port = quint16(port);
    }

    QString mailbox = path;
    if (mailbox.endsWith(u'/'))
        mailbox.chop(1);
    if (mailbox.contains(u';'))
        throw bad(arg, QStringLiteral("\";UIDVALIDITY=\" や \";UID=\" などの指定は使えません"));
    const std::optional<QString> name = decoded(mailbox);
    if (!name)
        throw bad(arg, QStringLiteral("メールボックス名が UTF-8 ではありません"));
    url.mailbox = name->isEmpty() ? QStringLiteral("INBOX") : *name;
    if (url.mailbox.contains(QChar(0)) || url.mailbox.contains(u'\r') || url.mailbox.contains(u'\n'))
        throw bad(arg, QStringLiteral("メールボックス名に制御文字があります"));
    return url;
}

} // namespace quil::imap
