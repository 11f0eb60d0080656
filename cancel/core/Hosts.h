// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

namespace quil {

// The hosts of the services' cancel pages and endpoints. Each is a host name
// with an optional ":port", kept as a text value under "QUIL" in the settings
// file; the scheme and the paths are fixed by the program.
struct Hosts {
    QString mag2Page;    // "HostMag2Page": まぐまぐ magazine pages
    QString mag2Cancel;  // "HostMag2Cancel": まぐまぐ cancel endpoint
    QString pubzine;     // "HostPubzine"
    QString melma;       // "HostMelma"
    QString clickincome; // "HostClickincome": Clickincome registration

    static Hosts defaults();
    // Reads the settings file without writing it. A missing value, a value
    // that is not text, or one that is no host name falls back to the
    // built-in default, so that no setting can turn an address into another
    // scheme or path.
    static Hosts load();

    // "host" or "host:port" with a port from 1 to 65535.
    static bool isHost(const QString &text);
};

} // namespace quil
