// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace quil {

class Registry;
class Table;

inline const QString SettingsKeyPath = QStringLiteral("\\software\\KAV");
inline const QString SettingsSubkey = QStringLiteral("QUIL");
inline const QString ProgramVersion = QStringLiteral("4.00");
// The same key as the settings file names it, relative to the user's branch.
inline const QString SettingsFileKey = QStringLiteral("software\\KAV\\QUIL");

// How the upgrade reaches the magazine table: the main window's creation asks
// the question, and the conversion opens the table itself when it is closed.
struct UpgradeResult {
    bool asked = false;
    bool converted = false;
    int recordsChanged = 0;
};

// The version check and upgrade: reads "InstallVer" (default "1.00"); when it
// is not exactly "4.00", asks (Yes/No, information icon) and on Yes rewrites
// every "発行媒体" "clickincome" to "melma", ending on the first record.
// "InstallVer" is "4.00" afterwards either way.
UpgradeResult runVersionCheck(Registry &registry, Table &magazines);

// Reads "CNMCheck" as true/false with `current` as default. When the read
// fails (non-text value), deletes "CNMCheck" and "PIPCheck" and returns current.
bool loadNoticeOption(Registry &registry, bool current);

// The two menu toggles: open the key, write the state, release.
void storeNoticeOption(bool on);
void storePubzineIpOption(bool on);

} // namespace quil
