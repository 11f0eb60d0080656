// SPDX-License-Identifier: GPL-3.0-or-later
// Leaving newsletters through the real windows: the cancel page with the
// member-ID window, the page of cancel forms, the notices.
#include "AppFixture.h"

#include "autoinput/core/ListRegister.h"
#include "forms/DataControls.h"
#include "forms/TMIDCopyForm.h"
#include "forms/TQUILForm.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "store/ListInfo.h"
#include "text/Cp932.h"

#include <QAction>
#include <QFile>
#include <QPushButton>

using namespace quil;
using namespace quil::test;

namespace {

class CancelSupportTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
        MessageBox::clearShown();
        Opener::clearOpened();
    }

    Table &t() { return *DataModule1->Table1; }

    void addRecord(const QString &publishing, const QString &name, const QString &id, const QString &state) {
        t().append();
        DataModule1->Table1PublishingSF->setAsString(publishing);
        DataModule1->Table1MBNameSF->setAsString(name);
        DataModule1->Table1MBIDIF->setAsString(id);
        DataModule1->Table1RegAddressSF->setAsString(name + "@example.jp");
        DataModule1->Table1DeleteStateSF->setAsString(state);
        t().post();
    }

    void addMemberSystem(const QString &name, const QString &password) {
        Table &s = *MMagSysDataModule->Table2;
        s.append();
        MMagSysDataModule->Table2MMSysIDIF->setAsInteger(30);
        MMagSysDataModule->Table2MMSysNameSF->setAsString(name);
        MMagSysDataModule->Table2CancelUrlSF->setAsString("http://members.example/leave?m=");
        MMagSysDataModule->Table2MMIDBF->setAsBoolean(true);
        MMagSysDataModule->Table2MemberIDBF->setAsBoolean(true);
        MMagSysDataModule->Table2MemberIDSF->setAsString(name + "-id");
        MMagSysDataModule->Table2MemberPassSF->setAsString(password);
        MMagSysDataModule->Table2RegAddressSF->setAsString(name + "@members.example");
        s.post();
        s.first();
    }

    QString stateAt(int i) { return t().recordAt(i)[12].toString(); }
};

// Notes what was opened by the time the member-ID window appeared.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(QWidget *w) { w->installEventFilter(this); }
    int openedWhenShown = -1;

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Show && openedWhenShown < 0)
            openedWhenShown = int(Opener::opened().size());
        return false;
    }
};

} // namespace

