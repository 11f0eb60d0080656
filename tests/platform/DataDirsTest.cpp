// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataDirs.h"
#include "tests/support/TestEnv.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace quil;

namespace {


class DataDirs : public test::EnvTest {};

} // namespace

TEST_F(DataDirs, DirectoriesFollowTheXdgVariablesAndArePrivate) {
    EXPECT_EQ(dataDirectory(), env->dataDir());
    EXPECT_EQ(configDirectory(), env->configDir());
    EXPECT_EQ(registryFilePath(), env->configDir() + "/registry.reg");
    EXPECT_EQ(test::fileMode(env->dataDir()), 0700);
    EXPECT_EQ(test::fileMode(env->configDir()), 0700);

    // Changed variables are honoured at the next call, missing parents made.
    const QString other = env->root() + "/other/deeper";
    qputenv("XDG_DATA_HOME", QFile::encodeName(other));
    EXPECT_EQ(dataDirectory(), other + "/quillet");
    EXPECT_TRUE(QDir(other + "/quillet").exists());
    EXPECT_EQ(test::fileMode(other), 0700);
}

TEST_F(DataDirs, UnsetOrRelativeVariablesFallBackToTheHomeFolder) {
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(env->root() + "/home"));
    qunsetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(dataDirectory(), env->root() + "/home/.local/share/quillet");
    EXPECT_EQ(configDirectory(), env->root() + "/home/.config/quillet");
    EXPECT_FALSE(QDir("relative").exists());
    qputenv("HOME", oldHome);
}

TEST_F(DataDirs, AFileInTheWayIsAClearError) {
    env->writeFile("blocker", "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(env->cwd() + "/blocker"));
    try {
        configDirectory();
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains("blocker/quillet")) << e.message().toStdString();
    }
}
