// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>

// Files that are lists of lines: read whole (CR, LF or CR LF end a line, a NUL
// ends the text, a last line without a line end counts) and written whole
// with CR LF after every line. Contents are Shift_JIS.
namespace quil::textlist {

// Lines of a text. A line break at the very end starts no further line.
QStringList splitLines(const QString &text);
// The same on raw bytes, decoded from CP932.
QStringList splitBytes(const QByteArray &bytes);
// Each line followed by CR LF.
QString joinCrLf(const QStringList &lines);
// Lone CR and lone LF become CR LF.
QString normalizeLineBreaks(const QString &text);

// Reads the file; throws quil::Error naming the file when it cannot be opened.
QStringList readFile(const QString &path);
// The same, but a path where nothing exists reads as no lines. A file that is
// there and cannot be read still throws.
QStringList readFileIfExists(const QString &path);
// Raw bytes of a file; throws quil::Error naming the file.
QByteArray readBytes(const QString &path);
// Writes through a temporary file in the same folder and a rename, so that a
// crash never leaves half a file; a read-only file is not replaced (see
// writeBytes). Throws quil::Error naming the file.
void writeFile(const QString &path, const QStringList &lines);
// Appends the lines (each with CR LF) and flushes them to disk; the cost does
// not grow with the file. A missing file is created and gets `newFileLines`
// first. When the file's last line has no line end, CR LF goes before the new
// lines so they start on their own. An existing file (or a link's target)
// that the running user may not write, or whose owner has no write
// permission, is left untouched and the append fails with the "cannot
// create" error, as writeBytes does. On any failure the file keeps its old
// bytes. Throws quil::Error naming the file.
void appendFile(const QString &path, const QStringList &lines, const QStringList &newFileLines = {});

// Replaces a file's bytes atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over the old one. An existing file
// keeps its mode (and, when root writes it, its owner and group);
// `newFileMode` sets the permissions of a file that is not there yet (e.g.
// 0600), -1 the default. A link is followed to the file it finally names,
// which is replaced; the link stays. An existing file that the running user
// may not write (access(2): permissions, ACLs, read-only mounts), or whose
// owner has no write permission, is left untouched and the write fails with
// the "cannot create" error. Temporary files that earlier writes of the same
// file left behind when they were killed are removed first (see the .cpp).
// Throws quil::Error naming the file.
void writeBytes(const QString &path, const QByteArray &bytes, int newFileMode = -1);

} // namespace quil::textlist
