// SPDX-License-Identifier: GPL-3.0-or-later
// The register commands of the main window and the table view, driven
// through the real windows.
#include "AppFixture.h"

#include "app/TDBGridForm.h"
#include "forms/DBCtrlGrid.h"
#include "forms/DataControls.h"
#include "forms/TQUILForm.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

using namespace quil;
using namespace quil::test;

namespace {

struct Rec {
    QString name;
    QString id;
    QString state;
};

class RegisterTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
        MessageBox::clearShown();
    }

    Table &t() { return *DataModule1->Table1; }

    // Stores the records in this order and stands on the first.
    void add(const QList<Rec> &records) {
        for (const Rec &r : records) {
            t().append();
            DataModule1->Table1MBNameSF->setAsString(r.name);
            DataModule1->Table1MBIDIF->setAsString(r.id);
            DataModule1->Table1DeleteStateSF->setAsString(r.state);
            t().post();
        }
        t().first();
    }

    QString current() { return DataModule1->Table1MBNameSF->asString(); }

    QStringList names() {
        QStringList out;
        for (int i = 0; i < t().recordCount(); ++i)
            out << t().recordAt(i)[1].toString();
        return out;
    }
    QStringList states() {
        QStringList out;
        for (int i = 0; i < t().recordCount(); ++i)
            out << t().recordAt(i)[12].toString();
        return out;
    }

    void search(const QString &text, bool byName, bool partial) {
        TQUILMainForm *m = QUILMainForm;
        QTest::mouseClick(byName ? m->FindSpeedButton1 : m->FindSpeedButton2, Qt::LeftButton);
        m->FindOptionCB1->setChecked(partial);
        m->FindEdit1->setText(text);
        QTest::mouseClick(m->BitFindBtn1, Qt::LeftButton);
    }

    // The messages shown since the last call, as "caption|text".
    QStringList messages() {
        QStringList out;
        for (const ShownMessage &s : MessageBox::shown())
            out << s.caption + u'|' + s.text;
        MessageBox::clearShown();
        return out;
    }

    const QString notFound = QStringLiteral("検索エラー|見つかりませんでした");
};

} // namespace

TEST_F(RegisterTest, WholeValueSearchIgnoresCaseButNeverMatchesPartOfAName) {
    add({{"abcd", "1", ""}, {"ABC", "2", ""}, {"xyz", "3", ""}});
    t().last();
    search("abc", true, false);
    EXPECT_EQ(current(), "ABC");
    EXPECT_TRUE(messages().isEmpty());
    search("bcd", true, false);
    EXPECT_EQ(messages(), QStringList{notFound});
    EXPECT_EQ(current(), "ABC") << "not found leaves the cursor";
    const ShownMessage box = [&] {
        search("none", true, false);
        return MessageBox::shown().value(0);
    }();
    EXPECT_EQ(box.icon, MsgIcon::Exclamation);
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
}

TEST_F(RegisterTest, PartialSearchStepsThroughMatchesAndStaysOnTheLast) {
    add({{"xabcx", "1", ""}, {"ABC", "2", ""}, {"abc", "3", ""}, {"", "4", ""}, {"newsabc", "5", ""},
         {"その他", "6", ""}, {"ア", "7", ""}, {"Aだ", "8", ""}});
    search("abc", true, true); // the current record itself is never tested
    EXPECT_EQ(current(), "abc");
    QTest::mouseClick(QUILMainForm->BitFindBtn1, Qt::LeftButton);
    EXPECT_EQ(current(), "newsabc");
    EXPECT_TRUE(messages().isEmpty());
    QTest::mouseClick(QUILMainForm->BitFindBtn1, Qt::LeftButton);
    EXPECT_EQ(messages(), QStringList{notFound});
    EXPECT_EQ(current(), "newsabc");
    EXPECT_EQ(QUILForm->EditMBName->text(), "newsabc");
    // Double-byte text matches whole characters only: "ア" is 83 41 in
    // Shift_JIS, and its second byte is no "A".
    t().first();
    search("の他", true, true);
    EXPECT_EQ(current(), "その他");
    search("A", true, true);
    EXPECT_EQ(current(), "Aだ");
    // Empty text walks to the end, reports, and returns.
    t().first();
    t().next();
    search("", true, true);
    EXPECT_EQ(messages(), QStringList{notFound});
    EXPECT_EQ(current(), "ABC");
}

