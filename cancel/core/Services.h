// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The publishing services the program knows by name, in one table: how each
// one's cancel page is found, which block of the page of cancel forms it
// gets, where its notices go, where the record form's radio group shows it,
// and how a record of it is left. Code that branches on a service asks this
// table.
//
// The rules are chosen by two different values of a record, on purpose:
// - the cancel page and the radio group go by the looked-up value (the
//   record's "発行媒体" when the publishing-system table has a row of that
//   name, else empty);
// - the page of cancel forms and the notices go by the record's own
//   "発行媒体", whatever the publishing-system table holds.
#include "cancel/core/NoticeWriter.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quil {

// How the cancel-page button finds the page (by the looked-up value).
enum class CancelRule {
    MagMagPage,   // the service's page of the magazine, ID in 10 digits
    PubzinePage,  // the service's detail page of the ID
    MelmaPage,    // the service's page of the magazine, "m" and the ID in 8 digits
    WebBox,       // what the record form's web-page box holds
    SystemsTable, // the publishing-system row of that name
    ListHeaders,  // the list's own ways to leave, from its headers
};

// The block of the page of cancel forms (by the record's own value).
enum class PageBlock { None, MagMag, Pubzine, Clickincome, List };

// How a record of the service is left.
enum class Leaving {
    CancelPage,  // the reader leaves on the service's page, which the program opens
    ListHeaders, // one POST where the sender allows it, else the list's page or mail address
};

struct Service {
    QString name;
    CancelRule cancel;
    PageBlock page;
    NoticeKind notice;
    int radio; // the record form's radio item; -1: none of the three services
    Leaving leaving;
    // The domains its confirmation mails come from (their subdomains too),
    // so that a mailbox import fetches such a mail whole for the parser even
    // when it also announces a list.
    QStringList senderDomains = {};
};

// Every service known by name, in the order of the record form's radio items.
const std::vector<Service> &services();
// The service of exactly this name (case and width count), or null.
const Service *serviceNamed(const QString &name);

// The service whose confirmation mails come from this address's domain, or
// null.
const Service *serviceSending(const QString &address);

// The record form's radio item for a looked-up value: the service's own
// item, "その他" (3) for any other system, none (-1) for an empty value.
int radioItemFor(const QString &lookedUp);
// The captions of the radio items the services take, in item order.
QStringList radioServiceNames();

} // namespace quil
