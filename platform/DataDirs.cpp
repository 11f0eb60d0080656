// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataDirs.h"

#include "text/Error.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace quil {
namespace {

// The base directory of an XDG variable; a relative value is ignored, as the
// XDG rules ask.
QString xdgBase(const char *variable, const char *fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + u'/' + QLatin1String(fallbackUnderHome));
}

} // namespace

// Creates the directory and any missing parents with mode 0700.
QString ensureDirectory(const QString &path) {
    const QByteArray native = QFile::encodeName(QDir::cleanPath(QDir(path).absolutePath()));
    for (qsizetype i = 1; i <= native.size(); ++i) {
        if (i < native.size() && native[i] != '/')
            continue;
        const QByteArray part = native.left(i);
        struct stat st;
        if (::stat(part.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                throw Error(QStringLiteral("フォルダ %1 を作成できません").arg(path), Error::Kind::General, ENOTDIR);
            continue;
        }
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            const int err = errno;
            throw Error(QStringLiteral("フォルダ %1 を作成できません").arg(path), Error::Kind::General, err);
        }
    }
    return path;
}


QString dataDirectory() { return ensureDirectory(xdgBase("XDG_DATA_HOME", ".local/share") + QStringLiteral("/quillet")); }

QString configDirectory() { return ensureDirectory(xdgBase("XDG_CONFIG_HOME", ".config") + QStringLiteral("/quillet")); }

QString registryFilePath() { return configDirectory() + QStringLiteral("/registry.reg"); }

} // namespace quil