TEST_F(RegisterTest, IdSearchConvertsTheTextAndReportsBadNumbersAsErrors) {
    add({{"one", "5", ""}, {"two", "123", ""}, {"three", "123", ""}});
    t().last();
    search("00123", false, true); // the partial option has no effect on IDs
    EXPECT_EQ(current(), "two");
    search("999", false, false);
    EXPECT_EQ(messages(), QStringList{notFound});
    EXPECT_EQ(current(), "two");
    search("12x", false, false);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].caption, "Quillet");
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Error);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("'12x' は項目 'マガジンＩＤ' に適した整数値ではありません."));
    EXPECT_EQ(current(), "two");
}

TEST_F(RegisterTest, EnterInTheSearchFieldSearchesLikeTheButton) {
    add({{"alpha", "1", ""}, {"beta", "2", ""}});
    QTest::mouseClick(QUILMainForm->FindSpeedButton1, Qt::LeftButton);
    QUILMainForm->FindEdit1->setText("BETA");
    ASSERT_TRUE(activate(QUILMainForm));
    QUILMainForm->FindEdit1->setFocus();
    QTest::keyClick(QUILMainForm->FindEdit1, Qt::Key_A); // other keys only type
    EXPECT_EQ(current(), "alpha");
    QUILMainForm->FindEdit1->setText("BETA");
    QTest::keyClick(QUILMainForm->FindEdit1, Qt::Key_Return);
    EXPECT_EQ(current(), "beta");
    t().first();
    QTest::keyClick(QUILMainForm->FindEdit1, Qt::Key_Enter);
    EXPECT_EQ(current(), "beta");
}

