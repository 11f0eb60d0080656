// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

// Byte-exact views of a line: positions and lengths count CP932 bytes
// (a full-width character counts 2), comparisons are byte for byte.
namespace quil::bytes {

// The first n bytes, or all when shorter.
QByteArray firstBytes(const QByteArray &line, qsizetype n);
// The bytes after the first n (empty when the line is not longer).
QByteArray withoutFirstBytes(const QByteArray &line, qsizetype n);
// Byte p counted from 1; 0 when p lies outside the line.
char byteAt(const QByteArray &line, qsizetype p);
// True when bytes [from, from + literal.size()) equal the literal exactly
// (from counted from 0); false when the line is too short.
bool rangeEquals(const QByteArray &line, qsizetype from, const QByteArray &literal);
// True when the line starts with the literal.
inline bool startsWith(const QByteArray &line, const QByteArray &literal) { return rangeEquals(line, 0, literal); }

// Text of bytes [from, to) of a CP932 line. A cut that splits a double-byte
// character drops the dangling half (at either end) instead of keeping a
// broken character. Character boundaries are found from the line's start.
QString textOfRange(const QByteArray &line, qsizetype from, qsizetype to);

} // namespace quil::bytes
