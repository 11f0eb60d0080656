// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormsTestSupport.h"

#include "platform/Opener.h"
#include "store/Columns.h"
#include "text/Cp932.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

using namespace quil;
using namespace quil::test;

namespace {

class RecordFormTest : public AppTest {};

QString fieldText(const QString &column) { return DataModule1->Table1->fieldByName(column).asString(); }

} // namespace

TEST_F(RecordFormTest, WindowHasItsFixedFrameControlsAndTabOrder) {
    startApp();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("データベースフォーム"));
    EXPECT_EQ(form->size(), QSize(381, 453));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->font().pixelSize(), 12);
    EXPECT_FALSE(form->isVisible()); // created hidden; the main window shows it

    // Every control lies inside the client area, and no two fields overlap.
    const QStringList fields = {"EditMBName", "EditMBID", "EditMBType", "EditMBCycle", "EditWeb",
                                "EditPublisher", "DBComboBoxRegAddress", "EditRegTime", "EditIPAddress",
                                "DBRadioGroupChargeOrFree", "DBMemoExplanation", "RadioGroupPublishing",
                                "BitClipCopyBtn", "BitJapmBtn", "BitMailBtn", "DBRadioGroup1", "DBNavigator",
                                "BitBtn1"};
    QList<QRect> rects;
    for (const QString &name : fields) {
        QWidget *w = form->findChild<QWidget *>(name);
        ASSERT_NE(w, nullptr) << name.toStdString();
        QRect r(w->mapTo(form, QPoint(0, 0)), w->size());
        EXPECT_TRUE(form->rect().contains(r)) << name.toStdString();
        for (const QRect &o : rects)
            EXPECT_FALSE(o.intersects(r)) << name.toStdString();
        rects << r;
    }
    EXPECT_EQ(form->findChild<QPushButton *>("BitBtn1")->text(), QStringLiteral("新規レコード"));
    EXPECT_EQ(form->RadioGroupPublishing->items(),
              QStringList({"まぐまぐ", "Pubzine", "melma", "その他"}));
    EXPECT_EQ(form->DBRadioGroup1->title(), QStringLiteral("状　態"));
    EXPECT_EQ(form->DBLookupPublishing->parentWidget(), form->RadioGroupPublishing);
    EXPECT_EQ(form->DBLookupPublishing->maxVisibleItems(), 10);
    // The publisher's label sits above its field.
    EXPECT_LT(form->Label6->geometry().bottom(), form->EditPublisher->geometry().top());
    EXPECT_EQ(form->Label6->text(), QStringLiteral("発行者メールアドレス"));

    // Tab order of the field area, by pressing Tab.
    showActive();
    form->EditMBName->setFocus();
    QList<QWidget *> expected{form->EditMBID, form->EditMBType, form->EditMBCycle, form->EditWeb,
                              form->EditPublisher, form->DBComboBoxRegAddress, form->EditRegTime,
                              form->EditIPAddress};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    form->DBMemoExplanation->setFocus();
    QList<QWidget *> later;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        later << QApplication::focusWidget();
    }
    auto pos = [&](QWidget *w) { return later.indexOf(w); };
    EXPECT_GE(pos(form->DBLookupPublishing), 0);
    EXPECT_LT(pos(form->DBLookupPublishing), pos(form->BitClipCopyBtn));
    EXPECT_LT(pos(form->BitClipCopyBtn), pos(form->BitJapmBtn));
    EXPECT_LT(pos(form->BitJapmBtn), pos(form->BitMailBtn));
}

TEST_F(RecordFormTest, EmptyTableShowsBlankNewRecordAndMovingAwayDiscardsIt) {
    startApp();
    EXPECT_EQ(t1->state(), DataSetState::Insert);
    EXPECT_EQ(t2->state(), DataSetState::Edit); // the built-in rows: first row in editing
    EXPECT_TRUE(form->EditMBName->text().isEmpty());
    EXPECT_FALSE(form->EditMBName->isReadOnly());
    EXPECT_EQ(form->DBRadioGroup1->itemIndex(), -1);
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), -1);
    EXPECT_TRUE(form->DBLookupPublishing->text().isEmpty());
    click(DBNavigator::First);
    EXPECT_EQ(t1->recordCount(), 0);
}

