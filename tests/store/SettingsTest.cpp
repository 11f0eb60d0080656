// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/store/StoreTestUtil.h"

#include "platform/DataDirs.h"
#include "platform/MessageBox.h"
#include "platform/RegImport.h"
#include "platform/Registry.h"
#include "store/Settings.h"

using namespace quil;
using namespace quil::test;

namespace {

const QString kKey = QStringLiteral("software\\KAV\\QUIL");

// The registry as the main window's creation uses it: open, work, release.
class SettingsTest : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        dm1 = std::make_unique<TDataModule1>();
        dm2 = std::make_unique<TMMagSysDataModule>();
    }
    void TearDown() override {
        dm2.reset();
        dm1.reset();
        EnvTest::TearDown();
    }

    UpgradeResult startUp() {
        Registry registry;
        registry.openKey(SettingsKeyPath);
        UpgradeResult r = runVersionCheck(registry, *dm1->Table1);
        registry.releaseKey();
        return r;
    }

    std::optional<RegValue> stored(const QString &name) {
        RegistryFile file(registryFilePath());
        return file.value(kKey, name);
    }

    void setStored(const QString &name, const RegValue &v) {
        RegistryFile file(registryFilePath());
        file.setValue(kKey, name, v);
    }

    bool loadOption(bool current = true) {
        Registry registry;
        registry.openKey(SettingsKeyPath);
        bool on = loadNoticeOption(registry, current);
        registry.releaseKey();
        return on;
    }

    QStringList storedPublishing() {
        return rawColumn(env->dataDir() + QStringLiteral("/MMagaInfo.DB"),
                         QStringLiteral("SELECT \"発行媒体\" FROM MMagaInfo ORDER BY _sort_key"));
    }

    std::unique_ptr<TDataModule1> dm1;
    std::unique_ptr<TMMagSysDataModule> dm2;
};

} // namespace

