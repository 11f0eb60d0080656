// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The register commands of the main window, apart from any window: the
// searches, the bulk state changes, the deletion of the cancelled records and
// the emptying of the register. Each works on the shared magazine cursor and
// returns what the window must show.
#include "platform/MessageBox.h"
#include "store/Table.h"

#include <QString>

namespace quil {

// A message box the window shows after a command; nothing when text is empty.
struct Notice {
    QString text;
    QString caption;
    MsgIcon icon = MsgIcon::None;
    bool empty() const { return text.isEmpty(); }
    // Shows it (OK button); does nothing when empty.
    void show() const;
};

// "見つかりませんでした" / "検索エラー".
Notice notFoundNotice();

struct FindRequest {
    QString text;          // used as typed, no trimming
    bool byName = false;   // name mode; otherwise the magazine ID
    bool partial = false;  // name mode only: part of the name, case counts
};

// The search button and Enter in the search field. The whole-value search
// goes through the whole register from its first record (letters without
// regard to case; an ID typed as text, "00123" finding 123, anything else a
// conversion error with the cursor left as it was). The partial search steps
// forward from the current record, never testing it and never wrapping.
// Nothing found: the cursor returns to where it was.
Notice findRecord(Table &magazines, const FindRequest &request);

// The next record after the current one whose state is exactly `state`.
Notice findNextInState(Table &magazines, const QString &state);

// Sets the state of the current record and of every record after it.
// The cursor returns to the current record.
void setStateFromCurrent(Table &magazines, const QString &state);

// Asks first; on OK deletes every record in state "解除", each through the
// table's delete with its handlers, in one transaction. Returns the number
// deleted, or -1 when the reader cancelled. An error from a handler stops at
// that record: those before stay deleted and the error propagates.
int deleteCancelledRecords(Table &magazines);

// Asks first; on OK reopens the table for exclusive use and removes every
// record at once (no per-record handlers). False when the reader cancelled.
// Fails with a clear error when another process has the table open; the
// table then stays closed.
bool emptyRegister(Table &magazines);

} // namespace quil
