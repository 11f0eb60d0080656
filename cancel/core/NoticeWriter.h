// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The cancellation notices: one Shift_JIS text file per kind of publishing
// service in the current folder, to which every deleted record adds an entry.
#include "store/Table.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace quil {

enum class NoticeKind { Mag2, Pubzine, Other };

// Chosen from the record's own "発行媒体", whole and case-sensitive:
// the services table's notice kind of that name, or Other (empty included).
NoticeKind noticeKind(const QString &publishing);
// "CMag2.txt", "CPubzine.txt", "CKAV-NTC.txt": bare names, so the current folder.
QString noticeFileName(NoticeKind kind);
// The first line of a new notice file; an empty line follows it.
QString noticeTitle(NoticeKind kind);

// The information box shown before a notice is written.
QString noticeBoxCaption();
QString noticeBoxText(const QString &publishing);

// "下記の項目は yyyy/MM/dd に削除された項目です".
QString noticeDateLine(const QDate &today);

// The current record's entry for its kind, date line first and the final
// empty line last. Reads the record buffer, unsaved edits included. A value
// holding line breaks stays one element, its breaks made CR LF, so that it
// takes several lines of the file.
QStringList cancelNoticeEntry(Table &magazines, const QDate &today);

// What the before-delete handler does while notices are on: shows the
// information box "発行媒体確認" (OK only; the answer changes nothing), then
// appends the current record's entry to its notice file, creating the file
// with its title line and an empty line first. The entry is on disk when this
// returns. A file error (read-only file, folder in the way, unwritable folder)
// propagates as quil::Error naming the file, so the deletion is refused.
void writeCancelNotice(Table &magazines, const QDate &today);

} // namespace quil
