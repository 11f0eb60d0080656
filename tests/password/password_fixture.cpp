// SPDX-License-Identifier: GPL-3.0-or-later
// Looks up a password the way quillet-cli does, for the tests of the
// keyring and the terminal prompt. It prints "match" when the password found
// is the expected one and "mismatch" otherwise, never the password itself;
// a lookup that fails prints its error on standard error and exits with 1.
//
// usage: password_fixture HOST USER EXPECTED [COMMAND]
#include "cli/Console.h"
#include "cli/Encoding.h"
#include "cli/Password.h"
#include "text/Error.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: password_fixture HOST USER EXPECTED [COMMAND]\n", stderr);
        return 2;
    }
    quil::cli::Console console(stdout, stderr, quil::cli::japaneseLocale(), false, quil::cli::localeEncoding());
    int status = 0;
    try {
        const QString password = quil::cli::findPassword({args[1], args[2], args.value(4)}, console);
        console.print(password == args[3] ? QStringLiteral("match") : QStringLiteral("mismatch"));
    } catch (const quil::Error &e) {
        console.error(console.describe(e));
        status = 1;
    }
    return console.finish(status);
}