TEST_F(CancelSupportTest, AMemberSystemShowsItsWindowThenOpensThePageThenMarksTheRecord) {
    addMemberSystem("会員制", "s3cret");
    addMemberSystem("別会員", "other");
    addRecord("会員制", "first", "42", state::Subscribed);
    addRecord("別会員", "second", "7", state::Subscribed);
    t().first();
    ShowWatcher watcher(MIDCopyForm);
    ASSERT_FALSE(MIDCopyForm->isVisible());
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    EXPECT_EQ(watcher.openedWhenShown, 0) << "the window comes before the page";
    ASSERT_EQ(Opener::opened().size(), 1);
    EXPECT_EQ(Opener::opened()[0].address, "http://members.example/leave?m=42");
    EXPECT_EQ(stateAt(0), state::Cancelled);
    EXPECT_EQ(Clipboard::text(), "first@example.jp");
    EXPECT_TRUE(MIDCopyForm->isVisible());
    EXPECT_TRUE(MIDCopyForm->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(MIDCopyForm->DBComboBoxMMagSys->currentText(), "会員制");
    EXPECT_EQ(MIDCopyForm->DBEditID->text(), "会員制-id");
    EXPECT_TRUE(MIDCopyForm->DBComboBoxMMagSys->isReadOnly());

    // Each button copies what its box shows.
    QTest::mouseClick(MIDCopyForm->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(Clipboard::text(), "s3cret");
    QTest::mouseClick(MIDCopyForm->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(Clipboard::text(), "会員制-id");
    QTest::mouseClick(MIDCopyForm->BitBtn3, Qt::LeftButton);
    EXPECT_EQ(Clipboard::text(), "会員制@members.example");

    // A second such system while the window is open: its values follow.
    t().next();
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    EXPECT_EQ(MIDCopyForm->DBEditPassword->text(), "other");
    EXPECT_EQ(MIDCopyForm->DBComboBoxMMagSys->currentText(), "別会員");
    EXPECT_EQ(stateAt(1), state::Cancelled);
    // An empty column gives an empty clipboard.
    MMagSysDataModule->Table2->edit();
    MMagSysDataModule->Table2MemberPassSF->clear();
    QTest::mouseClick(MIDCopyForm->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(Clipboard::text(), QString());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(CancelSupportTest, AnUnknownServiceIsReportedAndChangesNothing) {
    addRecord("Clickincome", "click", "5", state::Subscribed);
    t().first();
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].caption, "発行媒体エラー");
    EXPECT_TRUE(Opener::opened().isEmpty());
    EXPECT_EQ(stateAt(0), state::Subscribed);
    EXPECT_EQ(Clipboard::text(), "click@example.jp");
    EXPECT_FALSE(MIDCopyForm->isVisible());
}

TEST_F(CancelSupportTest, ThePageOfCancelFormsIsWrittenAndOpenedWithTheCursorKept) {
    addRecord("まぐまぐ", "a", "1", state::CancelCandidate);
    addRecord("Pubzine", "b", "2", state::Subscribed);
    t().last();
    QTest::mouseClick(QUILMainForm->BitCancelHTMLBtn, Qt::LeftButton);
    ASSERT_EQ(Opener::opened().size(), 1);
    EXPECT_TRUE(Opener::opened()[0].localFile);
    EXPECT_EQ(Opener::opened()[0].address, env->cwd() + "/Cancel.html");
    EXPECT_TRUE(env->readFile("Cancel.html").contains("name=\"magid\" value=\"0000000001\""));
    EXPECT_EQ(DataModule1->Table1MBNameSF->asString(), "b");
    EXPECT_EQ(stateAt(0), state::CancelCandidate) << "the states stay";

    // A page that cannot be written is reported and not opened.
    QFile::setPermissions(env->cwd() + "/Cancel.html", QFile::ReadOwner);
    Opener::clearOpened();
    QTest::mouseClick(QUILMainForm->BitCancelHTMLBtn, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].caption, "Quillet");
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("ファイル Cancel.html を作成できません."));
    EXPECT_TRUE(Opener::opened().isEmpty());
    EXPECT_EQ(DataModule1->Table1MBNameSF->asString(), "b");
}

TEST_F(CancelSupportTest, DeletingWritesANoticeOnlyWhileTheOptionIsOn) {
    addRecord("まぐまぐ", "kept", "1", state::Subscribed);
    addRecord("Pubzine", "gone", "2", state::Subscribed);
    t().last();
    // Off: nothing written, no box.
    QUILMainForm->CancelNoticeMaker->trigger();
    ASSERT_FALSE(QUILMainForm->CancelNoticeMaker->isChecked());
    QTest::mouseClick(QUILMainForm->BitDeleteBtn, Qt::LeftButton);
    EXPECT_EQ(t().recordCount(), 1);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_FALSE(QFile::exists(env->cwd() + "/CPubzine.txt"));

    // On again: the box, then the entry; a read-only file keeps the record.
    QUILMainForm->CancelNoticeMaker->trigger();
    env->writeFile("CMag2.txt", "*** まぐまぐ解除通知書 ***\r\n\r\n");
    QFile::setPermissions(env->cwd() + "/CMag2.txt", QFile::ReadOwner);
    t().first();
    QTest::mouseClick(QUILMainForm->BitDeleteBtn, Qt::LeftButton);
    EXPECT_EQ(t().recordCount(), 1) << "the record stays";
    ASSERT_EQ(MessageBox::shown().size(), 2);
    EXPECT_EQ(MessageBox::shown()[0].caption, "発行媒体確認");
    EXPECT_EQ(MessageBox::shown()[0].text, "発行媒体はまぐまぐです");
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Information);
    EXPECT_EQ(MessageBox::shown()[1].caption, "Quillet");
    EXPECT_EQ(MessageBox::shown()[1].text, QStringLiteral("ファイル CMag2.txt を作成できません."));

    QFile::setPermissions(env->cwd() + "/CMag2.txt", QFile::ReadOwner | QFile::WriteOwner);
    QTest::mouseClick(QUILMainForm->BitDeleteBtn, Qt::LeftButton);
    EXPECT_EQ(t().recordCount(), 0);
    const QByteArray notice = env->readFile("CMag2.txt");
    EXPECT_TRUE(notice.contains(cp932::encode("●登録メールマガジン:\r\nkept\r\n")));
    EXPECT_TRUE(notice.endsWith(cp932::encode("-----  以上です  -----\r\n\r\n")));
}

TEST_F(CancelSupportTest, ThePageNeverStoresTheBlankRecordOfTheFormsNewRecordButton) {
    // On an empty register, and after "新規レコード" in the record form.
    QTest::mouseClick(QUILMainForm->BitCancelHTMLBtn, Qt::LeftButton);
    EXPECT_EQ(t().recordCount(), 0);
    addRecord("まぐまぐ", "a", "1", state::CancelCandidate);
    QUILForm->show();
    QTest::mouseClick(QUILForm->BitBtn1, Qt::LeftButton);
    ASSERT_EQ(t().state(), DataSetState::Insert);
    QTest::mouseClick(QUILMainForm->BitCancelHTMLBtn, Qt::LeftButton);
    EXPECT_EQ(t().recordCount(), 1) << "no record with every column empty";
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    QUILForm->hide();
}

