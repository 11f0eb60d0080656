// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "cancel/core/Hosts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quil {

class Table;

// Text for HTML: &, <, >, " and ' as entities.
QString htmlEscape(const QString &text);
// A value for an attribute written without quotes: as it is when nothing in
// it could end or change the attribute, otherwise escaped between quotes.
QString unquotedAttribute(const QString &text);
// Shift_JIS bytes of a page; characters Shift_JIS cannot hold become numeric
// character references instead of "?".
QByteArray encodePage(const QStringList &lines);

// The lines of the page of cancel forms: the head, a block for every record
// in state "解除候補" in stored order, the tail. A change pending in the
// current record is stored first, as the Part's walk would store it by
// moving off, and the cursor stands on that record again afterwards.
QStringList cancelPageLines(Table &magazines, const Hosts &hosts);

// Writes the page to `path` (whole file, CR LF, Shift_JIS); returns the
// number of candidates. A file that cannot be written is an error naming it.
int writeCancelPage(Table &magazines, const Hosts &hosts, const QString &path);

} // namespace quil
