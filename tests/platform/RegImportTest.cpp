// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegImport.h"
#include "platform/Registry.h"
#include "tests/platform/RegExportFiles.h"
#include "tests/support/TestEnv.h"
#include "text/Error.h"

#include <QFile>

using namespace quil;
using namespace quil::test;

namespace {

const QString kQuil = QStringLiteral("software\\KAV\\QUIL");

class RegImport : public EnvTest {
protected:
    QString settingsPath() const { return env->cwd() + "/registry.reg"; }
    QByteArray settingsBytes() const { return env->readFile(settingsPath()); }
    RegImportResult import(const QByteArray &exportBytes) {
        const QString path = env->writeFile("quil.reg", exportBytes);
        RegistryFile settings(settingsPath());
        return importRegExport(path, kQuil, settings);
    }
    std::optional<RegValue> stored(const QString &name, const QString &key = kQuil) const {
        return RegistryFile(settingsPath()).value(key, name);
    }
    // The refusal of an import, checked to have left the settings file alone.
    QString refusal(const QByteArray &exportBytes) {
        const QByteArray before = settingsBytes();
        const bool existed = QFile::exists(settingsPath());
        const QString message = errorOf([&] { import(exportBytes); });
        EXPECT_EQ(settingsBytes(), before);
        EXPECT_EQ(QFile::exists(settingsPath()), existed);
        return message;
    }
};

} // namespace

TEST_F(RegImport, EveryValueOfTheKeyGoesInWithItsTypeAndOtherKeysAreCounted) {
    const RegImportResult r = import(utf16Export(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                                                "[HKEY_CURRENT_USER\\Software\\KAV]\n\n"
                                                                "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n"
                                                                "\"CNMCheck\"=\"0\"\n"
                                                                "\"PIPCheck\"=\"1\"\n"
                                                                "\"InstallVer\"=\"3.00\"\n"
                                                                "\"HostMelma\"=\"127.0.0.1:8080\"\n"
                                                                "\"Folder\"=hex(2):25,00,54,00,25,00,00,00\n"
                                                                "\"Blob\"=hex:01,02\n"
                                                                "\"Count\"=dword:00000007\n\n"
                                                                "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL\\Window]\n"
                                                                "\"Left\"=dword:00000010\n\n"
                                                                "[HKEY_LOCAL_MACHINE\\Software\\KAV\\QUIL]\n"
                                                                "\"InstallVer\"=\"9.99\"\n\n"
                                                                "[HKEY_CURRENT_USER\\Software\\Other]\n"
                                                                "\"CNMCheck\"=\"1\"\n\n")));
    EXPECT_EQ(r.imported, 7);
    EXPECT_EQ(r.otherKeys, 4);
    EXPECT_EQ(r.message(), QStringLiteral("設定を 7 個読みこみました（ほかのキー 4 個は読みこんでいません）。"));
    EXPECT_EQ(stored("CNMCheck")->text, "0");
    EXPECT_EQ(stored("PIPCheck")->text, "1");
    EXPECT_EQ(stored("InstallVer")->type, RegType::String);
    EXPECT_EQ(stored("InstallVer")->text, "3.00") << "the version as stored, so the start-up asks as it should";
    EXPECT_EQ(stored("HostMelma")->text, "127.0.0.1:8080");
    EXPECT_EQ(stored("Folder")->type, RegType::ExpandString);
    EXPECT_EQ(stored("Folder")->text, "%T%");
    EXPECT_EQ(stored("Blob")->data, QByteArray::fromHex("0102"));
    EXPECT_EQ(stored("Count")->dword, 7u);
    // Nothing of the other keys.
    RegistryFile settings(settingsPath());
    EXPECT_FALSE(settings.keyExists(kQuil + "\\Window"));
    EXPECT_FALSE(settings.keyExists("software\\Other"));
    EXPECT_FALSE(settingsBytes().contains("9.99"));
}

TEST_F(RegImport, AShiftJisExportWithAJapaneseValueIsImported) {
    const QString note = QStringLiteral("表示ソフト ～①");
    const RegImportResult r = import(sjisExport(QStringLiteral("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n"
                                                               "\"InstallVer\"=\"4.00\"\n\"Note\"=\"")
                                                + note + QStringLiteral("\"\n\n")));
    EXPECT_EQ(r.imported, 2);
    EXPECT_EQ(r.otherKeys, 0);
    EXPECT_EQ(stored("Note")->text, note);
    EXPECT_EQ(stored("InstallVer")->text, "4.00");
}

TEST_F(RegImport, ANumericNoticeValueIsImportedAsANumberAndThenCannotBeReadAsText) {
    import(sjisExport(QStringLiteral("REGEDIT4\n[hkey_current_user\\SOFTWARE\\kav\\quil]\n"
                                     "\"CNMCheck\"=dword:00000000\n\"PIPCheck\"=\"1\"\n")));
    ASSERT_TRUE(stored("CNMCheck"));
    EXPECT_EQ(stored("CNMCheck")->type, RegType::DWord);
    EXPECT_EQ(stored("CNMCheck")->dword, 0u);
    EXPECT_TRUE(settingsBytes().contains("\"CNMCheck\"=dword:00000000\n"));
    // What the start-up meets: a read that fails naming the value, which is
    // its cue to delete the option's values.
    RegistryFile file(settingsPath());
    Registry registry(file);
    registry.openKey("\\software\\KAV");
    EXPECT_EQ(errorOf([&] { registry.readText("QUIL", "CNMCheck", "1"); }),
              QStringLiteral("'CNMCheck' のデータ型が不正です"));
    EXPECT_EQ(errorOf([&] { registry.readBool("QUIL", "CNMCheck", true); }),
              QStringLiteral("'CNMCheck' のデータ型が不正です"));
    EXPECT_TRUE(registry.readBool("QUIL", "PIPCheck", false));
}

