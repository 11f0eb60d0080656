// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/ImapMailbox.h"

#include "autoinput/core/MailReader.h"
#include "autoinput/core/ServerCertificate.h"
#include "text/Error.h"

#include <libetpan/libetpan.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <iconv.h>
#include <map>
#include <pthread.h>

namespace quil::imap {
namespace {

// A server that closed the connection would end the program with SIGPIPE
// on the next write; while the library talks to it, the signal is held and
// the write fails instead.
class HeldSigpipe {
public:
    HeldSigpipe() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~HeldSigpipe() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        const timespec now{0, 0};
        while (sigtimedwait(&pipe, nullptr, &now) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    HeldSigpipe(const HeldSigpipe &) = delete;
    HeldSigpipe &operator=(const HeldSigpipe &) = delete;

private:
    sigset_t m_old;
};

// The mailbox name as the protocol spells it (modified UTF-7, RFC 3501),
// through the C library's converter.
QByteArray protocolName(const QString &mailbox) {
    const QByteArray utf8 = mailbox.toUtf8();
    bool ascii = true;
    for (char c : utf8)
        ascii = ascii && uchar(c) >= 0x20 && uchar(c) < 0x7f && c != '&';
    if (ascii)
        return utf8;
    iconv_t cd = iconv_open("UTF-7-IMAP", "UTF-8");
    if (cd == iconv_t(-1))
        throw Error(QStringLiteral("メールボックス名 '%1' を IMAP の形に変換できません").arg(mail::echoed(mailbox)));
    QByteArray out(utf8.size() * 4 + 16, '\0');
    char *in = const_cast<char *>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char *o = out.data();
    size_t outLeft = size_t(out.size());
    const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    const size_t r2 = r == size_t(-1) ? r : iconv(cd, nullptr, nullptr, &o, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1) || r2 == size_t(-1))
        throw Error(QStringLiteral("メールボックス名 '%1' を IMAP の形に変換できません").arg(mail::echoed(mailbox)));
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

// An IPv4 or IPv6 address rather than a name.
bool isAddress(const QString &host) {
    if (host.contains(u':'))
        return true;
    for (QChar c : host)
        if (!(c.isDigit() || c == u'.'))
            return false;
    return true;
}

void setServerName(struct mailstream_ssl_context *context, void *data) {
    auto *name = static_cast<QByteArray *>(data);
    if (!name->isEmpty())
        mailstream_ssl_set_server_name(context, name->data());
}

// Consecutive UIDs as ranges, so that a fetch of many messages stays a short
// command.
struct mailimap_set *setOf(const QList<quint32> &uids) {
    struct mailimap_set *set = mailimap_set_new_empty();
    qsizetype i = 0;
    while (i < uids.size()) {
        qsizetype j = i;
        while (j + 1 < uids.size() && uids[j + 1] == uids[j] + 1)
            ++j;
        if (i == j)
            mailimap_set_add_single(set, uids[i]);
        else
            mailimap_set_add_interval(set, uids[i], uids[j]);
        i = j + 1;
    }
    return set;
}

} // namespace

struct Mailbox::Private {
    MailboxUrl url;
    mailimap *imap = nullptr;
    bool broken = false; // the connection failed; nothing more is said on it
    quint32 uidValidity = 0;
    quint32 uidNext = 0;
    quint32 exists = 0;
    int timeout = DefaultTimeoutSeconds;
    QByteArray serverName;

    ~Private() {
        if (!imap)
            return;
        if (!broken) {
            HeldSigpipe held;
            mailimap_set_timeout(imap, 5);
            mailimap_logout(imap);
        }
        mailimap_free(imap);
    }

    QString server() const { return url.server(); }

    QString serverSaid() const {
        if (!imap || !imap->imap_response)
            return {};
        return mail::echoed(QString::fromUtf8(imap->imap_response).trimmed());
    }

    // The library's failure as the reader is told it.
    [[noreturn]] void fail(int r, const QString &doing) {
        switch (r) {
        case MAILIMAP_ERROR_STREAM:
        case MAILIMAP_ERROR_CONNECTION_REFUSED:
            broken = true;
            if (doing.isEmpty())
                throw Error(QStringLiteral("サーバー %1 に接続できません").arg(server()), Error::Kind::Unavailable,
                            errno == ETIMEDOUT || errno == ECONNREFUSED ? errno : 0);
            throw Error(QStringLiteral("サーバー %1 との接続が切れたか、%2 秒待っても応答がありません (%3)")
                            .arg(server())
                            .arg(timeout)
                            .arg(doing),
                        Error::Kind::Unavailable);
        case MAILIMAP_ERROR_SSL:
            broken = true;
            throw Error(QStringLiteral("サーバー %1 と TLS で接続できません").arg(server()), Error::Kind::Unavailable);
        case MAILIMAP_ERROR_PARSE:
            broken = true;
            throw Error(QStringLiteral("サーバー %1 の応答を読めません (%2)").arg(server(), doing));
        case MAILIMAP_ERROR_MEMORY:
            throw std::bad_alloc();
        default: {
            const QString said = serverSaid();
            throw Error(said.isEmpty()
                            ? QStringLiteral("サーバー %1 がエラーを返しました (%2)").arg(server(), doing)
                            : QStringLiteral("サーバー %1 がエラーを返しました (%2): %3").arg(server(), doing, said));
        }
        }
    }

