// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <exception>

namespace quil {

// Every failure the program reports carries a Japanese message fit for the
// general error display. The kind lets a caller that must tell a passing
// condition from a lasting one (a mail system retrying later) do so without
// reading the message.
class Error : public std::exception {
public:
    enum class Kind {
        General,
        Busy,     // another process holds the tables; trying again later may work
        DiskFull, // no space left on the device
        Unavailable, // a server could not be reached or went away; trying again later may work
    };
    explicit Error(QString message, Kind kind = Kind::General, int systemError = 0)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8()), m_kind(kind), m_systemError(systemError) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }
    Kind kind() const noexcept { return m_kind; }
    // The errno behind the failure, 0 when there is none. The window shows its
    // fixed message alone; the command line adds the system's words for it.
    int systemError() const noexcept { return m_systemError; }

private:
    QString m_message;
    QByteArray m_utf8;
    Kind m_kind;
    int m_systemError;
};

} // namespace quil
