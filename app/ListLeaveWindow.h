// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window side of leaving a list that announces itself: the question
// before a POST, the progress box while it waits, what the sender answered.
#include "cancel/core/ListLeaving.h"

class QWidget;

namespace quil {

// Puts the registered address on the clipboard, then leaves as the plan
// says: one POST after the reader's yes (a 2xx marks the record "解除"; any
// other answer leaves it and offers the list's page instead), or opens the
// list's page or mail address and marks the record "解除".
void leaveListInWindow(QWidget *parent, Table &magazines, const ListLeavePlan &plan);

} // namespace quil
