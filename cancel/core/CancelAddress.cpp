// SPDX-License-Identifier: GPL-3.0-or-later
#include "cancel/core/CancelAddress.h"

#include "cancel/core/Services.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "store/Columns.h"
#include "store/Table.h"

namespace quil {

QString fillDigits(const QString &id, int digits) {
    if (id.size() >= digits)
        return id;
    return QString(digits - id.size(), u'0') + id;
}

CancelTarget cancelTarget(const CancelRecord &r, Table &systems, const Hosts &hosts) {
    CancelTarget target;
    const QString &p = r.publishing;
    const Service *service = serviceNamed(p);
    const CancelRule rule = service ? service->cancel : CancelRule::SystemsTable;
    if (p.isEmpty()) {
        target.publishingError = true;
    } else if (rule == CancelRule::MagMagPage) {
        target.address = QStringLiteral("http://%1/mag2/m/%2.htm").arg(hosts.mag2Page, fillDigits(r.idText, 10));
    } else if (rule == CancelRule::PubzinePage) {
        target.address = QStringLiteral("http://%1/detail.asp?id=%2").arg(hosts.pubzine, r.idText);
    } else if (rule == CancelRule::MelmaPage) {
        target.address = QStringLiteral("http://%1/mg_lt/mag/m%2.html").arg(hosts.melma, fillDigits(r.idText, 8));
    } else if (rule == CancelRule::WebBox) {
        target.address = r.webBox;
    } else {
        if (!systems.locate(col::MMSysName, p, LocateOptions{true})) {
            target.publishingError = true;
            return target;
        }
        QString address = systems.fieldByName(col::CancelUrl).asString();
        if (systems.fieldByName(col::AppendMMID).asBoolean()) {
            const int digits = systems.fieldByName(col::MMIDFigure).asInteger();
            if (digits != 0)
                address += QString(qMax(0, digits - int(r.idText.size())), u'0');
            address += r.idText;
        }
        const QString extension = systems.fieldByName(col::Expansion).asString();
        if (!extension.isEmpty())
            address += u'.' + extension;
        if (address.isEmpty())
            address = r.webColumn;
        target.address = address;
        target.needsMemberId = systems.fieldByName(col::NeedMemberID).asBoolean();
    }
    return target;
}

void openCancelPage(Table &magazines, Table &systems, const CancelRecord &record, const Hosts &hosts,
                    const std::function<void()> &showMemberWindow) {
    Clipboard::setText(magazines.fieldByName(col::RegAddress).asString());
    const CancelTarget target = cancelTarget(record, systems, hosts);
    if (target.publishingError) {
        MessageBox::show(QStringLiteral("発行媒体が選択されていないか、若しくは異常です"), QStringLiteral("発行媒体エラー"),
                         MsgButtons::Ok, MsgIcon::Error);
        return;
    }
    if (target.needsMemberId && showMemberWindow)
        showMemberWindow();
    if (target.address.trimmed().isEmpty()) {
        MessageBox::show(QStringLiteral("解除ページのアドレスがありません"), QStringLiteral("解除のページへ"),
                         MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (!Opener::openAddress(target.address))
        return;
    magazines.edit();
    magazines.fieldByName(col::DeleteState).setAsString(state::Cancelled);
    magazines.post();
}

} // namespace quil
