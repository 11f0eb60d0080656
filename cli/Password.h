// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where quillet-cli finds the password of a mailbox. It is never taken from
// the command line, where other users could read it, and it never appears
// in a message.
#include "cli/Console.h"

#include <QString>

#include <chrono>

namespace quil::cli {

struct PasswordQuery {
    QString host;    // as in the URL, e.g. "mail.example.jp" or "127.0.0.1"
    QString user;    // decoded login name
    QString command; // --password-command, empty when not given
};

// The password of user at host, from the first source that has one:
// - `command` when given (and then only it): run with /bin/sh -c, its first
//   line (without the line end) is the password; a command that fails (exit
//   status not 0, cannot start, no output, or runs over PasswordCommandWait)
//   is an Error saying so. Its standard input and standard error are ours.
// - $HOME/.netrc (see Netrc.h). A file that group or others may use
//   (mode & 077) is refused with an Error naming it and saying to chmod 600,
//   even when it has no entry for this host, since its passwords are exposed;
//   a missing file is no source.
// - the desktop's keyring through the Secret Service, only when a session
//   bus is there (DBUS_SESSION_BUS_ADDRESS, or $XDG_RUNTIME_DIR/bus): the item
//   with attributes service=quillet, host=HOST, user=USER, as
//   `secret-tool store --label=... service quillet host HOST user USER` puts
//   it there. A keyring that fails or does not answer within KeyringWait is
//   no source.
// - else a prompt on the terminal (/dev/tty) without echo, in the console's
//   language; echo is restored afterwards, also when a signal ends the
//   program meanwhile. With no terminal, an Error saying where the password
//   was looked for.
// Throws quil::Error (Japanese message) on failure.
QString findPassword(const PasswordQuery &query, Console &console);

inline constexpr std::chrono::seconds PasswordCommandWait{60};
inline constexpr std::chrono::seconds KeyringWait{5};

// The first line of what the command writes to standard output, as
// findPassword takes it, with its own bound.
QString passwordFromCommand(const QString &command, std::chrono::milliseconds wait);

} // namespace quil::cli
