// SPDX-License-Identifier: GPL-3.0-or-later
// Prepares what the browser test opens: five cancel candidates in fresh
// tables, Cancel.html in the current folder written with the hosts of the
// settings file, and on standard output the cancel-page address of the
// まぐまぐ record. XDG_DATA_HOME, XDG_CONFIG_HOME and the current folder are
// the caller's temporary directories.
#include "cancel/core/CancelAddress.h"
#include "cancel/core/CancelPage.h"
#include "cancel/core/Hosts.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "store/ListInfo.h"
#include "text/Error.h"

#include <QCoreApplication>
#include <cstdio>
#include <exception>

namespace {

struct Candidate {
    const char *publishing;
    const char *name;
    const char *id;
    const char *address;
};

int run() {
    TDataModule1 magazines;
    TMMagSysDataModule systems;
    systems.Table2->open();
    magazines.Table1->open();

    const Candidate candidates[] = {
        {"まぐまぐ", "<script>window.pwned=1</script>まぐ誌 & Co", "123", "reader@example.jp"},
        {"Pubzine", "Pubzine誌", "77", "pub@example.jp"},
        {"Clickincome", "Clickincome誌", "45678", "click@example.jp"},
        {"melma", "melma誌", "5", "melma@example.jp"},
    };
    for (const Candidate &c : candidates) {
        magazines.Table1->append();
        magazines.Table1PublishingSF->setAsString(QString::fromUtf8(c.publishing));
        magazines.Table1MBNameSF->setAsString(QString::fromUtf8(c.name));
        magazines.Table1MBIDIF->setAsString(QString::fromUtf8(c.id));
        magazines.Table1RegAddressSF->setAsString(QString::fromUtf8(c.address));
        magazines.Table1DeleteStateSF->setAsString(quil::state::CancelCandidate);
        magazines.Table1->post();
    }
    const quil::Hosts hosts = quil::Hosts::load();

    // A list that may be left in one click, its address on the loopback
    // server (plain http there, which the page does not judge).
    magazines.Table1->append();
    magazines.Table1PublishingSF->setAsString(quil::service::MailingList);
    magazines.Table1MBNameSF->setAsString(QStringLiteral("一回で解除できる通信"));
    magazines.Table1RegAddressSF->setAsString(QStringLiteral("list@example.jp"));
    magazines.Table1DeleteStateSF->setAsString(quil::state::CancelCandidate);
    magazines.Table1->post();
    quil::ListInfo list;
    list.row = magazines.Table1->bookmark();
    list.listId = QStringLiteral("neko.news.example");
    list.address = QStringLiteral("list@example.jp");
    list.oneClick = QStringLiteral("http://%1/one-click?list=neko&u=1").arg(hosts.mag2Cancel);
    quil::ListInfos(*magazines.Table1).save(list);
    magazines.Table1->first();

    const int written = quil::writeCancelPage(*magazines.Table1, hosts, QStringLiteral("Cancel.html"));
    if (written != 5) {
        std::fprintf(stderr, "cancel_page_fixture: the page holds %d candidates, not 5\n", written);
        return 1;
    }

    const quil::CancelTarget target =
        quil::cancelTarget({QStringLiteral("まぐまぐ"), QStringLiteral("123"), QString(), QString()}, *systems.Table2,
                           hosts);
    if (target.publishingError || target.address.isEmpty()) {
        std::fprintf(stderr, "cancel_page_fixture: no cancel-page address for the まぐまぐ record\n");
        return 1;
    }
    std::printf("%s\n", target.address.toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    try {
        return run();
    } catch (const quil::Error &e) {
        std::fprintf(stderr, "cancel_page_fixture: %s\n", e.what());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "cancel_page_fixture: %s\n", e.what());
    }
    return 1;
}
