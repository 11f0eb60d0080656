// SPDX-License-Identifier: GPL-3.0-or-later
#include "cancel/core/Services.h"

#include "store/Columns.h"

namespace quil {

const std::vector<Service> &services() {
    static const std::vector<Service> table = {
        {service::MagMag, CancelRule::MagMagPage, PageBlock::MagMag, NoticeKind::Mag2, 0, Leaving::CancelPage,
         {QStringLiteral("mag2.com")}},
        {service::Pubzine, CancelRule::PubzinePage, PageBlock::Pubzine, NoticeKind::Pubzine, 1, Leaving::CancelPage,
         {QStringLiteral("pubzine.com")}},
        // melma's notices are the block of other systems.
        {service::Melma, CancelRule::MelmaPage, PageBlock::None, NoticeKind::Other, 2, Leaving::CancelPage,
         {QStringLiteral("melma.com")}},
        // The reader's own system: its page is what the record form shows.
        {service::OwnSystem, CancelRule::WebBox, PageBlock::None, NoticeKind::Other, -1, Leaving::CancelPage},
        // Retired and no built-in row: only the page of cancel forms, which
        // goes by the record's own value, still writes its form. The cancel
        // button finds it in the publishing-system table like any other.
        {service::Clickincome, CancelRule::SystemsTable, PageBlock::Clickincome, NoticeKind::Other, -1,
         Leaving::CancelPage},
        // A list that announces itself: left by what its headers offer.
        {service::MailingList, CancelRule::ListHeaders, PageBlock::List, NoticeKind::Other, -1,
         Leaving::ListHeaders},
    };
    return table;
}

const Service *serviceNamed(const QString &name) {
    for (const Service &s : services())
        if (s.name == name)
            return &s;
    return nullptr;
}

const Service *serviceSending(const QString &address) {
    const qsizetype at = address.lastIndexOf(u'@');
    if (at < 0)
        return nullptr;
    const QString domain = address.mid(at + 1).toLower();
    for (const Service &s : services())
        for (const QString &d : s.senderDomains)
            if (domain == d || domain.endsWith(u'.' + d))
                return &s;
    return nullptr;
}

int radioItemFor(const QString &lookedUp) {
    if (lookedUp.isEmpty())
        return -1;
    const Service *s = serviceNamed(lookedUp);
    return s && s->radio >= 0 ? s->radio : 3;
}

QStringList radioServiceNames() {
    QStringList names;
    for (const Service &s : services())
        if (s.radio >= 0) {
            if (names.size() <= s.radio)
                names.resize(s.radio + 1);
            names[s.radio] = s.name;
        }
    return names;
}

} // namespace quil
