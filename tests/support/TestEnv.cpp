// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestEnv.h"

#include "platform/MessageBox.h"
#include "platform/Opener.h"

#include <QDir>
#include <QFile>

namespace quil::test {

TempEnv::TempEnv() {
    m_oldCwd = QDir::currentPath();
    m_oldData = qgetenv("XDG_DATA_HOME");
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    QDir(m_dir.path()).mkpath("data");
    QDir(m_dir.path()).mkpath("config");
    QDir(m_dir.path()).mkpath("cwd");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + "/config"));
    QDir::setCurrent(m_dir.path() + "/cwd");
}

TempEnv::~TempEnv() {
    QDir::setCurrent(m_oldCwd);
    if (m_oldData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", m_oldData);
    if (m_oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

QString TempEnv::dataDir() const { return m_dir.path() + "/data/quillet"; }
QString TempEnv::configDir() const { return m_dir.path() + "/config/quillet"; }
QString TempEnv::cwd() const { return m_dir.path() + "/cwd"; }

QString TempEnv::writeFile(const QString &name, const QByteArray &bytes) const {
    QString path = cwd() + "/" + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    f.write(bytes);
    return path;
}

QByteArray TempEnv::readFile(const QString &name) const {
    QFile f(name.startsWith('/') ? name : cwd() + "/" + name);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void EnvTest::SetUp() {
    env = std::make_unique<TempEnv>();
    MessageBox::setTestMode(true);
    MessageBox::clearShown();
    FileDialog::reset();
    Opener::clearOpened();
}

void EnvTest::TearDown() { env.reset(); }

} // namespace quil::test
