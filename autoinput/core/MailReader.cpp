#include "autoinput/core/MailReader.h"

namespace quil::mail {

FileKind classify(const QByteArray &) { return FileKind::Other; }

QList<MailText> readMessages(const QByteArray &, const QString &) { return {}; }

QStringList maildirFiles(const QString &) { return {}; }

} // namespace quil::mail
