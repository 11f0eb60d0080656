// SPDX-License-Identifier: GPL-3.0-or-later
#include "cancel/core/ListLeaving.h"

#include "cancel/core/Services.h"
#include "store/Columns.h"

#include <QUrl>

namespace quil {
namespace {

std::optional<ListLeavePlan> planFor(const QString &publishing, const QString &name, const std::optional<ListInfo> &info) {
    const Service *service = serviceNamed(publishing);
    if (!service || service->leaving != Leaving::ListHeaders)
        return std::nullopt;
    ListLeavePlan plan;
    plan.name = name;
    if (!info)
        return plan;
    plan.info = *info;
    plan.web = info->web;
    if (!info->oneClick.isEmpty()) {
        plan.way = ListLeavePlan::Way::OneClick;
        plan.uri = info->oneClick;
        plan.host = QUrl(info->oneClick).host();
    } else if (!info->web.isEmpty()) {
        plan.way = ListLeavePlan::Way::Web;
        plan.uri = info->web;
    } else if (!info->mailto.isEmpty()) {
        plan.way = ListLeavePlan::Way::Mailto;
        plan.uri = info->mailto;
    }
    return plan;
}

} // namespace

std::optional<ListLeavePlan> listLeavePlan(Table &t) {
    const Bookmark row = t.bookmark();
    return planFor(t.fieldByName(col::Publishing).asString(), t.fieldByName(col::MBName).asString(),
                   row ? ListInfos(t).forRecord(row) : std::nullopt);
}

std::optional<ListLeavePlan> listLeavePlan(Table &t, Bookmark row) {
    if (!t.bookmarkValid(row))
        return std::nullopt;
    const int position = t.bookmarks().indexOf(row);
    const QVector<QVariant> values = t.recordAt(position);
    const int publishing = t.fieldByName(col::Publishing).index();
    const int name = t.fieldByName(col::MBName).index();
    return planFor(t.textOf(publishing, values[publishing]), t.textOf(name, values[name]), ListInfos(t).forRecord(row));
}

QString oneClickQuestion(const ListLeavePlan &plan) {
    return QStringLiteral("「%1」の配信停止を送信します。よろしいですか？\n%2").arg(plan.name, plan.host);
}

void recordLeaving(Table &t, const ListLeavePlan &plan, const QString &how, const QString &answer) {
    if (plan.info.row == 0)
        return;
    const Bookmark back = t.bookmark();
    if (back != plan.info.row)
        t.gotoBookmark(plan.info.row);
    if (t.state() == DataSetState::Browse)
        t.edit();
    t.fieldByName(col::DeleteState).setAsString(state::Cancelled);
    t.post();
    ListInfo info = plan.info;
    info.leftAt = QDateTime::currentDateTime();
    info.leftHow = how;
    info.leftAnswer = answer;
    ListInfos(t).save(info);
    if (back != 0 && back != plan.info.row && t.bookmarkValid(back))
        t.gotoBookmark(back);
}

} // namespace quil
