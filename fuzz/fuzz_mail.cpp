// libFuzzer target: arbitrary bytes as a dropped file, through the mail
// reader (GMime's parser, the transfer and charset decoding, the HTML lines)
// and the lines the drop makes of them.
#include "autoinput/core/DropInput.h"
#include "autoinput/core/HtmlText.h"
#include "autoinput/core/MailReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

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
    }

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