TEST_F(RecordFormTest, TypedTextIsStoredByNavigatorMovesAndPost) {
    startApp();
    typeText(form->EditMBName, QStringLiteral("週刊メルマガ"));
    typeText(form->EditMBID, "123");
    typeText(form->EditWeb, "http://example.jp/");
    click(DBNavigator::Post);
    ASSERT_EQ(t1->recordCount(), 1);
    EXPECT_EQ(fieldText(col::MBName), QStringLiteral("週刊メルマガ"));
    EXPECT_EQ(DataModule1->Table1MBIDIF->asInteger(), 123);
    EXPECT_EQ(t1->state(), DataSetState::Browse);

    // Typing into a browsing record puts it into editing and keeps the text.
    typeText(form->EditMBType, QStringLiteral("テキスト"));
    EXPECT_EQ(t1->state(), DataSetState::Edit);
    EXPECT_EQ(form->EditMBType->text(), QStringLiteral("テキスト"));
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton); // new record: the edit is stored first
    EXPECT_EQ(t1->state(), DataSetState::Insert);
    EXPECT_TRUE(form->EditMBType->text().isEmpty());
    typeText(form->EditMBName, "second");
    click(DBNavigator::First); // the move stores the new record
    ASSERT_EQ(t1->recordCount(), 2);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("週刊メルマガ"));
    EXPECT_EQ(form->EditMBType->text(), QStringLiteral("テキスト"));

    // A change typed and then moved away from is stored.
    replaceText(form->EditMBName, "renamed");
    click(DBNavigator::Next);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("second"));
    click(DBNavigator::Prior);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("renamed"));
    t1->close();
    t1->open();
    EXPECT_EQ(fieldText(col::MBName), QStringLiteral("renamed"));
}

TEST_F(RecordFormTest, EscapeAndCancelDropPendingText) {
    startApp();
    addRecord("kept");
    t1->first();
    typeText(form->EditMBName, "xx");
    QTest::keyClick(form->EditMBName, Qt::Key_Escape);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("kept"));
    typeText(form->EditMBCycle, QStringLiteral("毎週"));
    click(DBNavigator::Cancel);
    EXPECT_TRUE(form->EditMBCycle->text().isEmpty());
    click(DBNavigator::Last);
    EXPECT_TRUE(fieldText(col::MBCycle).isEmpty());
}

TEST_F(RecordFormTest, IdFieldFiltersKeysAndReportsConversionErrors) {
    startApp();
    addRecord("one");
    addRecord("two");
    t1->first();
    typeText(form->EditMBID, "4x2");
    EXPECT_EQ(form->EditMBID->text(), QStringLiteral("42"));

    // What the keys may not type, a paste and an input method may not bring.
    replaceText(form->EditMBID, "");
    QGuiApplication::clipboard()->setText("12a");
    QTest::keyClick(form->EditMBID, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form->EditMBID->text(), QString());
    QInputMethodEvent preedit(QStringLiteral("つうしん"), {});
    QApplication::sendEvent(form->EditMBID, &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("通信"));
    QApplication::sendEvent(form->EditMBID, &commit);
    EXPECT_EQ(form->EditMBID->text(), QString());
    EXPECT_TRUE(form->EditMBID->inputMethodHints() & Qt::ImhDigitsOnly);
    QGuiApplication::clipboard()->setText("99999999999");
    QTest::keyClick(form->EditMBID, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(form->EditMBID->text(), QStringLiteral("99999999999"));

    // A number the column cannot hold is refused when the record is stored:
    // the move stops, the error is shown once and the text stays.
    click(DBNavigator::Next);
    ASSERT_EQ(errorsShown().size(), 1);
    EXPECT_TRUE(errorsShown()[0].text.contains(QStringLiteral("マガジンＩＤ")));
    EXPECT_EQ(t1->recNo(), 1);
    EXPECT_EQ(form->EditMBID->text(), QStringLiteral("99999999999"));
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("one"));
    // A real box takes the focus from the field while it stands. That is no
    // leaving of the field, so the failure is not reported a second time.
    MessageBox::setTestMode(false);
    bool focusTaken = false;
    MessageBox::setBackend([&](const ShownMessage &) {
        if (!std::exchange(focusTaken, true)) {
            QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(form->EditMBID, &out);
        }
        return MsgAnswer::Ok;
    });
    click(DBNavigator::Post);
    MessageBox::setBackend(nullptr);
    MessageBox::setTestMode(true);
    EXPECT_EQ(errorsShown().size(), 2) << "one failure, one box";

    // Enter hands the text over too, with the same report.
    QTest::keyClick(form->EditMBID, Qt::Key_Return);
    EXPECT_EQ(errorsShown().size(), 3);

    replaceText(form->EditMBID, "12");
    click(DBNavigator::Next);
    EXPECT_EQ(errorsShown().size(), 3);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("two"));
    click(DBNavigator::First);
    EXPECT_EQ(DataModule1->Table1MBIDIF->asInteger(), 12);
}