TEST_F(SettingsTest, FirstStartAsksOnceAndRecordsTheVersion) {
    UpgradeResult r = startUp();
    EXPECT_TRUE(r.asked);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const ShownMessage &m = MessageBox::shown().first();
    EXPECT_EQ(m.text, QStringLiteral("新しいバージョンがインストールされました。バージョンアップ処理を行いますか？"));
    EXPECT_EQ(m.caption, QStringLiteral("新しいバージョンのインストール"));
    EXPECT_EQ(m.buttons, MsgButtons::YesNo);
    EXPECT_EQ(m.icon, MsgIcon::Information);
    ASSERT_TRUE(stored(QStringLiteral("InstallVer")).has_value());
    EXPECT_EQ(stored(QStringLiteral("InstallVer"))->text, QStringLiteral("4.00"));
    EXPECT_EQ(stored(QStringLiteral("InstallVer"))->type, RegType::String);
    EXPECT_FALSE(stored(QStringLiteral("CNMCheck")).has_value());
    EXPECT_TRUE(loadOption()) << "a missing option is on";

    MessageBox::clearShown();
    EXPECT_FALSE(startUp().asked);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(SettingsTest, AnyOtherStoredVersionAsksWhateverTheAnswer) {
    for (const char *version : {"4.01", "3.9", "4.0", "4.00 "}) {
        setStored(QStringLiteral("InstallVer"), RegValue::string(QString::fromLatin1(version)));
        MessageBox::clearShown();
        MessageBox::setNextAnswer(MsgAnswer::No);
        EXPECT_TRUE(startUp().asked) << version;
        EXPECT_EQ(MessageBox::shown().size(), 1) << version;
        EXPECT_EQ(stored(QStringLiteral("InstallVer"))->text, QStringLiteral("4.00")) << version;
    }
}

TEST_F(SettingsTest, YesRewritesOnlyLowerCaseClickincomeAndEndsOnTheFirstRecord) {
    Table &t = *dm1->Table1;
    t.open();
    for (const QString &p : {QStringLiteral("melma"), QStringLiteral("clickincome"), QStringLiteral("Clickincome"),
                             QString(), QStringLiteral("clickincome")}) {
        t.append();
        dm1->Table1PublishingSF->setAsString(p);
        t.post();
    }
    t.close(); // the conversion opens the table itself, before the record form exists

    MessageBox::setNextAnswer(MsgAnswer::Yes);
    UpgradeResult r = startUp();
    EXPECT_TRUE(r.converted);
    EXPECT_EQ(r.recordsChanged, 2);
    EXPECT_EQ(storedPublishing(), (QStringList{"melma", "melma", "Clickincome", "<null>", "melma"}));
    EXPECT_TRUE(t.active());
    EXPECT_EQ(t.recNo(), 1);
    EXPECT_EQ(t.state(), DataSetState::Edit) << "the data module's after-scroll ran";
}

TEST_F(SettingsTest, NoConvertsNothingAndTheNextStartAsksNothing) {
    Table &t = *dm1->Table1;
    t.open();
    t.append();
    dm1->Table1PublishingSF->setAsString(QStringLiteral("clickincome"));
    t.post();
    t.close();
    MessageBox::setNextAnswer(MsgAnswer::No);
    UpgradeResult r = startUp();
    EXPECT_TRUE(r.asked);
    EXPECT_FALSE(r.converted);
    EXPECT_EQ(storedPublishing(), QStringList{"clickincome"});
    MessageBox::clearShown();
    EXPECT_FALSE(startUp().asked);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_EQ(storedPublishing(), QStringList{"clickincome"});
}

TEST_F(SettingsTest, NoticeOptionReadsNumbersAndClearsValuesOfAnotherType) {
    setStored(QStringLiteral("CNMCheck"), RegValue::string(QStringLiteral("0")));
    EXPECT_FALSE(loadOption());
    setStored(QStringLiteral("CNMCheck"), RegValue::string(QStringLiteral("1")));
    EXPECT_TRUE(loadOption(false));
    setStored(QStringLiteral("CNMCheck"), RegValue::string(QStringLiteral("7")));
    EXPECT_TRUE(loadOption(false));
    setStored(QStringLiteral("CNMCheck"), RegValue::string(QStringLiteral("いいえ")));
    EXPECT_TRUE(loadOption(true)) << "a word gives the default";
    EXPECT_FALSE(loadOption(false));
    EXPECT_TRUE(stored(QStringLiteral("CNMCheck")).has_value()) << "a word is no read failure";

    setStored(QStringLiteral("CNMCheck"), RegValue::number(1));
    setStored(QStringLiteral("PIPCheck"), RegValue::string(QStringLiteral("1")));
    EXPECT_TRUE(loadOption(true));
    EXPECT_FALSE(stored(QStringLiteral("CNMCheck")).has_value());
    EXPECT_FALSE(stored(QStringLiteral("PIPCheck")).has_value());
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << "no message for the failed read";
}

TEST_F(SettingsTest, ImportedWindowsSettingsAreMetByTheStartUpAsStored) {
    auto importFile = [&](const QByteArray &lines) {
        RegistryFile file(registryFilePath());
        importRegExport(env->writeFile("quil.reg", "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\r\n" + lines),
                        SettingsFileKey, file);
    };
    importFile("\"InstallVer\"=\"4.00\"\r\n\"CNMCheck\"=dword:00000000\r\n\"PIPCheck\"=\"1\"\r\n");
    EXPECT_FALSE(startUp().asked) << "this program's version asks nothing";
    // A notice value of another type is dropped with its neighbour; the option keeps its state.
    EXPECT_FALSE(loadOption(false));
    EXPECT_FALSE(stored(QStringLiteral("CNMCheck")).has_value());
    EXPECT_FALSE(stored(QStringLiteral("PIPCheck")).has_value());

    importFile("\"InstallVer\"=\"3.00\"\r\n\"CNMCheck\"=\"0\"\r\n");
    MessageBox::setNextAnswer(MsgAnswer::No);
    EXPECT_TRUE(startUp().asked) << "an older version asks";
    EXPECT_FALSE(loadOption(true));
}

TEST_F(SettingsTest, MenuTogglesStoreTextValues) {
    storeNoticeOption(false);
    ASSERT_TRUE(stored(QStringLiteral("CNMCheck")).has_value());
    EXPECT_EQ(stored(QStringLiteral("CNMCheck"))->type, RegType::String);
    EXPECT_EQ(stored(QStringLiteral("CNMCheck"))->text, QStringLiteral("0"));
    EXPECT_FALSE(loadOption(true));
    storeNoticeOption(true);
    EXPECT_EQ(stored(QStringLiteral("CNMCheck"))->text, QStringLiteral("1"));
    storePubzineIpOption(true);
    EXPECT_EQ(stored(QStringLiteral("PIPCheck"))->text, QStringLiteral("1"));
    storePubzineIpOption(false);
    EXPECT_EQ(stored(QStringLiteral("PIPCheck"))->text, QStringLiteral("0"));
}
