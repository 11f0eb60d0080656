// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/Encoding.h"
#include "text/DateText.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <libintl.h>
#include <unistd.h>

namespace {

// A standard stream the program was started without would be the next file
// it opens (a table, one of Qt's own descriptors), and the output would go
// there. /dev/null, opened the wrong way round, holds the place: writing to
// it fails as writing to a closed stream does.
void holdClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            (void)::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
}

} // namespace

int main(int argc, char **argv) {
    holdClosedStandardStreams();
    quil::datetext::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-cli"));
    // The C library's messages (strerror) in UTF-8, the encoding Qt reads
    // them in, whatever the locale's encoding is.
    ::bind_textdomain_codeset("libc", "UTF-8");
    // The progress line is for a person watching, not for a log or a pipe.
    quil::cli::Console console(stdout, stderr, quil::cli::japaneseLocale(), ::isatty(STDERR_FILENO) == 1,
                               quil::cli::localeEncoding());
    console.installMessageBoxes();
    const int status = quil::cli::runCommandLine(QCoreApplication::arguments(), console);
    return console.finish(status);
}
