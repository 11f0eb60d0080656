#pragma once
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

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

} // namespace quil::test