TEST_F(RecordFormTest, FocusOutAndEnterWriteIntoTheRecord) {
    startApp();
    showActive();
    form->EditMBName->setFocus();
    typeText(form->EditMBName, "name");
    EXPECT_TRUE(fieldText(col::MBName).isEmpty()); // still pending
    QTest::keyClick(form->EditMBName, Qt::Key_Tab);
    EXPECT_EQ(fieldText(col::MBName), QStringLiteral("name"));

    typeText(form->EditMBCycle, QStringLiteral("日刊"));
    QTest::keyClick(form->EditMBCycle, Qt::Key_Return);
    EXPECT_EQ(fieldText(col::MBCycle), QStringLiteral("日刊"));
}

TEST_F(RecordFormTest, RegistrationTimeShowsDisplayFormAndTakesPlainForm) {
    startApp();
    addRecord("t");
    t1->edit();
    DataModule1->Table1RegTimeDTF->setAsDateTime(QDateTime(QDate(2003, 4, 5), QTime(6, 7, 8)));
    t1->post();
    EXPECT_EQ(form->EditRegTime->text(), QStringLiteral("2003/04/05 06:07:08"));
    showActive();
    form->EditRegTime->setFocus();
    EXPECT_EQ(form->EditRegTime->text(), QStringLiteral("2003/04/05 6:07:08"));
    replaceText(form->EditRegTime, "2004/1/2 3:04");
    form->EditMBName->setFocus();
    EXPECT_EQ(DataModule1->Table1RegTimeDTF->asDateTime(), QDateTime(QDate(2004, 1, 2), QTime(3, 4)));
    EXPECT_EQ(form->EditRegTime->text(), QStringLiteral("2004/01/02 03:04:00"));
}

TEST_F(RecordFormTest, TheEnterThatEndsAConversionStaysInTheNameField) {
    startApp();
    showActive();
    form->EditMBName->setFocus();
    auto compose = [&](const QString &preedit) {
        QInputMethodEvent e(preedit, {});
        QApplication::sendEvent(form->EditMBName, &e);
    };
    auto commit = [&](const QString &text) {
        QInputMethodEvent e;
        e.setCommitString(text);
        QApplication::sendEvent(form->EditMBName, &e);
    };
    // The press reaches the field while the conversion is open, as some
    // input methods pass it on after using it.
    compose(QStringLiteral("にほんご"));
    compose(QStringLiteral("日本語"));
    QTest::keyPress(form->EditMBName, Qt::Key_Return);
    commit(QStringLiteral("日本語"));
    QTest::keyRelease(form->EditMBName, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), form->EditMBName);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("日本語"));

    // The press taken by the input method: only the release reaches the field.
    compose(QStringLiteral("つうしん"));
    commit(QStringLiteral("通信"));
    QTest::keyRelease(form->EditMBName, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), form->EditMBName);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("日本語通信"));

    // A plain Enter after it still moves on.
    QTest::keyClick(form->EditMBName, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), form->EditMBID);
}