TEST_F(CancelSupportTest, EachNoticeBoxStandsOverTheRecordItSpeaksOf) {
    addRecord("melma", "first", "1", state::Cancelled);
    addRecord("まぐまぐ", "kept", "2", state::Subscribed);
    addRecord("Pubzine", "third", "3", state::Cancelled);
    t().first();
    t().next(); // the reader is on "kept"
    QStringList seen;
    MessageBox::setTestMode(false);
    MessageBox::setBackend([&](const ShownMessage &box) {
        if (box.caption == QStringLiteral("発行媒体確認"))
            seen << box.text + u':' + QUILForm->EditMBName->text() + u':'
                        + QString::number(QUILForm->RadioGroupPublishing->itemIndex());
        return MsgAnswer::Ok;
    });
    QUILMainForm->DeleteStateCancel->trigger();
    MessageBox::setBackend(nullptr);
    MessageBox::setTestMode(true);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("発行媒体は melma です。:first:2"),
                                 QStringLiteral("発行媒体は Pubzine です:third:1")}));
    EXPECT_EQ(t().recordCount(), 1);
    EXPECT_EQ(QUILForm->EditMBName->text(), "kept") << "back on the reader's record afterwards";
}

namespace {
// A list record as reading its mail makes it.
void addList(const QString &id, const QStringList &unsubscribe, bool oneClick) {
    quil::mail::ListHeaders h;
    h.listIdPhrase = id + QStringLiteral("通信");
    h.listId = id;
    h.unsubscribe = unsubscribe;
    h.oneClick = oneClick;
    h.from = {QString(), QStringLiteral("editor@news.example")};
    h.to = {QStringLiteral("reader@example.jp")};
    h.date = QDateTime(QDate(2026, 11, 2), QTime(9, 0));
    quil::ListRegister reg(*DataModule1->Table1, {});
    reg.take(h);
    reg.flush();
}
} // namespace

TEST_F(CancelSupportTest, AListIsLeftByItsPageOrMailAddressWhereNoPostIsAllowed) {
    addList("page", {"https://news.example/leave", "mailto:stop@news.example"}, false);
    addList("mail", {"mailto:stop@news.example?subject=stop"}, false);
    t().first();
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    t().next();
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    ASSERT_EQ(Opener::opened().size(), 2);
    EXPECT_EQ(Opener::opened()[0].address, "https://news.example/leave");
    EXPECT_EQ(Opener::opened()[1].address, "mailto:stop@news.example?subject=stop");
    EXPECT_EQ(stateAt(0), state::Cancelled);
    EXPECT_EQ(stateAt(1), state::Cancelled);
    EXPECT_EQ(quil::Clipboard::text(), "reader@example.jp");
    EXPECT_TRUE(MessageBox::shown().isEmpty()) << "nothing is asked before a page opens";
    EXPECT_EQ(quil::ListInfos(t()).forRecord(t().bookmark())->leftHow, "mailto");
}

TEST_F(CancelSupportTest, AOneClickListAsksFirstAndAFailedPostLeavesTheStateAndOffersThePage) {
    // Port 1 of the loopback refuses: the POST fails at once.
    addList("post", {"https://127.0.0.1:1/leave", "https://news.example/page"}, true);
    t().first();
    MessageBox::setNextAnswer(MsgAnswer::No);
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].caption, "解除のページへ");
    EXPECT_EQ(MessageBox::shown()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("「post通信」の配信停止を送信します。よろしいですか？\n127.0.0.1"));
    EXPECT_EQ(stateAt(0), state::Subscribed) << "no: nothing sent, nothing changed";

    MessageBox::clearShown();
    MessageBox::setNextAnswer(MsgAnswer::Yes); // send
    MessageBox::setNextAnswer(MsgAnswer::Ok);  // what happened
    MessageBox::setNextAnswer(MsgAnswer::No);  // no page instead
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 3);
    EXPECT_EQ(MessageBox::shown()[1].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(MessageBox::shown()[1].text.contains("127.0.0.1")) << MessageBox::shown()[1].text.toStdString();
    // The first web address of the list's header is its page; opened, it shows a form, not a leaving.
    EXPECT_EQ(MessageBox::shown()[2].text, QStringLiteral("代わりに解除のページを開きますか？\nhttps://127.0.0.1:1/leave"));
    EXPECT_EQ(stateAt(0), state::Subscribed);
    EXPECT_TRUE(Opener::opened().isEmpty());

    MessageBox::setNextAnswer(MsgAnswer::Yes);
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    MessageBox::setNextAnswer(MsgAnswer::Yes); // the page instead
    QTest::mouseClick(QUILMainForm->BitKaijoBtn, Qt::LeftButton);
    ASSERT_EQ(Opener::opened().size(), 1);
    EXPECT_EQ(Opener::opened()[0].address, "https://127.0.0.1:1/leave");
    EXPECT_EQ(stateAt(0), state::Cancelled);
}
