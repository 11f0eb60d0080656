// SPDX-License-Identifier: GPL-3.0-or-later
#include "cancel/core/Hosts.h"

#include "platform/DataDirs.h"
#include "platform/Registry.h"
#include "store/Settings.h"

#include <QRegularExpression>

namespace quil {

Hosts Hosts::defaults() {
    return {QStringLiteral("www.mag2.com"), QStringLiteral("www.mag2.com"), QStringLiteral("www.pubzine.com"),
            QStringLiteral("www.melma.com"), QStringLiteral("www.clickincome.net")};
}

bool Hosts::isHost(const QString &text) {
    // Labels of letters, digits and hyphens (an IPv4 address is such a name
    // too), then an optional port.
    static const QRegularExpression form(
        QStringLiteral("^(?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}"
                       "[A-Za-z0-9])?)*(?::([0-9]{1,5}))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || text.size() > 260)
        return false;
    if (m.hasCaptured(1)) {
        const int port = m.captured(1).toInt();
        return port >= 1 && port <= 65535;
    }
    return true;
}

Hosts Hosts::load() {
    Hosts hosts = defaults();
    RegistryFile file(registryFilePath());
    const QString key = SettingsKeyPath.mid(1) + u'\\' + SettingsSubkey;
    auto read = [&](const char *name, QString &target) {
        std::optional<RegValue> v;
        try {
            v = file.value(key, QString::fromLatin1(name));
        } catch (...) {
            return; // an unreadable settings file leaves the defaults
        }
        if (v && (v->type == RegType::String || v->type == RegType::ExpandString) && isHost(v->text.trimmed()))
            target = v->text.trimmed();
    };
    read("HostMag2Page", hosts.mag2Page);
    read("HostMag2Cancel", hosts.mag2Cancel);
    read("HostPubzine", hosts.pubzine);
    read("HostMelma", hosts.melma);
    read("HostClickincome", hosts.clickincome);
    return hosts;
}

} // namespace quil