    void checkCertificate() {
        carray *chain = mailstream_get_certificate_chain(imap->imap_stream);
        QList<QByteArray> ders;
        if (chain) {
            for (unsigned i = 0; i < carray_count(chain); ++i) {
                auto *s = static_cast<MMAPString *>(carray_get(chain, i));
                ders.append(QByteArray(s->str, qsizetype(s->len)));
            }
            mailstream_certificate_chain_free(chain);
        }
        const QString why = untrustedReason(ders, url.host);
        if (!why.isEmpty()) {
            broken = true; // not even a LOGOUT goes to an untrusted server
            throw Error(QStringLiteral("サーバー %1 の証明書を信頼できないので接続をやめました: %2").arg(url.host, why));
        }
    }

    void connect() {
        imap = mailimap_new(0, nullptr);
        if (!imap)
            throw std::bad_alloc();
        mailimap_set_timeout(imap, time_t(timeout));
        const QByteArray host = url.host.toUtf8();
        // Names, not addresses, go into the TLS greeting (RFC 6066).
        serverName = isAddress(url.host) ? QByteArray() : host;
        int r;
        if (url.implicitTls) {
            r = mailimap_ssl_connect_with_callback(imap, host.constData(), url.port, setServerName, &serverName);
            if (r != MAILIMAP_NO_ERROR_NON_AUTHENTICATED && r != MAILIMAP_NO_ERROR_AUTHENTICATED)
                fail(r, QString());
        } else {
            r = mailimap_socket_connect(imap, host.constData(), url.port);
            if (r != MAILIMAP_NO_ERROR_NON_AUTHENTICATED && r != MAILIMAP_NO_ERROR_AUTHENTICATED)
                fail(r, QString());
            struct mailimap_capability_data *caps = nullptr;
            r = mailimap_capability(imap, &caps);
            if (caps)
                mailimap_capability_data_free(caps);
            if (r != MAILIMAP_NO_ERROR)
                fail(r, QStringLiteral("CAPABILITY"));
            if (!mailimap_has_extension(imap, const_cast<char *>("STARTTLS"))) {
                broken = true; // nothing, not even LOGOUT, in the clear
                throw Error(QStringLiteral("サーバー %1 は STARTTLS を提供していないので、パスワードを送らずに接続をやめました "
                                           "(imaps:// を使ってください)")
                                .arg(server()));
            }
            r = mailimap_socket_starttls_with_callback(imap, setServerName, &serverName);
            if (r != MAILIMAP_NO_ERROR)
                fail(r == MAILIMAP_ERROR_STREAM ? MAILIMAP_ERROR_SSL : r, QStringLiteral("STARTTLS"));
        }
        checkCertificate();
    }

    void login(const QString &password) {
        const QByteArray user = url.user.toUtf8();
        QByteArray secret = password.toUtf8();
        const int r = mailimap_login(imap, user.constData(), secret.constData());
        secret.fill('\0');
        if (r == MAILIMAP_ERROR_LOGIN) {
            const QString said = serverSaid();
            throw Error(said.isEmpty()
                            ? QStringLiteral("サーバー %1 にユーザー %2 でログインできません").arg(server(), url.user)
                            : QStringLiteral("サーバー %1 にユーザー %2 でログインできません: %3")
                                  .arg(server(), url.user, said));
        }
        if (r != MAILIMAP_NO_ERROR)
            fail(r, QStringLiteral("LOGIN"));
    }

    void examine() {
        const QByteArray name = protocolName(url.mailbox);
        const int r = mailimap_examine(imap, name.constData());
        if (r == MAILIMAP_ERROR_EXAMINE) {
            const QString said = serverSaid();
            throw Error(said.isEmpty()
                            ? QStringLiteral("サーバー %1 のメールボックス '%2' を開けません").arg(server(), url.mailbox)
                            : QStringLiteral("サーバー %1 のメールボックス '%2' を開けません: %3")
                                  .arg(server(), url.mailbox, said));
        }
        if (r != MAILIMAP_NO_ERROR)
            fail(r, QStringLiteral("EXAMINE"));
        if (imap->imap_selection_info) {
            uidValidity = imap->imap_selection_info->sel_uidvalidity;
            uidNext = imap->imap_selection_info->sel_uidnext;
            exists = imap->imap_selection_info->sel_exists;
        }
    }