TEST_F(RecordFormTest, OneLineBoxesShowTheirValueFromItsFirstCharacter) {
    startApp();
    addRecord("t");
    t1->edit();
    DataModule1->Table1RegTimeDTF->setAsString(QStringLiteral("2023/04/05 12:34:56"));
    DataModule1->Table1WebSF->setAsString(QStringLiteral("http://www.example.jp/") + QString(60, u'x'));
    t1->post();
    addRecord("u");
    t1->first();
    form->show();
    for (DBEdit *e : {form->EditRegTime, form->EditWeb}) {
        EXPECT_EQ(e->cursorPosition(), 0) << e->objectName().toStdString();
        // What is drawn starts at the first character: its place is the box's left edge.
        EXPECT_LE(e->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(), 4) << e->objectName().toStdString();
    }
    // The whole date fits its box, as it did in the face the box was laid out for.
    const QFontMetrics fm(form->EditRegTime->font());
    EXPECT_LE(fm.horizontalAdvance(form->EditRegTime->text()), form->EditRegTime->contentsRect().width() - 4);
}

TEST_F(RecordFormTest, EnterInNameFieldMovesFocusToIdFieldOnly) {
    startApp();
    showActive();
    form->EditMBName->setFocus();
    QTest::keyClick(form->EditMBName, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), form->EditMBID);
    QTest::keyClick(form->EditMBID, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), form->EditMBID);
    form->EditMBName->setFocus();
    QTest::keyClick(form->EditMBName, Qt::Key_A);
    EXPECT_EQ(QApplication::focusWidget(), form->EditMBName);
}

TEST_F(RecordFormTest, PublishingRadioWritesBuiltInNamesAndOtherChangesNothing) {
    startApp();
    addRecord("r", QStringLiteral("どこか"));
    t1->first();
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), -1); // not a system: selection kept
    EXPECT_EQ(form->DBLookupPublishing->text(), QString()) << "a medium the list does not know shows empty";

    clickItem(form->RadioGroupPublishing->button(3));
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 3);
    EXPECT_EQ(fieldText(col::Publishing), QStringLiteral("どこか"));

    clickItem(form->RadioGroupPublishing->button(2));
    EXPECT_EQ(fieldText(col::Publishing), QStringLiteral("melma"));
    EXPECT_EQ(form->DBLookupPublishing->text(), QStringLiteral("melma"));
    click(DBNavigator::Post);
    clickItem(form->RadioGroupPublishing->button(0));
    EXPECT_EQ(t1->state(), DataSetState::Edit);
    EXPECT_EQ(form->DBLookupPublishing->text(), QStringLiteral("まぐまぐ"));
}

TEST_F(RecordFormTest, LookupChoiceMovesRadioByExactName) {
    startApp();
    addSystem("pubzine");
    addSystem(QStringLiteral("独自配信"));
    addRecord("r");
    QStringList list = form->DBLookupPublishing->listValues();
    EXPECT_EQ(list, QStringList({"まぐまぐ", "Pubzine", "melma", "独自システム", "メーリングリスト", "pubzine", "独自配信"}));

    chooseInPopup(form->DBLookupPublishing, "Pubzine");
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 1);
    EXPECT_EQ(fieldText(col::Publishing), QStringLiteral("Pubzine"));
    chooseInPopup(form->DBLookupPublishing, "pubzine");
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 3);
    EXPECT_EQ(fieldText(col::Publishing), QStringLiteral("pubzine"));
    EXPECT_EQ(form->publishingText(), QStringLiteral("pubzine"));
    chooseInPopup(form->DBLookupPublishing, QStringLiteral("まぐまぐ"));
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 0);
    EXPECT_EQ(fieldText(col::Publishing), QStringLiteral("まぐまぐ"));
    // Choosing never moved the shared cursor of the systems table.
    EXPECT_EQ(t2->recNo(), 7);
}

