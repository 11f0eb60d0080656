#include "cli/Console.h"

#include "platform/MessageBox.h"

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

Console::Console(std::FILE *out, std::FILE *err, bool japanese, bool progress)
    : m_out(out), m_err(err), m_japanese(japanese), m_progressOn(progress) {}

QString Console::tr(const char *japanese, const char *english) const {
    return QString::fromUtf8(m_japanese ? japanese : english);
}

void Console::print(const QString &line) { write((line + u'\n').toLocal8Bit()); }

void Console::write(const QByteArray &bytes) {
    finishProgress();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

void Console::error(const QString &line) { errorText(QStringLiteral("quillet-cli: ") + line + u'\n'); }

void Console::errorText(const QString &text) {
    finishProgress();
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_err);
    std::fflush(m_err);
}

void Console::installMessageBoxes() {
    MessageBox::setBackend([this](const ShownMessage &m) {
        if (m.icon == MsgIcon::Error || m.icon == MsgIcon::Exclamation)
            error(m.text);
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
    const QByteArray bytes = "\r" + m_progressText.toLocal8Bit() + "\x1b[K";
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_err);
    std::fflush(m_err);
    m_progressShown = true;
    m_sinceDrawn.start();
}

void Console::finishProgress() {
    if (!m_progressShown)
        return;
    flushProgress(); // the last count, which the time limit may have held back
    std::fputc('\n', m_err);
    std::fflush(m_err);
    m_progressShown = false;
    m_progressText.clear();
}

} // namespace quil::cli
