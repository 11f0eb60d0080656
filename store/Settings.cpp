// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Settings.h"

#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "store/Columns.h"
#include "store/Table.h"

#include <exception>

namespace quil {
namespace {

const QString kInstallVer = QStringLiteral("InstallVer");
const QString kNoticeValue = QStringLiteral("CNMCheck");
const QString kPubzineIpValue = QStringLiteral("PIPCheck");

// Rewrites the retired service name; the moves store each change because the
// record being visited is held in editing.
int convertClickincome(Table &magazines) {
    if (!magazines.active())
        magazines.open();
    int changed = 0;
    Table::Walk walk(magazines);
    magazines.first();
    while (!magazines.eof()) {
        Field &publishing = magazines.fieldByName(col::Publishing);
        if (publishing.asString() == service::RetiredClickincome) {
            if (magazines.state() == DataSetState::Browse)
                magazines.edit();
            publishing.setAsString(service::Melma);
            ++changed;
        }
        magazines.next();
    }
    magazines.first();
    walk.end();
    return changed;
}

void storeOption(const QString &name, bool on) {
    Registry registry;
    registry.openKey(SettingsKeyPath);
    try {
        registry.writeBool(SettingsSubkey, name, on);
    } catch (...) {
        registry.releaseKey();
        throw;
    }
    registry.releaseKey();
}

} // namespace

UpgradeResult runVersionCheck(Registry &registry, Table &magazines) {
    UpgradeResult result;
    const QString installed = registry.readText(SettingsSubkey, kInstallVer, QStringLiteral("1.00"));
    if (installed == ProgramVersion)
        return result;
    result.asked = true;
    MsgAnswer answer = MessageBox::show(
        QStringLiteral("新しいバージョンがインストールされました。バージョンアップ処理を行いますか？"),
        QStringLiteral("新しいバージョンのインストール"), MsgButtons::YesNo, MsgIcon::Information);
    if (answer == MsgAnswer::Yes) {
        result.recordsChanged = convertClickincome(magazines);
        result.converted = true;
    }
    registry.writeText(SettingsSubkey, kInstallVer, ProgramVersion);
    return result;
}

bool loadNoticeOption(Registry &registry, bool current) {
    try {
        return registry.readBool(SettingsSubkey, kNoticeValue, current);
    } catch (const std::exception &) {
        // A value of another type cannot be read; clear both so that the next
        // click of the menu item writes a fresh text value.
        registry.deleteValue(SettingsSubkey, kNoticeValue);
        registry.deleteValue(SettingsSubkey, kPubzineIpValue);
        return current;
    }
}

void storeNoticeOption(bool on) { storeOption(kNoticeValue, on); }

void storePubzineIpOption(bool on) { storeOption(kPubzineIpValue, on); }

} // namespace quil
