// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as a dropped file, through the mail
// reader (GMime's parser, the transfer and charset decoding, the HTML lines,
// the list headers) and the lines the drop makes of them; and as a stream
// arriving in small pieces, and under a small size limit, which must give
// the same messages. The bytes also go to the list-field readers directly.
#include "tests/support/Trickle.h"
#include "autoinput/core/DropInput.h"
#include "autoinput/core/HtmlText.h"
#include "autoinput/core/MailReader.h"
#include "text/Error.h"

#include <QIODevice>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void finding(const char *what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Every line of a message's text ends with CR LF, and no CR or LF stands alone.
bool crLfLines(const QString &text) {
    if (!text.isEmpty() && !text.endsWith(QLatin1String("\r\n")))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))
            return false;
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            return false;
    }
    return true;
}

using quil::test::Trickle;

bool same(const quil::mail::MailText &a, const quil::mail::MailText &b) {
    return a.label == b.label && a.text == b.text && a.error == b.error && a.subject == b.subject && a.list == b.list;
}

bool blankOrBracket(const QString &s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'>'; });
}

// What the list headers of any message must hold to.
void checkList(const quil::mail::ListHeaders &list) {
    if (list.unsubscribe.size() > quil::mail::MaxListUris)
        finding("more unsubscribe URIs than the cap");
    for (const QString &uri : list.unsubscribe)
        if (uri.isEmpty() || blankOrBracket(uri))
            finding("an unsubscribe URI empty or with a blank or bracket");
    if (blankOrBracket(list.listId))
        finding("a List-Id with a blank or bracket");
    if (list.oneClick && (list.unsubscribePost != QLatin1String("List-Unsubscribe=One-Click") || list.firstHttps().isEmpty()))
        finding("one-click without its list fields");
    if (quil::mail::readerAddress(list, {}) != (list.to.isEmpty() ? QString() : list.to.first()))
        finding("no own address, yet not the first To");
    if (!list.deliveredTo.isEmpty() && !list.deliveredTo.first().trimmed().isEmpty() &&
        quil::mail::readerAddress(list, list.deliveredTo) != list.deliveredTo.first().trimmed())
        finding("the first own Delivered-To was not taken");
}

// The readers of single list fields over the bytes as one field's value.
void checkFields(const QByteArray &bytes) {
    const QStringList uris = quil::mail::listUris(bytes);
    if (uris.size() > quil::mail::MaxListUris)
        finding("listUris past the cap");
    const quil::mail::ListIdField id = quil::mail::listIdField(bytes);
    if (blankOrBracket(id.id) || (id.id.isEmpty() && !id.phrase.isEmpty()))
        finding("a List-Id read otherwise than phrase and <id>");
    quil::mail::ListHeaders list;
    list.unsubscribe = {QStringLiteral("https://x.example/")};
    list.unsubscribePost = QStringLiteral("List-Unsubscribe=One-Click");
    quil::mail::SigningHeaders signing;
    signing.authenticationResults = bytes;
    signing.dkimSignatures = {bytes, bytes};
    signing.unsubscribeFields = signing.unsubscribePostFields = 1;
    (void)quil::mail::oneClickAllowed(list, signing);
    list.unsubscribe.clear();
    if (quil::mail::oneClickAllowed(list, signing))
        finding("one-click without an https URI");
}

// The stream in pieces gives what the whole bytes give; under a small limit
// each message is either the same or refused as too large.
void checkStreams(const QByteArray &bytes, const QList<quil::mail::MailText> &mails) {
    const qint64 step = bytes.isEmpty() ? 1 : 1 + static_cast<unsigned char>(bytes[0]) % 13;
    Trickle pieces(bytes, step);
    quil::mail::MailReader reader(pieces, QStringLiteral("f"));
    quil::mail::MailText m;
    qsizetype n = 0;
    while (reader.next(m)) {
        if (n >= mails.size() || !same(m, mails[n]))
            finding("a stream in pieces read otherwise than the whole bytes");
        ++n;
    }
    if (n != mails.size())
        finding("a stream in pieces gave another number of messages");

    constexpr qint64 Limit = 200;
    Trickle again(bytes, step);
    quil::mail::MailReader small(again, QStringLiteral("f"), Limit);
    if (small.kind() != quil::mail::classify(bytes)) {
        // Only a head too long to tell within the limit, taken for no mail.
        if (small.kind() != quil::mail::FileKind::Other || bytes.size() <= Limit)
            finding("a limit changed what the bytes were taken for");
        return;
    }
    n = 0;
    while (small.next(m)) {
        if (n >= mails.size())
            finding("a limit gave more messages");
        else if (!same(m, mails[n]) && (m.label != mails[n].label || !m.text.isEmpty() ||
                                        !m.error.startsWith(QStringLiteral("メールが大きすぎます"))))
            finding("a limit changed a message other than by refusing it");
        ++n;
    }
    if (n != mails.size())
        finding("a limit gave another number of messages");
    if (small.kind() == quil::mail::FileKind::Other) {
        try {
            if (small.text() != bytes)
                finding("a text that is no mail was not read whole");
            if (bytes.size() > Limit)
                finding("a text past the limit was read");
        } catch (const quil::Error &) {
            if (bytes.size() <= Limit)
                finding("a text within the limit was refused");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const quil::mail::FileKind kind = quil::mail::classify(bytes);
    const QList<quil::mail::MailText> mails = quil::mail::readMessages(bytes, QStringLiteral("f"));
    if ((kind == quil::mail::FileKind::Other) != mails.isEmpty())
        finding("messages read from bytes that are no mail, or none from a mail");
    if (kind == quil::mail::FileKind::Message && mails.size() != 1)
        finding("a message gave other than one text");
    for (qsizetype i = 0; i < mails.size(); ++i) {
        const quil::mail::MailText &m = mails[i];
        const QString label = kind == quil::mail::FileKind::Mbox ? QStringLiteral("f#%1").arg(i + 1) : QStringLiteral("f");
        if (m.label != label)
            finding("wrong label");
        if (!m.error.isEmpty() && !m.text.isEmpty())
            finding("text beside an error");
        if (!crLfLines(m.text))
            finding("text with a line not ended by CR LF");
        checkList(m.list);
    }

    checkStreams(bytes, mails);
    checkFields(bytes);

    const quil::drop::FileLines taken = quil::drop::fileLines(bytes, QStringLiteral("f"));
    qsizetype readable = 0;
    for (const quil::mail::MailText &m : mails)
        readable += m.error.isEmpty() ? 1 : 0;
    if (kind != quil::mail::FileKind::Other && taken.unreadable.size() != mails.size() - readable)
        finding("unreadable messages miscounted");
    for (const quil::drop::Line &l : taken.lines)
        if (l.decoded && (l.text.contains(u'\r') || l.text.contains(u'\n')))
            finding("a line break inside a decoded line");

    // The HTML lines on their own, over the bytes as text.
    const QString lines = quil::mail::htmlToText(QString::fromUtf8(bytes));
    if (lines.contains(u'\r') || (!lines.isEmpty() && !lines.endsWith(u'\n')))
        finding("HTML lines not ended by LF");
    return 0;
}
