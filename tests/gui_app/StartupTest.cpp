// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/Glyphs.h"
#include "app/TDBGridForm.h"
#include "autoinput/TQUILAutoInputForm.h"
#include "forms/DataControls.h"
#include "forms/TMIDCopyForm.h"
#include "forms/TOSConfigForm.h"
#include "forms/TQUILForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/DateText.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>

using namespace quil;
using namespace quil::test;

namespace {

QStringList visibleWindows() {
    QStringList names;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            names << w->objectName();
    return names;
}

QStringList errorsShown() {
    QStringList texts;
    for (const ShownMessage &m : MessageBox::shown())
        if (m.icon == MsgIcon::Error)
            texts << m.text;
    return texts;
}

int upgradeQuestions() {
    int n = 0;
    for (const ShownMessage &m : MessageBox::shown())
        if (m.caption == QStringLiteral("新しいバージョンのインストール"))
            ++n;
    return n;
}

} // namespace

TEST_F(AppTest, StartUpCreatesTheEightObjectsInOrderAndShowsOnlyTheMainWindow) {
    start();
    EXPECT_EQ(applicationObjectOrder(),
              QStringList({"DataModule1", "MMagSysDataModule", "QUILMainForm", "OSConfigForm", "QUILForm",
                           "QUILAutoInputForm", "MIDCopyForm", "DBGridForm"}));
    ASSERT_TRUE(DataModule1 && MMagSysDataModule && QUILMainForm && OSConfigForm && QUILForm && QUILAutoInputForm &&
                MIDCopyForm && DBGridForm);
    EXPECT_EQ(visibleWindows(), QStringList({"QUILMainForm"}));
    // The configuration window opened the publishing-system table.
    EXPECT_TRUE(MMagSysDataModule->Table2->active());

    destroyApplicationObjects();
    EXPECT_FALSE(DataModule1 || MMagSysDataModule || QUILMainForm || OSConfigForm || QUILForm || QUILAutoInputForm ||
                 MIDCopyForm || DBGridForm);
}

TEST_F(AppTest, FirstStartAsksTheUpgradeQuestionOnceAndRecordsTheVersion) {
    start();
    ASSERT_EQ(upgradeQuestions(), 1);
    const ShownMessage &q = MessageBox::shown().first();
    EXPECT_EQ(q.text, QStringLiteral("新しいバージョンがインストールされました。バージョンアップ処理を行いますか？"));
    EXPECT_EQ(q.buttons, MsgButtons::YesNo);
    EXPECT_EQ(q.icon, MsgIcon::Information);
    ASSERT_TRUE(stored("InstallVer"));
    EXPECT_EQ(stored("InstallVer")->text, "4.00");
    EXPECT_FALSE(stored("CNMCheck"));
    EXPECT_TRUE(QUILMainForm->cancelNoticeEnabled());

    restart();
    EXPECT_EQ(upgradeQuestions(), 0);
}

TEST_F(AppTest, AMissingAddressListIsNoErrorAtStartButAnUnreadableOneIs) {
    ASSERT_TRUE(QFile::remove(env->cwd() + "/MADDRESS.ini"));
    start();
    EXPECT_TRUE(errorsShown().isEmpty());
    EXPECT_TRUE(QUILForm->DBComboBoxRegAddress->items().isEmpty());
    // Nor does any later start before the reader adds an address.
    restart();
    EXPECT_TRUE(errorsShown().isEmpty());
    EXPECT_FALSE(QFile::exists(env->cwd() + "/MADDRESS.ini"));

    // A directory in the file's place cannot be read, even by root.
    ASSERT_TRUE(QDir(env->cwd()).mkdir("MADDRESS.ini"));
    restart();
    EXPECT_EQ(errorsShown(), QStringList{QStringLiteral("ファイル MADDRESS.ini を開けません.")});
    EXPECT_TRUE(QUILMainForm->isVisible());
}

