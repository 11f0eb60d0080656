// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/Jis.h"

namespace quil::jis {

QByteArray JisPairToShiftJis(unsigned char j1, unsigned char j2) {
    // The usual row/cell arithmetic: two JIS rows share one Shift_JIS lead byte.
    const int lead = ((int(j1) - 0x21) >> 1) + (j1 <= 0x5E ? 0x81 : 0xC1);
    int trail;
    if (j1 & 1)
        trail = j2 + (j2 <= 0x5F ? 0x1F : 0x20);
    else
        trail = j2 + 0x7E;
    QByteArray out(2, '\0');
    out[0] = char(static_cast<unsigned char>(lead));
    out[1] = char(static_cast<unsigned char>(trail));
    return out;
}

QList<QByteArray> JisToShiftJisLines(const QList<QByteArray> &lines) {
    constexpr char Esc = 0x1B;
    QList<QByteArray> result;
    result.reserve(lines.size());
    bool kanji = false;
    for (const QByteArray &line : lines) {
        QByteArray out;
        out.reserve(line.size());
        const qsizetype n = line.size();
        qsizetype i = 0;
        while (i < n) {
            const char b = line[i];
            if (b == Esc) {
                // The escape and the two bytes after it never reach the output,
                // also when the line ends inside the sequence.
                if (i + 2 < n) {
                    if (line[i + 1] == '$' && line[i + 2] == 'B')
                        kanji = true;
                    else if (line[i + 1] == '(' && line[i + 2] == 'B')
                        kanji = false;
                }
                i += 3;
            } else if (kanji && i + 1 < n) {
                out += JisPairToShiftJis(uchar(line[i]), uchar(line[i + 1]));
                i += 2;
            } else {
                out += b;
                i += 1;
            }
        }
        result.append(out);
    }
    return result;
}

} // namespace quil::jis
