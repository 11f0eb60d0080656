// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Console.h"

#include "cli/Messages.h"
#include "platform/MessageBox.h"

#include <cerrno>
#include <cstring>
#include <libintl.h>

namespace quil::cli {

bool japaneseLocale() {
    // The POSIX order: LC_ALL overrides LC_MESSAGES, which overrides LANG.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return value.startsWith("ja");
    }
    return false;
}

Console::Console(std::FILE *out, std::FILE *err, bool japanese, bool progress, const QByteArray &encoding)
    : m_out(out), m_err(err), m_japanese(japanese), m_progressOn(progress), m_outEncoding(encoding),
      m_errEncoding(encoding) {}

QString Console::tr(const char *japanese, const char *english) const {
    return QString::fromUtf8(m_japanese ? japanese : english);
}

QString Console::translated(const QString &message) const {
    return m_japanese ? message : englishMessage(message);
}

QString Console::reason(int systemError) const {
    const char *english = ::strerrordesc_np(systemError);
    if (!english)
        return tr("エラー %1", "error %1").arg(systemError);
    // The C library's own catalogue, as strerror reads it; main has it
    // hand the text over in UTF-8 whatever the locale's encoding.
    return QString::fromUtf8(m_japanese ? ::dgettext("libc", english) : english);
}

QString Console::withReason(const QString &message, int systemError) const {
    if (!systemError)
        return message;
    QString m = message;
    if (m.endsWith(u'。') || m.endsWith(u'.'))
        m.chop(1);
    return m + QStringLiteral(": ") + reason(systemError);
}

bool Console::print(const QString &line) { return write(line + u'\n'); }

bool Console::write(const QString &text) {
    finishProgress();
    if (m_outFailure)
        return false;
    const QByteArray bytes = m_outEncoding.encode(text);
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out) != size_t(bytes.size())
        || std::fflush(m_out) != 0) {
        m_outFailure = errno ? errno : EIO;
        return false;
    }
    return true;
}

void Console::error(const QString &line) { errorText(QStringLiteral("quillet-cli: ") + line + u'\n'); }

void Console::errorText(const QString &text) {
    finishProgress();
    putError(m_errEncoding.encode(text));
}

void Console::putError(const QByteArray &bytes) {
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_err) != size_t(bytes.size())
        || std::fflush(m_err) != 0)
        m_errFailed = true;
}

int Console::finish(int status) {
    finishProgress();
    if (!m_outFailure) {
        errno = 0;
        if (std::fflush(m_out) != 0 || std::ferror(m_out))
            m_outFailure = errno ? errno : EIO;
    }
    // Closing reports what a file system found only then. A standard output
    // that was never open is no failure when nothing was written to it.
    errno = 0;
    if (std::fclose(m_out) != 0 && !m_outFailure && errno != EBADF)
        m_outFailure = errno ? errno : EIO;
    if (m_outFailure) {
        error(withReason(tr("標準出力に書き込めません", "write error on standard output"), m_outFailure));
        if (status == 0)
            status = 1;
    }
    if (const qint64 n = m_outEncoding.replaced())
        error(tr("%1 で表せない %2 文字を「?」として書きました", "%2 characters that %1 cannot hold were written as \"?\"")
                  .arg(QString::fromLatin1(m_outEncoding.name()))
                  .arg(n));
    // Nothing can tell of a standard error that failed but the status.
    if ((m_errFailed || std::fflush(m_err) != 0) && status == 0)
        status = 1;
    return status;
}

void Console::installMessageBoxes() {
    MessageBox::setBackend([this](const ShownMessage &m) {
        if (m.icon == MsgIcon::Error || m.icon == MsgIcon::Exclamation)
            error(translated(m.text));
        else if (!m_quiet)
            print(m.text);
        // No one is there to answer a question: it takes the answer that
        // changes nothing.
        switch (m.buttons) {
        case MsgButtons::YesNo: return MsgAnswer::No;
        case MsgButtons::OkCancel: return MsgAnswer::Cancel;
        case MsgButtons::Ok: break;
        }
        return MsgAnswer::Ok;
    });
}

void Console::progress(int done, const QString &text) {
    if (!m_progressOn || done < Threshold)
        return;
    m_progressText = text;
    if (m_progressShown && m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < 100)
        return;
    flushProgress();
}

void Console::flushProgress() {
    // Carriage return and erase to the end of the line: the line is redrawn in place.
    putError("\r" + m_errEncoding.encode(m_progressText) + "\x1b[K");
    m_progressShown = true;
    m_sinceDrawn.start();
}

void Console::finishProgress() {
    if (!m_progressShown)
        return;
    flushProgress(); // the last count, which the time limit may have held back
    putError("\n");
    m_progressShown = false;
    m_progressText.clear();
}

} // namespace quil::cli