TEST_F(RegisterTest, StateSearchNeverTestsTheCurrentRecordNorWraps) {
    add({{"A", "1", state::Cancelled}, {"B", "2", state::CancelCandidate}, {"C", "3", state::Cancelled},
         {"D", "4", state::Subscribed}});
    QTest::mouseClick(QUILMainForm->StateSButton2, Qt::LeftButton);
    QTest::mouseClick(QUILMainForm->StateFindBitBtn, Qt::LeftButton);
    EXPECT_EQ(current(), "C");
    QTest::mouseClick(QUILMainForm->StateFindBitBtn, Qt::LeftButton);
    EXPECT_EQ(messages(), QStringList{notFound});
    EXPECT_EQ(current(), "C") << "stays on the record in state 解除 with nothing after it";
    QTest::mouseClick(QUILMainForm->StateSButton1, Qt::LeftButton);
    t().first();
    QTest::mouseClick(QUILMainForm->StateFindBitBtn, Qt::LeftButton);
    EXPECT_EQ(current(), "B");
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(RegisterTest, SearchStoresWhatWasTypedIntoTheRecordBeforeMoving) {
    add({{"A", "1", ""}, {"B", "2", state::CancelCandidate}});
    QUILMainForm->ShowDatabaseAction->trigger();
    ASSERT_TRUE(activate(QUILForm));
    QUILForm->EditMBName->setFocus();
    QUILForm->EditMBName->selectAll();
    QTest::keyClicks(QUILForm->EditMBName, "A2");
    QTest::mouseClick(QUILMainForm->StateFindBitBtn, Qt::LeftButton);
    EXPECT_EQ(current(), "B");
    EXPECT_EQ(QUILForm->EditMBName->text(), "B") << "the record form follows the cursor";
    EXPECT_EQ(names(), (QStringList{"A2", "B"}));
}

TEST_F(RegisterTest, StateChangesRunFromTheCurrentRecordAndReturnToIt) {
    add({{"A", "1", state::Subscribed}, {"B", "2", state::Subscribed}, {"C", "3", state::Subscribed}});
    t().next();
    QUILMainForm->AllToCancelTarget->trigger();
    EXPECT_EQ(states(), (QStringList{state::Subscribed, state::CancelCandidate, state::CancelCandidate}));
    EXPECT_EQ(current(), "B");
    EXPECT_EQ(t().state(), DataSetState::Edit) << "the record is held in editing again";
    EXPECT_EQ(QUILForm->DBRadioGroup1->itemIndex(), 2) << "the record form shows the new state";

    DataModule1->Table1DeleteStateSF->setAsString(state::NotSubscribed);
    t().first();
    t().edit();
    DataModule1->Table1DeleteStateSF->clear();
    QUILMainForm->AllToReading->trigger();
    EXPECT_EQ(states(), (QStringList{state::Subscribed, state::Subscribed, state::Subscribed}));
    EXPECT_EQ(current(), "A");
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(RegisterTest, DeletingCancelledRecordsRunsTheNoticeOncePerRecord) {
    add({{"A", "1", state::Cancelled}, {"B", "2", state::Cancelled}, {"C", "3", state::Subscribed},
         {"D", "4", state::Cancelled}});
    QStringList notices;
    DataModule1->writeCancelNotice = [&] { notices << current(); };
    t().next();
    t().next(); // on C, which stays
    QUILMainForm->DeleteStateCancel->trigger();
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const ShownMessage ask = MessageBox::shown()[0];
    EXPECT_EQ(ask.text, QStringLiteral("本当に削除してよろしいですか？　この操作は、取り消しが出来ません"));
    EXPECT_EQ(ask.caption, QStringLiteral("「削除」の項目のデータベースより削除"));
    EXPECT_EQ(ask.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(ask.icon, MsgIcon::Exclamation);
    EXPECT_EQ(names(), QStringList{"C"});
    EXPECT_EQ(notices, (QStringList{"A", "B", "D"}));
    EXPECT_EQ(current(), "C");
    DataModule1->writeCancelNotice = nullptr;
}

TEST_F(RegisterTest, WhenTheCurrentRecordWentTheWindowsShowTheFirst) {
    add({{"A", "1", state::Cancelled}, {"B", "2", state::Subscribed}, {"C", "3", state::Subscribed}});
    t().edit();
    DataModule1->Table1PublishingSF->setAsString("Pubzine");
    t().next();
    DataModule1->Table1PublishingSF->setAsString("melma");
    t().next();
    DataModule1->Table1PublishingSF->setAsString("Pubzine");
    t().first();
    ASSERT_EQ(QUILForm->RadioGroupPublishing->itemIndex(), 1);
    QUILMainForm->DeleteStateCancel->trigger();
    EXPECT_EQ(names(), (QStringList{"B", "C"}));
    EXPECT_EQ(current(), "B");
    // The record form heard of the record once the walk was over.
    EXPECT_EQ(QUILForm->EditMBName->text(), "B");
    EXPECT_EQ(QUILForm->RadioGroupPublishing->itemIndex(), 2);
    EXPECT_EQ(t().state(), DataSetState::Edit);
}

TEST_F(RegisterTest, ANoticeErrorStopsTheDeletionAtThatRecord) {
    add({{"A", "1", state::Cancelled}, {"B", "2", state::Cancelled}, {"C", "3", state::Cancelled},
         {"D", "4", state::Subscribed}});
    t().last();
    DataModule1->writeCancelNotice = [&] {
        if (current() == "B")
            throw Error(QStringLiteral("ファイル CMag2.txt を開けません"));
    };
    QUILMainForm->DeleteStateCancel->trigger();
    EXPECT_EQ(names(), (QStringList{"B", "C", "D"}));
    EXPECT_EQ(current(), "B") << "the cursor is not returned";
    ASSERT_EQ(MessageBox::shown().size(), 2);
    EXPECT_EQ(MessageBox::shown()[1].caption, "Quillet");
    EXPECT_EQ(MessageBox::shown()[1].text, QStringLiteral("ファイル CMag2.txt を開けません."));
    DataModule1->writeCancelNotice = nullptr;
    // What was deleted is deleted for good: the table reads the same from its file.
    restart();
    QStringList after;
    for (int i = 0; i < DataModule1->Table1->recordCount(); ++i)
        after << DataModule1->Table1->recordAt(i)[1].toString();
    EXPECT_EQ(after, (QStringList{"B", "C", "D"}));
}

TEST_F(RegisterTest, CancellingEitherConfirmationChangesNothing) {
    add({{"A", "1", state::Cancelled}, {"B", "2", state::Subscribed}});
    t().next();
    int notices = 0;
    DataModule1->writeCancelNotice = [&] { ++notices; };
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    QUILMainForm->DeleteStateCancel->trigger();
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    QUILMainForm->Del1->trigger();
    EXPECT_EQ(names(), (QStringList{"A", "B"}));
    EXPECT_EQ(current(), "B");
    EXPECT_EQ(notices, 0);
    EXPECT_FALSE(t().exclusive());
    ASSERT_EQ(MessageBox::shown().size(), 2);
    EXPECT_EQ(MessageBox::shown()[1].text, QStringLiteral("　この操作は、取り消しできません。\nそれでも、実行しますか？"));
    EXPECT_EQ(MessageBox::shown()[1].caption, QStringLiteral("データベース項目の全削除"));
    EXPECT_EQ(MessageBox::shown()[1].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(MessageBox::shown()[1].icon, MsgIcon::Exclamation);
    DataModule1->writeCancelNotice = nullptr;
}

TEST_F(RegisterTest, EmptyingWritesNoNoticeAndLeavesTheDeleteButtonForItsNextClick) {
    QList<Rec> ten;
    for (int i = 0; i < 10; ++i)
        ten << Rec{QStringLiteral("M%1").arg(i), QString::number(i), state::Cancelled};
    add(ten);
    int notices = 0;
    DataModule1->writeCancelNotice = [&] { ++notices; };
    ASSERT_TRUE(activate(QUILMainForm));
    QTest::keyClick(QUILMainForm, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(t().recordCount(), 0);
    EXPECT_TRUE(t().exclusive());
    EXPECT_EQ(notices, 0);
    EXPECT_TRUE(QUILMainForm->BitDeleteBtn->isEnabled());
    QTest::mouseClick(QUILMainForm->BitDeleteBtn, Qt::LeftButton);
    EXPECT_FALSE(QUILMainForm->BitDeleteBtn->isEnabled());
    DataModule1->writeCancelNotice = nullptr;
    // The empty register takes new records at once.
    QUILMainForm->ShowDatabaseAction->trigger();
    ASSERT_TRUE(activate(QUILForm));
    QUILForm->EditMBName->setFocus();
    QTest::keyClicks(QUILForm->EditMBName, "new");
    t().post();
    EXPECT_EQ(names(), QStringList{"new"});
}

TEST_F(RegisterTest, TableViewFitsWholeRowsBetweenOneAndAHundred) {
    QUILMainForm->ShowTabelAction->trigger();
    TDBGridForm *view = DBGridForm;
    const int header = view->DBCtrlGrid1->geometry().top();
    ASSERT_EQ(header, 25);
    const std::pair<int, int> cases[] = {{350, 10}, {369, 10}, {20, 1}, {34, 1}, {70, 2}, {5000, 100}};
    for (const auto &[height, rows] : cases) {
        view->resize(view->width(), header + height);
        EXPECT_EQ(view->DBCtrlGrid1->height(), height);
        EXPECT_EQ(view->DBCtrlGrid1->rowCount(), rows) << height;
        EXPECT_EQ(view->DBCtrlGrid1->panelHeight(), 35);
    }
}

TEST_F(RegisterTest, TableViewRowsFollowTheCursorBothWays) {
    QList<Rec> many;
    for (int i = 0; i < 25; ++i)
        many << Rec{QStringLiteral("M%1").arg(i), QString::number(100 + i), state::Subscribed};
    add(many);
    QUILMainForm->ShowTabelAction->trigger();
    TDBGridForm *view = DBGridForm;
    quil::DBCtrlGrid *grid = view->DBCtrlGrid1;
    ASSERT_EQ(grid->rowCount(), 10);
    // The panel's controls sit where the header says.
    EXPECT_EQ(view->Label6->geometry().left(), 8);
    EXPECT_EQ(view->Label6->text(), QStringLiteral("○"));
    EXPECT_EQ(view->DBTextPublishing->geometry().left(), 40);
    EXPECT_EQ(view->DBEditMBName->geometry(), QRect(152, 7, 225, 21));
    EXPECT_EQ(view->DBEditMBID->geometry().left(), 392);
    EXPECT_EQ(view->DBEditRegAddress->geometry().left(), 464);
    EXPECT_EQ(view->DBTextDeleteState->geometry().left(), 616);
    EXPECT_EQ(grid->panelWidth(), 679);

    // A move elsewhere moves the panel, scrolling only as far as needed.
    t().moveBy(14);
    EXPECT_EQ(grid->topPosition(), 5);
    EXPECT_EQ(grid->activeRow(), 9);
    EXPECT_EQ(view->DBEditMBName->text(), "M14");
    EXPECT_EQ(view->DBTextDeleteState->text(), state::Subscribed);
    t().first();
    EXPECT_EQ(grid->topPosition(), 0);
    EXPECT_EQ(grid->activeRow(), 0);

    // A click on a row moves the shared cursor; the record form follows.
    QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(300, 3 * 35 + 17));
    EXPECT_EQ(current(), "M3");
    EXPECT_EQ(QUILForm->EditMBName->text(), "M3");
    EXPECT_EQ(grid->activeRow(), 3);
    // Keys step and page through the register.
    ASSERT_TRUE(activate(view));
    view->DBEditMBName->setFocus();
    QTest::keyClick(view->DBEditMBName, Qt::Key_Down);
    EXPECT_EQ(current(), "M4");
    QTest::keyClick(view->DBEditMBName, Qt::Key_PageDown);
    EXPECT_EQ(current(), "M14");
    QTest::keyClick(view->DBEditMBName, Qt::Key_PageDown);
    QTest::keyClick(view->DBEditMBName, Qt::Key_PageDown);
    EXPECT_EQ(current(), "M24");
    EXPECT_EQ(grid->topPosition(), 15);
    QTest::keyClick(view->DBEditMBName, Qt::Key_Up);
    EXPECT_EQ(current(), "M23");
    // The scroll bar is the cursor too.
    grid->scrollBar()->setValue(2);
    EXPECT_EQ(current(), "M2");
    EXPECT_EQ(grid->scrollBar()->maximum(), 24);
}

TEST_F(RegisterTest, TypingInARowAndMovingToAnotherStoresIt) {
    add({{"first", "1", state::Subscribed}, {"second", "2", state::Cancelled}});
    QUILMainForm->ShowTabelAction->trigger();
    TDBGridForm *view = DBGridForm;
    ASSERT_TRUE(activate(view));
    view->DBEditMBName->setFocus();
    view->DBEditMBName->selectAll();
    QTest::keyClicks(view->DBEditMBName, "renamed");
    QTest::keyClick(view->DBEditMBID, Qt::Key_Tab); // focus stays in the row
    QTest::mouseClick(view->DBCtrlGrid1, Qt::LeftButton, {}, QPoint(300, 35 + 17));
    EXPECT_EQ(current(), "second");
    EXPECT_EQ(names(), (QStringList{"renamed", "second"}));
    // Publishing and state are shown, never typed into; nothing adds or deletes rows.
    EXPECT_FALSE(qobject_cast<QLineEdit *>(view->DBTextPublishing));
    EXPECT_FALSE(qobject_cast<QLineEdit *>(view->DBTextDeleteState));
    QTest::keyClick(view->DBEditMBName, Qt::Key_Insert);
    QTest::keyClick(view->DBEditMBName, Qt::Key_Delete, Qt::ControlModifier);
    QTest::keyClick(view->DBEditMBName, Qt::Key_Down);
    EXPECT_EQ(t().recordCount(), 2);
    EXPECT_NE(t().state(), DataSetState::Insert);
}

TEST_F(RegisterTest, DoubleClickOnTheMarkShowsTheRecordFormOnThatRow) {
    add({{"A", "1", ""}, {"B", "2", ""}, {"C", "3", ""}});
    QUILMainForm->ShowTabelAction->trigger();
    TDBGridForm *view = DBGridForm;
    ASSERT_FALSE(QUILForm->isVisible());
    // The first click moves the row panel under the pointer, the second opens.
    const QPoint mark(18, 2 * 35 + 17);
    QTest::mouseClick(view->DBCtrlGrid1, Qt::LeftButton, {}, mark);
    ASSERT_EQ(view->DBCtrlGrid1->activeRow(), 2);
    QTest::mouseDClick(view->Label6, Qt::LeftButton);
    EXPECT_TRUE(QUILForm->isVisible());
    EXPECT_EQ(QUILForm->EditMBName->text(), "C");
    // Again while the form is visible: nothing changes.
    const QPoint where = QUILForm->pos();
    QTest::mouseDClick(view->Label6, Qt::LeftButton);
    EXPECT_TRUE(QUILForm->isVisible());
    EXPECT_EQ(QUILForm->pos(), where);
}

TEST_F(RegisterTest, ShiftDelInATextBoxIsTheMenuCommandNotCut) {
    add({Rec{QStringLiteral("A"), QStringLiteral("1"), state::Subscribed}});
    auto confirmations = [] {
        int n = 0;
        for (const ShownMessage &m : MessageBox::shown())
            n += m.caption == QStringLiteral("データベース項目の全削除");
        return n;
    };
    // The search field: the confirmation asks, and Cancel keeps the text and the record.
    ASSERT_TRUE(activate(QUILMainForm));
    QUILMainForm->FindEdit1->setFocus();
    QTest::keyClicks(QUILMainForm->FindEdit1, "abc");
    QUILMainForm->FindEdit1->selectAll();
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    QTest::keyClick(QUILMainForm->FindEdit1, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(confirmations(), 1);
    EXPECT_EQ(QUILMainForm->FindEdit1->text(), "abc") << "nothing was cut";
    EXPECT_EQ(t().recordCount(), 1);

    // The record form's name field, another window of the program.
    QUILMainForm->ShowDatabaseAction->trigger();
    ASSERT_TRUE(activate(QUILForm));
    QUILForm->EditMBName->setFocus();
    QUILForm->EditMBName->selectAll();
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    QTest::keyClick(QUILForm->EditMBName, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(confirmations(), 2);
    EXPECT_EQ(QUILForm->EditMBName->text(), "A");
    EXPECT_EQ(t().recordCount(), 1);
}
