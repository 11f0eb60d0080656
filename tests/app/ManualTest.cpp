// SPDX-License-Identifier: GPL-3.0-or-later
// Which manual help opens: the one under the current folder, else the
// installed one, else the build's copy beside the program.
#include "app/core/Manual.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quil;

namespace {

// A current folder and an installation prefix side by side:
//   <root>/work                                 the folder the program starts in
//   <root>/usr/bin                              the program's folder
//   <root>/usr/share/doc/quillet/Manual         the installed manual
//   <root>/usr/bin/Manual                       a build's copy beside the program
class ManualChoice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir().mkpath(current()));
        ASSERT_TRUE(QDir().mkpath(program()));
    }

    QString current() const { return root.path() + "/work"; }
    QString program() const { return root.path() + "/usr/bin"; }
    QString inCurrent() const { return current() + "/Manual/QUIL.html"; }
    QString installed() const { return root.path() + "/usr/share/doc/quillet/Manual/QUIL.html"; }
    QString besideProgram() const { return program() + "/Manual/QUIL.html"; }

    static void writeManual(const QString &path) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<html></html>");
    }

    QString chosen() const { return manualToOpen(current(), program()); }

    QTemporaryDir root;
};

TEST_F(ManualChoice, TheManualUnderTheCurrentFolderComesFirstThenTheInstalledOneThenTheBuildCopy) {
    writeManual(inCurrent());
    writeManual(installed());
    writeManual(besideProgram());
    EXPECT_EQ(chosen(), inCurrent());

    ASSERT_TRUE(QFile::remove(inCurrent()));
    // Found through "<program>/../share", but given without the "..".
    EXPECT_EQ(chosen(), installed());

    ASSERT_TRUE(QFile::remove(installed()));
    EXPECT_EQ(chosen(), besideProgram());
}

TEST_F(ManualChoice, NothingIsChosenWhenNoManualExists) {
    EXPECT_TRUE(chosen().isEmpty());
    // A manual elsewhere in the tree is not looked for.
    writeManual(root.path() + "/Manual/QUIL.html");
    writeManual(root.path() + "/usr/Manual/QUIL.html");
    EXPECT_TRUE(chosen().isEmpty());
}

TEST_F(ManualChoice, AFolderNamedLikeTheManualIsNoManual) {
    ASSERT_TRUE(QDir().mkpath(inCurrent()));
    ASSERT_TRUE(QDir().mkpath(installed()));
    EXPECT_TRUE(chosen().isEmpty());
    writeManual(besideProgram());
    EXPECT_EQ(chosen(), besideProgram());
}

} // namespace
