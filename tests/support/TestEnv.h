// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "text/Error.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace quil::test {

// Points XDG_DATA_HOME, XDG_CONFIG_HOME and the current folder at fresh
// temporary directories for the life of the object.
class TempEnv {
public:
    TempEnv();
    ~TempEnv();
    QString dataDir() const;    // $XDG_DATA_HOME/quillet (may not exist yet)
    QString configDir() const;  // $XDG_CONFIG_HOME/quillet
    QString cwd() const;        // the current folder
    QString root() const { return m_dir.path(); }
    // Writes bytes to a file under the current folder; returns its path.
    QString writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldData, m_oldConfig;
};

// A gtest fixture that owns a TempEnv and resets the platform test hooks.
class EnvTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<TempEnv> env;
};

// The message of the quil::Error the callable throws; empty when none.
template <typename F> QString errorOf(F &&f) {
    try {
        f();
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

// Permission bits of a file or folder; -1 when it does not exist.
inline int fileMode(const QString &path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 0777);
}

} // namespace quil::test
