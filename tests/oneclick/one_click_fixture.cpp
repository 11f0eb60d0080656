// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one OneClick request for the one-click test and prints its result as
// one line of JSON. With --describe it prints describe() instead and sends
// nothing. With --cancel-on-input a line on standard input cancels the wait,
// so the test cancels when its server has seen the request.
//
// usage: one_click_fixture [--describe] [--timeout-ms N] [--cancel-on-input] URI
#include "cancel/core/OneClick.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <unistd.h>

namespace {

const char *outcomeName(quil::OneClickResult::Outcome outcome) {
    using O = quil::OneClickResult::Outcome;
    switch (outcome) {
    case O::Accepted: return "accepted";
    case O::Status: return "status";
    case O::Redirect: return "redirect";
    case O::Certificate: return "certificate";
    case O::TimedOut: return "timed-out";
    case O::Cancelled: return "cancelled";
    case O::Refused: return "refused";
    case O::HostNotFound: return "host-not-found";
    case O::NetworkError: return "network-error";
    case O::NotAllowed: return "not-allowed";
    }
    return "?";
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool describe = false;
    bool cancelOnInput = false;
    int timeoutMs = quil::OneClick::DefaultTimeoutMs;
    QString uri;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--describe"))
            describe = true;
        else if (args[i] == QLatin1String("--cancel-on-input"))
            cancelOnInput = true;
        else if (args[i] == QLatin1String("--timeout-ms") && i + 1 < args.size())
            timeoutMs = args[++i].toInt();
        else
            uri = args[i];
    }
    if (uri.isEmpty()) {
        std::fprintf(stderr, "usage: one_click_fixture [--describe] [--timeout-ms N] [--cancel-on-input] URI\n");
        return 2;
    }

    quil::OneClick request(uri, timeoutMs);
    if (describe) {
        std::printf("%s\n", request.describe().toUtf8().constData());
        return 0;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    input.setEnabled(cancelOnInput);
    QObject::connect(&input, &QSocketNotifier::activated, &request, [&] {
        input.setEnabled(false);
        request.cancel();
    });

    const quil::OneClickResult result = request.run();
    const QJsonObject json{
        {QStringLiteral("outcome"), QString::fromLatin1(outcomeName(result.outcome))},
        {QStringLiteral("ok"), result.ok},
        {QStringLiteral("status"), result.status},
        {QStringLiteral("host"), result.host},
        {QStringLiteral("message"), result.message},
    };
    std::printf("%s\n", QJsonDocument(json).toJson(QJsonDocument::Compact).constData());
    return 0;
}
