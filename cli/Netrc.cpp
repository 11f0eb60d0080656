// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Netrc.h"

namespace quil::cli {
namespace {

// Blanks, the carriage return of CR LF files and other control characters
// end an unquoted token, as in curl.
bool separates(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool isBlankLine(const QByteArray &line) {
    for (char c : line)
        if (!separates(c))
            return false;
    return true;
}

bool is(const QByteArray &token, const char *keyword) {
    return token.compare(QByteArrayView(keyword), Qt::CaseInsensitive) == 0;
}

// The quoted token that begins at line[pos] (a `"`); pos ends past its
// closing quote. False when the line ends first.
bool readQuoted(const QByteArray &line, qsizetype &pos, QByteArray &token) {
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos == line.size())
                return false;
            c = line[pos];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
        token += c;
    }
    return false;
}

} // namespace

NetrcFile parseNetrc(const QByteArray &text) {
    enum class Want { Keyword, Machine, Login, Password, Account, MacroName };
    NetrcFile file;
    Want want = Want::Keyword;
    bool inMacro = false;
    bool inEntry = false; // login and password belong to file.entries.last()
    int lineNumber = 0;
    for (const QByteArray &line : text.split('\n')) {
        ++lineNumber;
        if (inMacro) {
            inMacro = !isBlankLine(line);
            continue;
        }
        qsizetype pos = 0;
        while (pos < line.size() && separates(line[pos]))
            ++pos;
        if (pos < line.size() && line[pos] == '#')
            continue;
        while (pos < line.size()) {
            if (separates(line[pos])) {
                ++pos;
                continue;
            }
            QByteArray token;
            if (line[pos] == '"') {
                if (!readQuoted(line, pos, token)) {
                    file.badLine = lineNumber;
                    return file;
                }
            } else {
                const qsizetype start = pos;
                while (pos < line.size() && !separates(line[pos]))
                    ++pos;
                token = line.mid(start, pos - start);
            }
            const Want was = want;
            want = Want::Keyword;
            switch (was) {
            case Want::Keyword:
                if (is(token, "machine")) {
                    want = Want::Machine;
                } else if (is(token, "default")) {
                    file.entries.append(NetrcEntry{true, QString(), std::nullopt, std::nullopt});
                    inEntry = true;
                } else if (is(token, "login")) {
                    want = Want::Login;
                } else if (is(token, "password")) {
                    want = Want::Password;
                } else if (is(token, "account")) {
                    want = Want::Account;
                } else if (is(token, "macdef")) {
                    want = Want::MacroName;
                    inEntry = false;
                }
                break;
            case Want::Machine:
                file.entries.append(NetrcEntry{false, QString::fromUtf8(token), std::nullopt, std::nullopt});
                inEntry = true;
                break;
            case Want::Login:
                if (inEntry)
                    file.entries.last().login = QString::fromUtf8(token);
                break;
            case Want::Password:
                if (inEntry)
                    file.entries.last().password = QString::fromUtf8(token);
                break;
            case Want::Account:
                break;
            case Want::MacroName:
                // The body begins on the next line; the rest of this one
                // goes with the name.
                inMacro = true;
                pos = line.size();
                break;
            }
            token.fill('\0');
        }
    }
    return file;
}

std::optional<QString> netrcPassword(const QList<NetrcEntry> &entries, const QString &host, const QString &user) {
    const auto first = [&](bool isDefault, bool withLogin) -> std::optional<QString> {
        for (const NetrcEntry &e : entries) {
            if (e.isDefault != isDefault || !e.password)
                continue;
            if (!isDefault && e.machine.compare(host, Qt::CaseInsensitive) != 0)
                continue;
            if (withLogin ? e.login == user : !e.login)
                return e.password;
        }
        return std::nullopt;
    };
    for (const bool isDefault : {false, true})
        for (const bool withLogin : {true, false})
            if (std::optional<QString> p = first(isDefault, withLogin))
                return p;
    return std::nullopt;
}

} // namespace quil::cli
