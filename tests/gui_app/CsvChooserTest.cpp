// SPDX-License-Identifier: GPL-3.0-or-later
// CSV export through the field chooser, and import, from the main window.
#include "AppFixture.h"

#include "app/TDualListSaveDlg.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/ParadoxWriter.h"
#include "text/Cp932.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

using namespace quil;
using namespace quil::test;

namespace {

class CsvChooserTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
        MessageBox::clearShown();
    }

    Table &t() { return *DataModule1->Table1; }

    void addNamed(const QStringList &names) {
        for (const QString &n : names) {
            t().append();
            DataModule1->Table1MBNameSF->setAsString(n);
            t().post();
        }
    }

    static QStringList items(QListWidget *list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }

    static void select(QListWidget *list, const QStringList &names) {
        list->clearSelection();
        for (int i = 0; i < list->count(); ++i)
            if (names.contains(list->item(i)->text()))
                list->item(i)->setSelected(true);
    }

    // Opens the chooser with Ctrl+S and hands it to `inspect`.
    void withChooser(const std::function<void(TDualListSaveDlg *)> &inspect) {
        ASSERT_TRUE(activate(QUILMainForm));
        QWidget *seen = whileModal([] { QTest::keyClick(QUILMainForm, Qt::Key_S, Qt::ControlModifier); },
                                   [&](QWidget *m) {
                                       auto *dlg = qobject_cast<TDualListSaveDlg *>(m);
                                       ASSERT_TRUE(dlg);
                                       inspect(dlg);
                                   });
        ASSERT_TRUE(seen);
        EXPECT_TRUE(QUILMainForm->findChildren<TDualListSaveDlg *>().isEmpty()) << "destroyed when closed";
    }

    static QStringList columnNames() {
        QStringList out;
        for (const FieldDef &def : TDataModule1::schema())
            out << def.name;
        return out;
    }
};

} // namespace

TEST_F(CsvChooserTest, TheChooserStartsWithAllColumnsOnTheLeft) {
    withChooser([](TDualListSaveDlg *d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("保存項目選択ダイアログ"));
        EXPECT_EQ(d->size(), QSize(345, 255));
        EXPECT_EQ(items(d->SrcList), columnNames());
        EXPECT_TRUE(items(d->DstList).isEmpty());
        EXPECT_EQ(d->SrcList->geometry(), QRect(8, 24, 144, 185));
        EXPECT_EQ(d->DstList->geometry(), QRect(192, 24, 144, 185));
        EXPECT_EQ(d->SrcLabel->text(), QStringLiteral("選択できる項目 :"));
        EXPECT_EQ(d->DstLabel->text(), QStringLiteral("保存する項目 :"));
        EXPECT_TRUE(d->IncludeBtn->isEnabled());
        EXPECT_TRUE(d->IncAllBtn->isEnabled());
        EXPECT_FALSE(d->ExcludeBtn->isEnabled());
        EXPECT_FALSE(d->ExAllBtn->isEnabled());
        EXPECT_TRUE(d->OKBtn->isDefault());
        EXPECT_TRUE(d->HelpBtn->isHidden());
        EXPECT_FALSE(d->HelpBtn->isEnabled());
        EXPECT_EQ(d->HelpBtn->text(), QStringLiteral("ヘルプ(&H)"));
        // Esc is Cancel.
        QTest::keyClick(d, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible());
    });
    EXPECT_EQ(FileDialog::shownCount(), 0);
}

TEST_F(CsvChooserTest, SeveralSelectedArriveInReverseOneAtATimeInClickOrder) {
    withChooser([](TDualListSaveDlg *d) {
        select(d->SrcList, {col::Publishing, col::MBID});
        QTest::mouseClick(d->IncludeBtn, Qt::LeftButton);
        EXPECT_EQ(items(d->DstList), (QStringList{col::MBID, col::Publishing}));
        EXPECT_TRUE(d->ExcludeBtn->isEnabled());
        // The list keeps a selection where the first moved item was.
        EXPECT_EQ(d->SrcList->selectedItems().value(0)->text(), col::MBName);
        select(d->SrcList, {col::DeleteState});
        QTest::mouseClick(d->IncludeBtn, Qt::LeftButton);
        select(d->SrcList, {col::MBName});
        QTest::mouseClick(d->IncludeBtn, Qt::LeftButton);
        EXPECT_EQ(items(d->DstList), (QStringList{col::MBID, col::Publishing, col::DeleteState, col::MBName}));
        select(d->DstList, {col::Publishing});
        QTest::mouseClick(d->ExcludeBtn, Qt::LeftButton);
        EXPECT_EQ(items(d->SrcList).last(), col::Publishing);
        d->reject();
    });
}

TEST_F(CsvChooserTest, AllRightThenAllLeftRestoresTheOrder) {
    withChooser([](TDualListSaveDlg *d) {
        QTest::mouseClick(d->IncAllBtn, Qt::LeftButton);
        EXPECT_EQ(items(d->DstList), columnNames());
        EXPECT_FALSE(d->IncludeBtn->isEnabled());
        EXPECT_FALSE(d->IncAllBtn->isEnabled());
        EXPECT_TRUE(d->ExAllBtn->isEnabled());
        QTest::mouseClick(d->ExAllBtn, Qt::LeftButton);
        EXPECT_EQ(items(d->SrcList), columnNames());
        EXPECT_TRUE(items(d->DstList).isEmpty());
        EXPECT_TRUE(d->IncludeBtn->isEnabled());
        EXPECT_FALSE(d->ExcludeBtn->isEnabled());
        EXPECT_FALSE(d->ExAllBtn->isEnabled());
        d->reject();
    });
}

