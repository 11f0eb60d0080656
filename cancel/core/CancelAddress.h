// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "cancel/core/Hosts.h"

#include <QString>
#include <functional>

namespace quil {

class Table;

// The ID text with "0" put in front up to `digits` characters; text of that
// length or longer stays as it is, and empty text becomes all zeros.
QString fillDigits(const QString &id, int digits);

// What the cancel-page button opens for the current record.
struct CancelTarget {
    QString address;
    // No publishing system chosen, or one the systems table does not know:
    // the reader is told, nothing is opened and the record stays as it is.
    bool publishingError = false;
    // The located system wants a member ID and password: the copy window is
    // shown beside the browser.
    bool needsMemberId = false;
};

struct CancelRecord {
    QString publishing; // the looked-up publishing value
    QString idText;     // the ID as the record form shows it
    QString webBox;     // the record form's web-page box
    QString webColumn;  // the record's "関連Ｗｅｂページ"
};

// The cancel-page address of a record. For a system other than the built-in
// services, the systems table is moved to that system's row (locate ignoring
// case), which the member-ID window then shows.
CancelTarget cancelTarget(const CancelRecord &record, Table &systems, const Hosts &hosts);

// The cancel-page button. Puts the current record's registered address on
// the clipboard first (also when a later step stops), builds the address,
// shows the member-ID window for a system that needs it, opens the page and
// stores the record in state "解除" at once. A publishing system that is not
// chosen or not known is reported ("発行媒体エラー") and changes nothing; so
// does an empty address, and an address the opener refuses (with the
// opener's own message): nothing opened, nothing marked.
void openCancelPage(Table &magazines, Table &systems, const CancelRecord &record, const Hosts &hosts,
                    const std::function<void()> &showMemberWindow);

} // namespace quil
