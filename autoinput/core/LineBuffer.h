// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

namespace quil {

// The parser's view of the text area: the current line is always the first
// line that has not been removed. Removing a line only moves an offset into
// the original text, so the text area is written back once, with exactly the
// lines that were not removed, character for character.
class LineBuffer {
public:
    // Lines are read at most this many CP932 bytes long.
    static constexpr qsizetype MaxLineBytes = 4096;

    explicit LineBuffer(QString text);

    // False when every line has been removed. A line break at the very end
    // of the text starts no further line.
    bool hasLines() const { return m_pos < m_text.size(); }

    // The current line as CP932 bytes, at most its first 4096; empty when
    // there are no lines. Valid until the next removal.
    const QByteArray &bytes();
    // The current line as the original text, cut at a character boundary
    // only when it is longer than 4096 bytes.
    QString text();

    // Removes the current line with its break (CR LF, CR or LF).
    void remove();
    // Drops every line, as clearing the text area would.
    void clear();

    // Lines not removed yet, as they stand in the original text.
    QString remaining() const { return m_text.mid(m_pos); }

    // Walks the lines from the current one without removing any.
    class Reader {
    public:
        Reader(QString text, qsizetype pos) : m_text(std::move(text)), m_pos(pos) {}
        bool atEnd() const { return m_pos >= m_text.size(); }
        // The next line's CP932 bytes (at most 4096); advances past it.
        QByteArray nextBytes();
    private:
        QString m_text; // a shared copy, never a deep one
        qsizetype m_pos;
    };
    Reader reader() const { return Reader(m_text, m_pos); }

private:
    void locate();

    const QString m_text; // a shared copy of the caller's text
    qsizetype m_pos = 0;
    qsizetype m_end = 0;   // end of the current line's characters
    qsizetype m_next = 0;  // start of the line after it
    bool m_located = false;
    bool m_haveBytes = false;
    bool m_truncated = false; // the current line is longer than 4096 bytes
    QByteArray m_bytes;
};

} // namespace quil