    // One UID FETCH; each message's UID and its attributes' bytes go to take
    // in UID order.
    void fetch(struct mailimap_set *set, struct mailimap_fetch_type *type, const QString &doing,
               const std::function<void(quint32, quint32, const QByteArray &)> &take) {
        clist *result = nullptr;
        const int r = mailimap_uid_fetch(imap, set, type, &result);
        mailimap_set_free(set);
        mailimap_fetch_type_free(type);
        if (r != MAILIMAP_NO_ERROR) {
            if (result)
                mailimap_fetch_list_free(result);
            fail(r, doing);
        }
        struct Got {
            quint32 size = 0;
            QByteArray bytes;
        };
        std::map<quint32, Got> got;
        for (clistiter *it = clist_begin(result); it; it = clist_next(it)) {
            auto *att = static_cast<struct mailimap_msg_att *>(clist_content(it));
            quint32 uid = 0;
            Got g;
            for (clistiter *a = clist_begin(att->att_list); a; a = clist_next(a)) {
                auto *item = static_cast<struct mailimap_msg_att_item *>(clist_content(a));
                if (item->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC)
                    continue;
                struct mailimap_msg_att_static *s = item->att_data.att_static;
                switch (s->att_type) {
                case MAILIMAP_MSG_ATT_UID: uid = s->att_data.att_uid; break;
                case MAILIMAP_MSG_ATT_RFC822_SIZE: g.size = s->att_data.att_rfc822_size; break;
                case MAILIMAP_MSG_ATT_BODY_SECTION:
                    if (s->att_data.att_body_section && s->att_data.att_body_section->sec_body_part)
                        g.bytes = QByteArray(s->att_data.att_body_section->sec_body_part,
                                             qsizetype(s->att_data.att_body_section->sec_length));
                    break;
                default: break;
                }
            }
            // A FETCH the server sends on its own (a flag changed by another
            // client) carries no UID of ours.
            if (uid != 0)
                got[uid] = std::move(g);
        }
        mailimap_fetch_list_free(result);
        for (auto &[uid, g] : got)
            take(uid, g.size, g.bytes);
    }
};

Mailbox::Mailbox(const MailboxUrl &url, const QString &password, int timeoutSeconds) : d(std::make_unique<Private>()) {
    HeldSigpipe held;
    d->url = url;
    d->timeout = timeoutSeconds;
    d->connect();
    d->login(password);
    d->examine();
}

Mailbox::~Mailbox() = default;

quint32 Mailbox::uidValidity() const { return d->uidValidity; }
quint32 Mailbox::uidNext() const { return d->uidNext; }
quint32 Mailbox::messageCount() const { return d->exists; }

QList<MessageSize> Mailbox::messagesAbove(quint32 after) {
    QList<MessageSize> found;
    if (after == 0xffffffffu)
        return found;
    HeldSigpipe held;
    struct mailimap_fetch_type *type = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_rfc822_size());
    // "after+1:*" names the last message even when its UID is lower: the
    // UIDs are checked here.
    d->fetch(mailimap_set_new_interval(after + 1, 0), type, QStringLiteral("UID FETCH"),
             [&](quint32 uid, quint32 size, const QByteArray &) {
                 if (uid > after)
                     found.append(MessageSize{uid, size});
             });
    return found;
}

void Mailbox::fetchHeaders(const QList<quint32> &uids, const std::function<void(quint32, const QByteArray &)> &take) {
    if (uids.isEmpty())
        return;
    HeldSigpipe held;
    struct mailimap_fetch_type *type = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_body_peek_section(mailimap_section_new_header()));
    d->fetch(setOf(uids), type, QStringLiteral("UID FETCH BODY.PEEK[HEADER]"),
             [&](quint32 uid, quint32, const QByteArray &bytes) { take(uid, bytes); });
}

void Mailbox::fetchMessages(const QList<quint32> &uids, const std::function<void(quint32, const QByteArray &)> &take) {
    if (uids.isEmpty())
        return;
    HeldSigpipe held;
    struct mailimap_fetch_type *type = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_body_peek_section(mailimap_section_new(nullptr)));
    d->fetch(setOf(uids), type, QStringLiteral("UID FETCH BODY.PEEK[]"),
             [&](quint32 uid, quint32, const QByteArray &bytes) { take(uid, bytes); });
}

} // namespace quil::imap
