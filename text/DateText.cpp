// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/DateText.h"

#include <QFileInfo>
#include <ctime>

namespace quil::datetext {
namespace {

// Reads between minDigits and maxDigits ASCII digits at pos.
bool readNumber(const QString &text, qsizetype &pos, int minDigits, int maxDigits, int &value) {
    int digits = 0;
    value = 0;
    while (pos < text.size() && digits < maxDigits) {
        char16_t c = text[pos].unicode();
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c - u'0');
        ++pos;
        ++digits;
    }
    return digits >= minDigits;
}

bool expect(const QString &text, qsizetype &pos, char16_t c) {
    if (pos >= text.size() || text[pos].unicode() != c)
        return false;
    ++pos;
    return true;
}

} // namespace

QString plain(const QDateTime &value) {
    if (!value.isValid())
        return QString();
    const QString date = value.date().toString(QStringLiteral("yyyy/MM/dd"));
    if (value.time() == QTime(0, 0))
        return date;
    return date + u' ' + value.time().toString(QStringLiteral("H:mm:ss"));
}

QString display(const QDateTime &value) {
    if (!value.isValid())
        return QString();
    return value.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

std::optional<QDateTime> parse(const QString &text) {
    qsizetype pos = 0;
    int y, mo, d;
    if (!readNumber(text, pos, 4, 4, y) || !expect(text, pos, u'/') || !readNumber(text, pos, 1, 2, mo)
        || !expect(text, pos, u'/') || !readNumber(text, pos, 1, 2, d))
        return std::nullopt;
    const QDate date(y, mo, d);
    if (!date.isValid())
        return std::nullopt;
    QTime time(0, 0);
    if (pos < text.size()) {
        int h, mi, s = 0;
        if (!expect(text, pos, u' ') || !readNumber(text, pos, 1, 2, h) || !expect(text, pos, u':')
            || !readNumber(text, pos, 2, 2, mi))
            return std::nullopt;
        if (pos < text.size() && (!expect(text, pos, u':') || !readNumber(text, pos, 2, 2, s)))
            return std::nullopt;
        if (pos != text.size())
            return std::nullopt;
        time = QTime(h, mi, s);
        if (!time.isValid())
            return std::nullopt;
    }
    QDateTime result(date, time);
    if (!result.isValid())
        return std::nullopt;
    return result;
}

void settleLocalTimeZone() {
    if (!qEnvironmentVariableIsEmpty("TZ") || !QFileInfo::exists(QStringLiteral("/etc/localtime")))
        return;
    qputenv("TZ", ":/etc/localtime");
    ::tzset();
}

} // namespace quil::datetext