TEST_F(RecordFormTest, MovesSyncRadioFromTheLookedUpValue) {
    startApp();
    addSystem("Clickincome");
    addRecord("a", "melma");
    addRecord("b", QStringLiteral("無登録"));
    addRecord("c", "Clickincome");
    addRecord("d", "Pubzine");
    t1->first();
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 2);
    click(DBNavigator::Next);
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 2); // no such system: kept
    EXPECT_EQ(fieldText(col::Publishing), QStringLiteral("無登録"));
    // No such system: the lookup shows nothing, as other windows see nothing.
    EXPECT_EQ(form->DBLookupPublishing->text(), QString());
    EXPECT_EQ(form->publishingText(), QString());
    click(DBNavigator::Next);
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 3);
    EXPECT_EQ(fieldText(col::Publishing), QStringLiteral("Clickincome"));
    EXPECT_EQ(form->publishingText(), QStringLiteral("Clickincome"));
    click(DBNavigator::Next);
    EXPECT_EQ(form->RadioGroupPublishing->itemIndex(), 1);
    click(DBNavigator::First);
    // The sync never changed a service.
    QStringList stored;
    for (int i = 0; i < 4; ++i)
        stored << t1->recordAt(i)[0].toString();
    EXPECT_EQ(stored, QStringList({"melma", "無登録", "Clickincome", "Pubzine"}));
}

TEST_F(RecordFormTest, MailAndJumpHandOverOnlySafeAddresses) {
    startApp();
    typeText(form->EditPublisher, " pub lisher@example.jp ");
    QTest::mouseClick(form->BitMailBtn, Qt::LeftButton);
    ASSERT_EQ(Opener::opened().size(), 1);
    // Blanks around the address are dropped; those inside go as typed.
    EXPECT_EQ(Opener::opened()[0].address, QStringLiteral("mailto: pub lisher@example.jp"));
    replaceText(form->EditPublisher, "");
    QTest::mouseClick(form->BitMailBtn, Qt::LeftButton);
    ASSERT_EQ(Opener::opened().size(), 2);
    EXPECT_EQ(Opener::opened()[1].address, QStringLiteral("mailto:"));

    Opener::clearOpened();
    MessageBox::clearShown();
    for (const char *bad : {"file:///etc/passwd", "javascript:alert(1)", "/usr/bin/xterm", "C:\\Windows\\calc.exe"}) {
        replaceText(form->EditWeb, bad);
        QTest::mouseClick(form->BitJapmBtn, Qt::LeftButton);
    }
    EXPECT_TRUE(Opener::opened().isEmpty());
    ASSERT_EQ(MessageBox::shown().size(), 4);
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Exclamation);

    MessageBox::clearShown();
    replaceText(form->EditWeb, "");
    QTest::mouseClick(form->BitJapmBtn, Qt::LeftButton);
    EXPECT_TRUE(Opener::opened().isEmpty());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    typeText(form->EditWeb, "https://example.jp/mag?id=1");
    QTest::mouseClick(form->BitJapmBtn, Qt::LeftButton);
    ASSERT_EQ(Opener::opened().size(), 1);
    EXPECT_EQ(Opener::opened()[0].address, QStringLiteral("https://example.jp/mag?id=1"));
    // A page as a mail gives it: a blank after it, a "|" inside.
    replaceText(form->EditWeb, "http://www.example.jp/a|b ");
    QTest::mouseClick(form->BitJapmBtn, Qt::LeftButton);
    ASSERT_EQ(Opener::opened().size(), 2);
    EXPECT_EQ(Opener::opened()[1].address, QStringLiteral("http://www.example.jp/a|b"));
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(RecordFormTest, ClipboardCopyTakesUnpostedTypedAddress) {
    env->writeFile("MADDRESS.ini", "a@example.jp\r\n");
    startApp();
    typeText(form->DBComboBoxRegAddress, "typed@example.jp");
    QTest::mouseClick(form->BitClipCopyBtn, Qt::LeftButton);
    EXPECT_EQ(Clipboard::text(), QStringLiteral("typed@example.jp"));
    EXPECT_TRUE(fieldText(col::RegAddress).isEmpty());

    chooseInPopup(form->DBComboBoxRegAddress, "a@example.jp");
    QTest::mouseClick(form->BitClipCopyBtn, Qt::LeftButton);
    EXPECT_EQ(Clipboard::text(), QStringLiteral("a@example.jp"));
    click(DBNavigator::Post);
    EXPECT_EQ(fieldText(col::RegAddress), QStringLiteral("a@example.jp"));
}

