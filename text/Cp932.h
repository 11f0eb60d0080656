// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

// The one place where text and Shift_JIS (code page 932) bytes meet.
namespace quil::cp932 {

// Characters CP932 cannot hold become "?".
QByteArray encode(const QString &text);
// Bytes that are no CP932 character become U+FFFD.
QString decode(const QByteArray &bytes);
QString decode(const char *data, qsizetype size);

// The encoding a file's bytes are plainly in when it is not CP932, for a
// message that says so: a byte-order mark of UTF-8, UTF-16 or UTF-32, or
// UTF-8 without one (bytes beyond ASCII that all form UTF-8 characters, which
// Japanese CP932 text practically never does: kana and most kanji begin with
// bytes that UTF-8 uses only inside a character). Bytes after a NUL do not
// count, as they end the text. Empty for anything else.
QString otherEncoding(const QByteArray &bytes);

// Length in CP932 bytes.
qsizetype byteLength(const QString &text);

// True when byte b starts a double-byte character.
inline bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Number of bytes of the first `width` bytes that end on a character
// boundary: a cut that would leave half a character keeps one byte less.
qsizetype boundaryAtOrBefore(const QByteArray &bytes, qsizetype width);

// The bytes cut to at most `width`, never splitting a double-byte character.
QByteArray cutBytes(const QByteArray &bytes, qsizetype width);
// The text cut to at most `width` CP932 bytes at a character boundary.
QString cutToWidth(const QString &text, qsizetype width);

namespace detail {
// The converter itself, a string at a time; encode and decode keep what it
// says of each character. For tests that hold the two to the same answers.
QByteArray encodeWithConverter(const QString &text);
QString decodeWithConverter(const char *data, qsizetype size);
} // namespace detail

} // namespace quil::cp932
