// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ListLeaveWindow.h"

#include "cancel/core/OneClick.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "store/Columns.h"

#include <QProgressDialog>

namespace quil {
namespace {

const QString kCaption = QStringLiteral("解除のページへ");

void openAndMark(Table &t, const ListLeavePlan &plan, const QString &address, const QString &how) {
    if (Opener::openAddress(address))
        recordLeaving(t, plan, how, QString());
}

} // namespace

void leaveListInWindow(QWidget *parent, Table &t, const ListLeavePlan &plan) {
    Clipboard::setText(t.fieldByName(col::RegAddress).asString());
    switch (plan.way) {
    case ListLeavePlan::Way::OneClick:
        break;
    case ListLeavePlan::Way::Web:
        openAndMark(t, plan, plan.uri, QStringLiteral("web"));
        return;
    case ListLeavePlan::Way::Mailto:
        openAndMark(t, plan, plan.uri, QStringLiteral("mailto"));
        return;
    case ListLeavePlan::Way::Nothing:
        MessageBox::show(QStringLiteral("解除のページアドレスがありません"), kCaption, MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (MessageBox::show(oneClickQuestion(plan), kCaption, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes)
        return;
    OneClick post(plan.uri);
    OneClickResult result;
    {
        // Modal while the POST waits; its Cancel button ends the wait.
        QProgressDialog progress(QStringLiteral("「%1」の配信停止を送信しています…").arg(plan.name),
                                 QStringLiteral("キャンセル"), 0, 0, parent);
        progress.setObjectName(QStringLiteral("OneClickProgress"));
        progress.setWindowTitle(kCaption);
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(0);
        QObject::connect(&progress, &QProgressDialog::canceled, &post, &OneClick::cancel);
        progress.show();
        result = post.run();
    }
    if (result.ok) {
        recordLeaving(t, plan, QStringLiteral("one-click"), result.message);
        MessageBox::show(result.message, kCaption, MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    MessageBox::show(result.message, kCaption, MsgButtons::Ok, MsgIcon::Exclamation);
    if (!plan.web.isEmpty()
        && MessageBox::show(QStringLiteral("代わりに解除のページを開きますか？\n%1").arg(plan.web), kCaption,
                            MsgButtons::YesNo, MsgIcon::Question)
               == MsgAnswer::Yes)
        openAndMark(t, plan, plan.web, QStringLiteral("web"));
}

} // namespace quil