TEST_F(RecordFormTest, AddressChoicesComeFromFileAndKeepTheShownText) {
    env->writeFile("MADDRESS.ini", "one@x\n\n two@x \r\nthree@x");
    startApp();
    EXPECT_TRUE(errorsShown().isEmpty());
    EXPECT_EQ(form->DBComboBoxRegAddress->items(), QStringList({"one@x", "", " two@x ", "three@x"}));
    typeText(form->DBComboBoxRegAddress, "mine@x");
    form->setAddressChoices({"new@x"});
    EXPECT_EQ(form->DBComboBoxRegAddress->currentText(), QStringLiteral("mine@x"));
    click(DBNavigator::Post);
    EXPECT_EQ(fieldText(col::RegAddress), QStringLiteral("mine@x"));
}

TEST_F(RecordFormTest, MissingAddressFileIsAnEmptyListWithoutAMessage) {
    createApplicationObjects();
    form = QUILForm;
    EXPECT_TRUE(errorsShown().isEmpty());
    EXPECT_EQ(form->DBComboBoxRegAddress->count(), 0);
    EXPECT_EQ(DataModule1->Table1->state(), DataSetState::Insert);
}

TEST_F(RecordFormTest, UnreadableAddressFileIsReportedAndFormStaysUsable) {
    // A directory in the file's place cannot be read, even by root.
    ASSERT_TRUE(QDir(env->cwd()).mkdir("MADDRESS.ini"));
    createApplicationObjects();
    form = QUILForm;
    t1 = DataModule1->Table1;
    t2 = MMagSysDataModule->Table2;
    auto errors = errorsShown();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].text.contains("MADDRESS.ini"));
    EXPECT_EQ(errors[0].caption, QStringLiteral("Quillet"));
    EXPECT_EQ(form->DBComboBoxRegAddress->count(), 0);
    EXPECT_EQ(t1->state(), DataSetState::Insert);
    typeText(form->EditMBName, "usable");
    click(DBNavigator::Post);
    EXPECT_EQ(t1->recordCount(), 1);
}

TEST_F(RecordFormTest, DescriptionIsCutToColumnWidthAndStoredWithCrLf) {
    startApp();
    typeText(form->DBMemoExplanation, QString(150, QChar(0x3042))); // 300 bytes
    click(DBNavigator::Post);
    EXPECT_EQ(cp932::byteLength(fieldText(col::Explanation)), 240);
    EXPECT_EQ(fieldText(col::Explanation), QString(120, QChar(0x3042)));
    EXPECT_EQ(form->DBMemoExplanation->toPlainText(), QString(120, QChar(0x3042)));

    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    typeText(form->DBMemoExplanation, "line1");
    QTest::keyClick(form->DBMemoExplanation, Qt::Key_Return);
    typeText(form->DBMemoExplanation, "line2");
    click(DBNavigator::Post);
    EXPECT_EQ(fieldText(col::Explanation), QStringLiteral("line1\r\nline2"));

    t1->edit();
    DataModule1->Table1ExplanationSF->setAsString("a\r\nb\rc");
    EXPECT_EQ(form->DBMemoExplanation->toPlainText(), QStringLiteral("a\nb\nc"));
}

