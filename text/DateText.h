// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QString>
#include <optional>

// The two text forms of a registration time, fixed for every machine.
namespace quil::datetext {

// Short date "yyyy/MM/dd", a blank and long time "H:mm:ss"; the time is left
// out at exactly midnight; an invalid value gives empty text.
QString plain(const QDateTime &value);
// "yyyy/MM/dd hh:mm:ss"; an invalid value gives empty text.
QString display(const QDateTime &value);
// Accepts "yyyy/M/d" with an optional " H:mm" or " H:mm:ss". Nothing may
// precede or follow.
std::optional<QDateTime> parse(const QString &text);

// Pins the local time zone for the life of the process. Without TZ, the C
// library looks at /etc/localtime again on every local-time conversion,
// which a walk over many dates pays once per date. The zone is the same one.
void settleLocalTimeZone();

} // namespace quil::datetext
