// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command-line companion says and where: results on standard
// output, errors and the progress line on standard error, in the reader's
// language (Japanese or English) and the locale's encoding.
#include "cli/Encoding.h"
#include "text/Error.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace quil::cli {

// True when the messages locale (LC_ALL, else LC_MESSAGES, else LANG) is
// Japanese.
bool japaneseLocale();

class Console {
public:
    // The progress line is shown only when `progress` is on; main turns it on
    // when standard error is a terminal. Both streams are written in
    // `encoding` (see localeEncoding; empty: UTF-8).
    Console(std::FILE *out, std::FILE *err, bool japanese, bool progress, const QByteArray &encoding = QByteArray());

    bool japanese() const { return m_japanese; }
    // The text in the reader's language.
    QString tr(const char *japanese, const char *english) const;
    // One of the program's own messages (they are Japanese) in the reader's
    // language, where an English form of it is known.
    QString translated(const QString &message) const;
    // The system's words for an errno, in the reader's language where the
    // system has them.
    QString reason(int systemError) const;
    // The message with the reason after it.
    QString withReason(const QString &message, int systemError) const;
    // An error as the reader is told it.
    QString describe(const Error &e) const { return withReason(translated(e.message()), e.systemError()); }

    // One line of text on standard output. False once standard output has
    // failed: nothing more is written there, and finish reports it.
    bool print(const QString &line);
    // Text on standard output as it is (data: TSV, JSON, the help).
    bool write(const QString &text);
    // Whether standard output's encoding holds every character of the text.
    bool outputHolds(QStringView text) { return m_outEncoding.holds(text); }
    // One line on standard error, after the program's name.
    void error(const QString &line);
    // Text on standard error as it is (the usage).
    void errorText(const QString &text);

    // Ends the run: standard output is flushed and closed, a failure to
    // write it is reported, as is text that its encoding could not hold.
    // Returns the exit status: `status`, or 1 for a run that would have been
    // a success without the failure.
    int finish(int status);

    // Routes the program's message boxes here for the life of the console:
    // errors to standard error, other boxes to standard output unless
    // suppressed.
    void installMessageBoxes();
    // While one exists, boxes that are not errors are not printed: a command
    // that reports its own total takes the parser's per-run count itself.
    class QuietNotices {
    public:
        explicit QuietNotices(Console &c) : m_console(c), m_was(c.m_quiet) { c.m_quiet = true; }
        ~QuietNotices() { m_console.m_quiet = m_was; }
        QuietNotices(const QuietNotices &) = delete;
        QuietNotices &operator=(const QuietNotices &) = delete;
    private:
        Console &m_console;
        bool m_was;
    };

    // The progress line: redrawn in place on standard error, at most every
    // tenth of a second, once at least `Threshold` items have been done, so
    // that short work shows nothing. finishProgress ends the line when one
    // was drawn.
    static constexpr int Threshold = 100;
    void progress(int done, const QString &text);
    void finishProgress();

private:
    void flushProgress();
    void putError(const QByteArray &bytes);

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_japanese;
    bool m_progressOn;
    TextEncoding m_outEncoding;
    TextEncoding m_errEncoding;
    int m_outFailure = 0; // errno of the first failed write, 0 while none
    bool m_errFailed = false;
    bool m_quiet = false;
    bool m_progressShown = false;
    QString m_progressText;
    QElapsedTimer m_sinceDrawn;
};

} // namespace quil::cli
