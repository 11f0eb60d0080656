// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/ByteLine.h"

#include "text/Cp932.h"

namespace quil::bytes {

QByteArray firstBytes(const QByteArray &line, qsizetype n) {
    if (n <= 0)
        return QByteArray();
    return line.left(n);
}

QByteArray withoutFirstBytes(const QByteArray &line, qsizetype n) {
    if (n <= 0)
        return line;
    if (n >= line.size())
        return QByteArray();
    return line.mid(n);
}

char byteAt(const QByteArray &line, qsizetype p) {
    if (p < 1 || p > line.size())
        return 0;
    return line[p - 1];
}

bool rangeEquals(const QByteArray &line, qsizetype from, const QByteArray &literal) {
    if (from < 0 || from + literal.size() > line.size())
        return false;
    return memcmp(line.constData() + from, literal.constData(), size_t(literal.size())) == 0;
}

QString textOfRange(const QByteArray &line, qsizetype from, qsizetype to) {
    from = qBound<qsizetype>(0, from, line.size());
    to = qBound<qsizetype>(from, to, line.size());
    // Boundaries are the character starts plus the line's end.
    qsizetype i = 0;
    qsizetype start = -1;
    qsizetype end = 0;
    while (true) {
        if (start < 0 && i >= from)
            start = i;
        if (i > to)
            break;
        end = i;
        if (i >= line.size())
            break;
        i += cp932::isLeadByte(uchar(line[i])) && i + 1 < line.size() ? 2 : 1;
    }
    if (start < 0)
        start = line.size();
    if (end <= start)
        return QString();
    return cp932::decode(line.constData() + start, end - start);
}

} // namespace quil::bytes
