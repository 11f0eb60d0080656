#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "text/DateText.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv) {
    quil::datetext::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillet-cli"));
    // The progress line is for a person watching, not for a log or a pipe.
    quil::cli::Console console(stdout, stderr, quil::cli::japaneseLocale(), ::isatty(STDERR_FILENO) == 1);
    console.installMessageBoxes();
    return quil::cli::runCommandLine(QCoreApplication::arguments(), console);
}
