// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QList>

// 7-bit JIS (ISO-2022-JP) as some mail programs hand it over when text is
// dragged out of them, turned into Shift_JIS.
namespace quil::jis {

// The two Shift_JIS bytes of the JIS X 0208 character j1 j2 (each 0x21..0x7E;
// other bytes give some two bytes, never a failure).
QByteArray JisPairToShiftJis(unsigned char j1, unsigned char j2);

// The same number of lines, converted. Kanji mode (ESC $ B on, ESC ( B off)
// starts off and carries over from one line to the next. A single byte left
// at the end of a line in kanji mode is passed through unchanged.
QList<QByteArray> JisToShiftJisLines(const QList<QByteArray> &lines);

} // namespace quil::jis