TEST_F(RecordFormTest, StateRadioStoresCaptionAndShowsNoneForOtherValues) {
    startApp();
    clickItem(form->DBRadioGroup1->button(2));
    clickItem(form->DBRadioGroupChargeOrFree->button(1));
    click(DBNavigator::Post);
    EXPECT_EQ(fieldText(col::DeleteState), QStringLiteral("解除候補"));
    EXPECT_EQ(fieldText(col::ChargeOrFree), QStringLiteral("有料"));

    addRecord("odd");
    t1->edit();
    DataModule1->Table1DeleteStateSF->setAsString(QStringLiteral("保留"));
    EXPECT_EQ(form->DBRadioGroup1->itemIndex(), -1);
    EXPECT_EQ(form->DBRadioGroupChargeOrFree->itemIndex(), -1);
    click(DBNavigator::First);
    EXPECT_EQ(form->DBRadioGroup1->itemIndex(), 2);
    EXPECT_EQ(form->DBRadioGroupChargeOrFree->itemIndex(), 1);
}

TEST_F(RecordFormTest, NavigatorDeleteAsksFirst) {
    startApp();
    addRecord("a");
    addRecord("b");
    t1->first();
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    click(DBNavigator::Delete);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const ShownMessage &asked = MessageBox::shown()[0];
    EXPECT_EQ(asked.text, QStringLiteral("レコードを削除しますか?"));
    EXPECT_EQ(asked.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(asked.icon, MsgIcon::Question);
    EXPECT_EQ(t1->recordCount(), 2);

    MessageBox::setNextAnswer(MsgAnswer::Ok);
    click(DBNavigator::Delete);
    EXPECT_EQ(t1->recordCount(), 1);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("b"));
}

TEST_F(RecordFormTest, NavigatorButtonsFollowTableState) {
    startApp();
    DBNavigator *nav = form->DBNavigator;
    auto enabled = [nav](DBNavigator::Button b) { return nav->button(b)->isEnabled(); };
    EXPECT_FALSE(enabled(DBNavigator::Edit)); // the blank record is being inserted
    EXPECT_TRUE(enabled(DBNavigator::Post));
    EXPECT_TRUE(enabled(DBNavigator::Cancel));
    EXPECT_TRUE(enabled(DBNavigator::Insert));

    addRecord("a");
    addRecord("b");
    click(DBNavigator::First);
    EXPECT_FALSE(enabled(DBNavigator::First));
    EXPECT_FALSE(enabled(DBNavigator::Prior));
    EXPECT_TRUE(enabled(DBNavigator::Next));
    EXPECT_TRUE(enabled(DBNavigator::Delete));
    click(DBNavigator::Post);
    EXPECT_TRUE(enabled(DBNavigator::Edit));
    EXPECT_FALSE(enabled(DBNavigator::Post));
    click(DBNavigator::Last);
    EXPECT_TRUE(enabled(DBNavigator::Prior));
    click(DBNavigator::Next);
    EXPECT_FALSE(enabled(DBNavigator::Next));
    EXPECT_FALSE(enabled(DBNavigator::Last));

    for (int b = 0; b < DBNavigator::ButtonCount; ++b) {
        EXPECT_FALSE(nav->button(DBNavigator::Button(b))->toolTip().isEmpty());
        EXPECT_EQ(nav->button(DBNavigator::Button(b))->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(nav->button(DBNavigator::Post)->toolTip(), QStringLiteral("編集結果の登録"));

    // With the table closed nothing can be pressed and the fields take no text.
    t1->close();
    for (int b = 0; b < DBNavigator::ButtonCount; ++b)
        EXPECT_FALSE(nav->button(DBNavigator::Button(b))->isEnabled()) << b;
    EXPECT_TRUE(form->EditMBName->isReadOnly());
    typeText(form->EditMBName, "x");
    EXPECT_TRUE(form->EditMBName->text().isEmpty());
    EXPECT_TRUE(errorsShown().isEmpty());
}

TEST_F(RecordFormTest, RefreshStoresTheEditAndRereadsTheRecord) {
    startApp();
    addRecord("a");
    addRecord("b");
    t1->first();
    typeText(form->EditMBCycle, "weekly");
    click(DBNavigator::Refresh);
    EXPECT_EQ(t1->recNo(), 1);
    EXPECT_EQ(form->EditMBName->text(), QStringLiteral("a"));
    EXPECT_EQ(t1->recordAt(0)[4].toString(), QStringLiteral("weekly"));
}
