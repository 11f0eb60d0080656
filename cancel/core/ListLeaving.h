// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Leaving a list that announces itself: what its headers offer for the
// current record, and the record of a leaving. The window and the command
// line ask and send; this only plans and records.
#include "store/ListInfo.h"
#include "store/Table.h"

#include <QString>
#include <optional>

namespace quil {

struct ListLeavePlan {
    enum class Way { OneClick, Web, Mailto, Nothing };
    Way way = Way::Nothing;
    QString uri;  // where the POST goes, or the page or mail address to open
    QString web;  // the page to offer when a POST fails; may be empty
    QString name; // the record's "メールマガジン名"
    QString host; // the POST's host, for the confirmation
    ListInfo info;
};

// The plan for the current record when its service is left by its headers;
// nothing for a record of another service.
std::optional<ListLeavePlan> listLeavePlan(Table &magazines);
// The same for a stored record.
std::optional<ListLeavePlan> listLeavePlan(Table &magazines, Bookmark row);

// "「NAME」の配信停止を送信します。よろしいですか？" and the host on a second line.
QString oneClickQuestion(const ListLeavePlan &plan);

// Marks the record "解除" and records when, how ("one-click", "web",
// "mailto") and the answer; the cursor comes back to where it was.
void recordLeaving(Table &magazines, const ListLeavePlan &plan, const QString &how, const QString &answer);

} // namespace quil