TEST_F(AppTest, AnOlderVersionIsConvertedDuringMainWindowCreationOnYesAndLeftOnNo) {
    auto addRecord = [](const QString &publishing) {
        Table &t = *DataModule1->Table1;
        t.append();
        DataModule1->Table1PublishingSF->setAsString(publishing);
        t.post();
    };
    // A register from an older version, written before the upgrade runs.
    seed("InstallVer", RegValue::string("3.9"));
    {
        TDataModule1 module;
        module.Table1->open();
        addRecord("clickincome");
        addRecord("Clickincome");
        module.Table1->close();
    }
    MessageBox::setNextAnswer(MsgAnswer::Yes);
    start();
    EXPECT_EQ(upgradeQuestions(), 1);
    Table &t = *DataModule1->Table1;
    ASSERT_TRUE(t.active());
    ASSERT_EQ(t.recordCount(), 2);
    // The conversion opened the table before the record form existed; the
    // form's radio group shows the first record's service all the same.
    EXPECT_EQ(QUILForm->RadioGroupPublishing->itemIndex(), 2);
    // So does the systems window: the built-in first row is locked.
    EXPECT_TRUE(OSConfigForm->Panel1->isVisibleTo(OSConfigForm));
    EXPECT_FALSE(OSConfigForm->BitBtn2->isEnabled());
    EXPECT_FALSE(OSConfigForm->DBEditMMagSysName->isEnabled());
    t.first();
    EXPECT_EQ(DataModule1->Table1PublishingSF->asString(), "melma");
    t.next();
    EXPECT_EQ(DataModule1->Table1PublishingSF->asString(), "Clickincome");

    // Answering No leaves the records alone and is not asked again.
    destroyApplicationObjects();
    seed("InstallVer", RegValue::string("4.01"));
    {
        TDataModule1 module;
        module.Table1->open();
        addRecord("clickincome");
        module.Table1->close();
    }
    MessageBox::clearShown();
    MessageBox::setNextAnswer(MsgAnswer::No);
    createApplicationObjects();
    EXPECT_EQ(upgradeQuestions(), 1);
    ASSERT_TRUE(stored("InstallVer"));
    EXPECT_EQ(stored("InstallVer")->text, "4.00");
    ASSERT_TRUE(DataModule1->Table1->locate(col::Publishing, QStringLiteral("clickincome")));
    restart();
    EXPECT_EQ(upgradeQuestions(), 0);
}

TEST_F(AppTest, NoticeOptionFollowsTheStoredValue) {
    struct Case {
        const char *what;
        std::optional<RegValue> value;
        bool checked;
    };
    const Case cases[] = {
        {"text 0", RegValue::string("0"), false},
        {"text 1", RegValue::string("1"), true},
        {"text 7", RegValue::string("7"), true},
        {"a word", RegValue::string("yes"), true},
        {"missing", std::nullopt, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        destroyApplicationObjects();
        registry().deleteValue(QuilKey, "CNMCheck");
        if (c.value)
            seed("CNMCheck", *c.value);
        createApplicationObjects();
        EXPECT_EQ(QUILMainForm->CancelNoticeMaker->isChecked(), c.checked);
        EXPECT_EQ(QUILMainForm->cancelNoticeEnabled(), c.checked);
    }
}

TEST_F(AppTest, ANumericNoticeValueLeavesTheOptionOnAndRemovesBothValues) {
    seed("CNMCheck", RegValue::number(0));
    seed("PIPCheck", RegValue::string("1"));
    start();
    EXPECT_TRUE(QUILMainForm->CancelNoticeMaker->isChecked());
    EXPECT_FALSE(stored("CNMCheck"));
    EXPECT_FALSE(stored("PIPCheck"));
    // Nothing of this is reported to the reader.
    for (const ShownMessage &m : MessageBox::shown())
        EXPECT_NE(m.icon, MsgIcon::Error) << m.text.toStdString();
}

TEST_F(AppTest, EndingTheProgramStoresTheRecordBeingTyped) {
    start();
    Table &t = *DataModule1->Table1;
    ASSERT_TRUE(t.active());
    t.edit();
    DataModule1->Table1MBNameSF->setAsString(QStringLiteral("週刊テスト"));
    restart();
    ASSERT_EQ(DataModule1->Table1->recordCount(), 1);
    DataModule1->Table1->first();
    EXPECT_EQ(DataModule1->Table1MBNameSF->asString(), QStringLiteral("週刊テスト"));
}

TEST_F(AppTest, QtsOwnWidgetsSpeakJapaneseWhateverTheSystemLocaleWhileFilesKeepTheirForms) {
    QLocale::setDefault(QLocale::c());
    configureApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
    start();
    EXPECT_EQ(QLocale().name(), "ja_JP");
    EXPECT_EQ(QUILMainForm->locale().name(), "ja_JP");
    EXPECT_EQ(QLocale().toString(QDate(2024, 3, 2), QLocale::ShortFormat), "2024/03/02");
    // The texts the program writes into its files do not follow it.
    const QDateTime at(QDate(2024, 3, 2), QTime(8, 41, 5));
    EXPECT_EQ(datetext::plain(at), "2024/03/02 8:41:05");
    EXPECT_EQ(datetext::display(at), "2024/03/02 08:41:05");
}

TEST_F(AppTest, ApplicationIsTitledQuilletAndRecordsItsHelpFile) {
    configureApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
    EXPECT_EQ(applicationTitle(), "Quillet");
    EXPECT_EQ(QCoreApplication::applicationName(), "Quillet");
    EXPECT_EQ(qApp->property("HelpFile").toString(), QStringLiteral("Manual\\index.html"));
    // Set by the program once the main window has painted.
    const QIcon icon = glyph::programIcon();
    EXPECT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(256, 256)));
}
