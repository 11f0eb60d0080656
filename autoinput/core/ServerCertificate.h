// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a server's certificate may be trusted: its chain checked against
// the system's authorities and those an OpenSSL program would also trust
// (SSL_CERT_FILE, a PEM file; SSL_CERT_DIR, folders of PEM files), for the
// host the reader named. The same authorities one-click leaving trusts.
#include <QByteArray>
#include <QList>
#include <QString>

namespace quil::imap {

// The chain as the server sent it (DER, its own certificate first). Empty
// when it is trusted for `host`; else why not, in Japanese, one of the
// program's fixed reasons.
QString untrustedReason(const QList<QByteArray> &chainDer, const QString &host);

} // namespace quil::imap