TEST_F(CsvChooserTest, OkWritesTheChosenColumnsAndReportsTheCount) {
    addNamed({"一号", "二号", "三号"});
    t().first();
    // Nothing chosen: an empty line for the header and one per record.
    FileDialog::setNextFileName(env->cwd() + "/none");
    withChooser([](TDualListSaveDlg *d) { QTest::mouseClick(d->OKBtn, Qt::LeftButton); });
    EXPECT_EQ(env->readFile("none.csv"), QByteArray("\r\n\r\n\r\n\r\n"));
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("計 3 件保存しました。"));
    EXPECT_EQ(MessageBox::shown()[0].caption, QStringLiteral("保存完了"));
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Information);

    FileDialog::setNextFileName(env->cwd() + "/names.csv");
    withChooser([](TDualListSaveDlg *d) {
        select(d->SrcList, {col::MBName});
        QTest::mouseClick(d->IncludeBtn, Qt::LeftButton);
        QTest::keyClick(d, Qt::Key_Return); // OK is the default button
    });
    EXPECT_EQ(env->readFile("names.csv"),
              cp932::encode(QStringLiteral("\"メールマガジン名\"\r\n\"一号\"\r\n\"二号\"\r\n\"三号\"\r\n")));
    EXPECT_EQ(DataModule1->Table1MBNameSF->asString(), "一号") << "the cursor is back";

    // Cancelling the file dialog writes nothing and closes the chooser.
    MessageBox::clearShown();
    FileDialog::setNextFileName(QString());
    withChooser([](TDualListSaveDlg *d) { QTest::mouseClick(d->OKBtn, Qt::LeftButton); });
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(CsvChooserTest, ImportAppendsTheRecordsOfAFileAndReportsThem) {
    env->writeFile("in.csv", cp932::encode(QStringLiteral("\"メールマガジン名\",\"削除状態\"\r\n\"甲\",\"購読中\"\r\n"
                                                          "\"乙\",\"解除\"\r\n")));
    FileDialog::setNextFileName(env->cwd() + "/in");
    ASSERT_TRUE(activate(QUILMainForm));
    QTest::keyClick(QUILMainForm, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(t().recordCount(), 2);
    EXPECT_EQ(DataModule1->Table1MBNameSF->asString(), "乙") << "on the last imported record";
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("計 2 行のデータを書きこみました。"));
    EXPECT_EQ(MessageBox::shown()[0].caption, QStringLiteral("書き込み完了"));

    // A failing file: the error display, no completion message.
    MessageBox::clearShown();
    env->writeFile("bad.csv", cp932::encode(QStringLiteral("\"マガジンＩＤ\"\r\n\"12\"\r\n\"十二\"\r\n")));
    FileDialog::setNextFileName(env->cwd() + "/bad.csv");
    QUILMainForm->CSVFileOpen->trigger();
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].caption, "Quillet");
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Error);
    EXPECT_EQ(t().recordCount(), 3) << "the record before the bad line is stored";

    // A file of empty lines, as the export of no columns writes: nothing is
    // stored, and the message says so.
    MessageBox::clearShown();
    env->writeFile("none.csv", "\r\n\r\n\r\n\r\n");
    FileDialog::setNextFileName(env->cwd() + "/none.csv");
    QUILMainForm->CSVFileOpen->trigger();
    t().first();
    EXPECT_EQ(t().recordCount(), 3);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("計 0 行のデータを書きこみました。"));
}

TEST_F(CsvChooserTest, TheOpenDialogAlsoReadsTheOldProgramsParadoxTablesIntoTheirTables) {
    const QString magazines = env->cwd() + "/old/MMagaInfo.DB";
    const QString systems = env->cwd() + "/old/SYSTEMS.DB"; // told by its columns, not its name
    QDir().mkpath(env->cwd() + "/old");
    quil::test::writeParadox(magazines, quil::test::magazinePxColumns(), quil::test::sampleMagazineRecords());
    quil::test::writeParadox(systems, quil::test::systemPxColumns(), quil::test::sampleSystemRecords());
    FileDialog::setNextFileName(magazines);
    const int before = t().recordCount();
    QUILMainForm->CSVFileOpen->trigger();
    const int added = int(quil::test::sampleMagazineRecords().size());
    EXPECT_EQ(t().recordCount(), before + added);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("計 %1 行のデータを書きこみました。").arg(added));
    EXPECT_EQ(MessageBox::shown()[0].caption, QStringLiteral("書き込み完了"));

    MessageBox::clearShown();
    FileDialog::setNextFileName(systems);
    QUILMainForm->CSVFileOpen->trigger();
    EXPECT_EQ(t().recordCount(), before + added) << "systems do not go into the magazines";
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown()[0].text.contains(QStringLiteral("行の発行システムを追加しました")))
        << MessageBox::shown()[0].text.toStdString();
}
