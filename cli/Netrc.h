// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ~/.netrc file as curl and fetchmail read it, without touching the
// file system: its text in, its entries out, and the one that fits a login.
//
// Tokens are separated by blanks and line ends. `machine NAME` and `default`
// begin an entry; `login`, `password` and `account` each take the next token
// as their value; other words are passed over. `macdef NAME` begins a macro,
// whose body runs to the next empty line and is skipped. A line whose first
// non-blank character is `#` is a comment. A token that begins with `"` runs
// to the next `"`, where `\n`, `\r` and `\t` stand for those characters and
// a backslash before any other character keeps that character.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quil::cli {

struct NetrcEntry {
    bool isDefault = false; // `default` rather than `machine`
    QString machine;        // empty for `default`
    std::optional<QString> login;
    std::optional<QString> password;
};

struct NetrcFile {
    QList<NetrcEntry> entries;
    // The line where a quoted token is not closed, 0 when the text is
    // well formed. Entries before it are kept; nothing after it is read.
    int badLine = 0;
};

// The entries of a .netrc text (UTF-8), in file order.
NetrcFile parseNetrc(const QByteArray &text);

// The password of `user` at `host`. Fits, best first: the machine with
// that login; the machine with no login; `default` with that login;
// `default` with no login. Within each, the first in the file that has a
// password. Machine names are compared ignoring case, logins exactly.
std::optional<QString> netrcPassword(const QList<NetrcEntry> &entries, const QString &host, const QString &user);

} // namespace quil::cli