TEST_F(RegImport, AnExistingSettingsFileKeepsItsOtherLines) {
    const QByteArray before = "REGEDIT4\r\n"
                              "; my settings\r\n"
                              "\r\n"
                              "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\r\n"
                              "\"HostMag2Page\"=\"127.0.0.1:9000\"\r\n"
                              "\"CNMCheck\"=\"0\"\r\n"
                              "a line of nobody's\r\n"
                              "\r\n"
                              "[HKEY_CURRENT_USER\\software\\Elsewhere]\r\n"
                              "\"CNMCheck\"=\"0\"\r\n";
    env->writeFile("registry.reg", before);
    const RegImportResult r = import(utf16Export(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                                                "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n"
                                                                "\"cnmcheck\"=\"1\"\n"
                                                                "\"InstallVer\"=\"4.00\"\n\n")));
    EXPECT_EQ(r.imported, 2);
    EXPECT_EQ(settingsBytes(), QByteArray("REGEDIT4\r\n"
                                          "; my settings\r\n"
                                          "\r\n"
                                          "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\r\n"
                                          "\"HostMag2Page\"=\"127.0.0.1:9000\"\r\n"
                                          "\"CNMCheck\"=\"1\"\r\n"
                                          "a line of nobody's\r\n"
                                          "\"InstallVer\"=\"4.00\"\r\n"
                                          "\r\n"
                                          "[HKEY_CURRENT_USER\\software\\Elsewhere]\r\n"
                                          "\"CNMCheck\"=\"0\"\r\n"));
}

TEST_F(RegImport, TheFileOrderDecidesAndDeletionsDeleteNothingStored) {
    env->writeFile("registry.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"Kept\"=\"stored\"\n");
    const RegImportResult r = import(sjisExport(QStringLiteral("REGEDIT4\n"
                                                               "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                                               "\"Twice\"=\"first\"\n"
                                                               "\"Dropped\"=\"x\"\n"
                                                               "\"Early\"=\"x\"\n"
                                                               "\"Kept\"=-\n"
                                                               "[HKCU\\software\\KAV\\QUIL]\n"
                                                               "\"TWICE\"=\"second\"\n"
                                                               "\"Dropped\"=-\n"
                                                               "[-HKEY_CURRENT_USER\\software\\KAV\\QUIL\\Sub]\n")));
    EXPECT_EQ(r.imported, 2);
    EXPECT_EQ(r.otherKeys, 0) << "a deleted key has no values to leave out";
    EXPECT_EQ(stored("Twice")->text, "second");
    EXPECT_FALSE(stored("Dropped"));
    EXPECT_EQ(stored("Early")->text, "x");
    EXPECT_EQ(stored("Kept")->text, "stored");

    // A deleted key drops what the file gave before it.
    const RegImportResult again = import(sjisExport(QStringLiteral("REGEDIT4\n"
                                                                   "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                                                   "\"Early\"=\"y\"\n"
                                                                   "[-HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                                                   "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                                                   "\"Late\"=\"z\"\n")));
    EXPECT_EQ(again.imported, 1);
    EXPECT_EQ(stored("Early")->text, "x");
    EXPECT_EQ(stored("Late")->text, "z");
}

TEST_F(RegImport, RefusedFilesChangeNothing) {
    const QString noExport = refusal("\"Name\",\"ID\"\r\n");
    EXPECT_TRUE(noExport.startsWith("ファイル " + env->cwd() + "/quil.reg はレジストリエディタで書き出したファイルではありません"))
        << noExport.toStdString();

    env->writeFile("registry.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"CNMCheck\"=\"0\"\n");
    const QByteArray whole = utf16Export(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                                        "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n"
                                                        "\"CNMCheck\"=\"1\"\n\"InstallVer\"=\"4.00\"\n\n"));
    EXPECT_TRUE(refusal(whole.left(whole.size() - 9)).contains("は途中で切れています"));
    EXPECT_TRUE(refusal(whole.left(whole.size() - 16)).contains("は途中で切れています"));
    // A bad line after good ones: none of them goes in.
    EXPECT_TRUE(refusal("REGEDIT4\r\n[HKCU\\software\\KAV\\QUIL]\r\n\"CNMCheck\"=\"1\"\r\n\"X\"=dword:xyz\r\n")
                    .endsWith("の 4 行目を読めません: dword の値は 16 進 8 桁までの数です"));
    EXPECT_EQ(refusal("REGEDIT4\r\n[HKCU\\software\\KAV]\r\n[HKLM\\software\\KAV\\QUIL]\r\n\"CNMCheck\"=\"1\"\r\n"),
              QStringLiteral("ファイル %1/quil.reg にはキー HKEY_CURRENT_USER\\software\\KAV\\QUIL がありません")
                  .arg(env->cwd()));
    EXPECT_EQ(refusal("REGEDIT4\r\n[HKCU\\software\\KAV\\QUIL]\r\n\"CNMCheck\"=\"1\"\r\n\"Tab\tName\"=\"1\"\r\n"),
              QStringLiteral("ファイル %1/quil.reg の 4 行目の値の名前は制御文字を含むため、設定に使えません")
                  .arg(env->cwd()));
    EXPECT_EQ(stored("CNMCheck")->text, "0");
}

TEST_F(RegImport, AnEmptyKeyImportsNothing) {
    const RegImportResult r = import(sjisExport(QStringLiteral("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\n")));
    EXPECT_EQ(r.imported, 0);
    EXPECT_EQ(r.message(), QStringLiteral("設定を 0 個読みこみました（ほかのキー 0 個は読みこんでいません）。"));
    EXPECT_FALSE(QFile::exists(settingsPath()));
}
