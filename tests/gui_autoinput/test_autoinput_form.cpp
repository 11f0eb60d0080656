// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/TQUILAutoInputForm.h"
#include "platform/DataDirs.h"
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "store/DataModules.h"
#include "tests/support/TestEnv.h"
#include "text/Cp932.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using quil::MessageBox;

namespace {

class AutoInputFormTest : public quil::test::EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        quil::setApplicationTitle(QStringLiteral("Quillet"));
        quil::Clipboard::setText(QString());
        quil::ensureTables(quil::dataDirectory());
        dm1 = std::make_unique<TDataModule1>();
        dm2 = std::make_unique<TMMagSysDataModule>();
        DataModule1->Table1->open();
        MMagSysDataModule->Table2->open();
        form = std::make_unique<TQUILAutoInputForm>();
        form->show();
    }
    void TearDown() override {
        form.reset();
        dm2.reset();
        dm1.reset();
        quil::Clipboard::setText(QString());
        EnvTest::TearDown();
    }

    void setMemo(const QString &text) { form->Memo1->setPlainText(text); }
    QString memo() const { return form->memoText(); }

    // A whole drag as Qt delivers it: enter, then drop.
    void drag(QWidget *to, const QMimeData &data) {
        QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(to, &enter);
        QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(to, &drop);
    }
    void dropText(const QString &text) {
        QMimeData data;
        data.setText(text);
        drag(form->Memo1, data);
    }
    void dropFiles(const QStringList &paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        drag(form->Panel1, data);
    }
    QString file(const QString &name, const QString &text) {
        return env->writeFile(name, quil::cp932::encode(text));
    }

    std::unique_ptr<TDataModule1> dm1;
    std::unique_ptr<TMMagSysDataModule> dm2;
    std::unique_ptr<TQUILAutoInputForm> form;
};

const char *const Mail = "●登録メールマガジン:\r\n"
                         "週刊テスト通信\r\n"
                         "●マガジンID:\r\n"
                         "123456\r\n"
                         "●データタイプ:\r\n"
                         "テキスト\r\n"
                         "●発行周期:\r\n"
                         "週刊\r\n"
                         "●関連Webページ:\r\n"
                         "http://www.example.jp/\r\n"
                         "●発行者メールアドレス:\r\n"
                         "pub@example.jp\r\n"
                         "●登録アドレス:\r\n"
                         "reader@example.com\r\n"
                         "●登録日時:\r\n"
                         "2004/05/06 12:34:56\r\n"
                         "●IPアドレス:\r\n"
                         "192.0.2.1\r\n";

// The confirmation mail above with another magazine ID.
QString mailWithId(const char *id) {
    QString m = QString::fromUtf8(Mail);
    m.replace(QStringLiteral("123456"), QString::fromLatin1(id));
    return m;
}

QByteArray eml(const QByteArray &contentHeaders, const QByteArray &body) {
    return "From: info@example.jp\r\nTo: reader@example.com\r\nSubject: =?UTF-8?B?" +
           QStringLiteral("登録のお知らせ").toUtf8().toBase64() + "?=\r\nMIME-Version: 1.0\r\n" + contentHeaders +
           "\r\n" + body;
}

QByteArray quotedPrintable(const QByteArray &bytes) {
    QByteArray out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r' || c == '\n' || (c >= 32 && c < 127 && c != '='))
            out += ch;
        else
            out += "=" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
    }
    return out;
}

QStringList shownTexts() {
    QStringList t;
    for (const quil::ShownMessage &m : MessageBox::shown())
        t << m.text;
    return t;
}

} // namespace

TEST_F(AutoInputFormTest, WindowAndControlsAsDesigned) {
    EXPECT_EQ(QUILAutoInputForm, form.get());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("自動入力フォーム"));
    EXPECT_EQ(form->size(), QSize(400, 351));
    EXPECT_EQ(form->minimumWidth(), 400);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(form->font().pixelSize(), 12);

    EXPECT_EQ(form->findChild<QFrame *>("Panel1"), form->Panel1);
    EXPECT_EQ(form->Panel1->geometry(), QRect(0, 0, 400, 113));
    struct B {
        QPushButton *b;
        const char *name;
        QString caption;
        QRect bounds;
    };
    for (const B &b : {B{form->BitBtn1, "BitBtn1", "クリックボードよりコピー", {8, 12, 153, 25}},
                       B{form->BitBtn2, "BitBtn2", "取り込み開始", {177, 12, 113, 25}},
                       B{form->BitBtn3, "BitBtn3", "全消去", {304, 12, 75, 25}},
                       B{form->BitBtn0, "BitBtn0", "完全フルオート", {72, 48, 225, 25}}}) {
        EXPECT_EQ(form->findChild<QPushButton *>(b.name), b.b);
        EXPECT_EQ(b.b->text(), b.caption);
        EXPECT_EQ(b.b->geometry(), b.bounds) << b.name;
        EXPECT_FALSE(b.b->icon().isNull()) << b.name;
    }
    // Tab order 0 to 3.
    EXPECT_EQ(form->BitBtn0->nextInFocusChain(), form->BitBtn1);
    EXPECT_EQ(form->BitBtn1->nextInFocusChain(), form->BitBtn2);
    EXPECT_EQ(form->BitBtn2->nextInFocusChain(), form->BitBtn3);

    EXPECT_EQ(form->CheckBoxMRC->text(), QStringLiteral("まぐまぐ登録中一覧メールの検証"));
    EXPECT_EQ(form->CheckBoxMRC->geometry(), QRect(8, 80, 193, 17));
    EXPECT_EQ(form->CheckBoxOEDrop->text(), QStringLiteral("Outlook Express からの Drop"));
    EXPECT_EQ(form->CheckBoxOEDrop->geometry(), QRect(208, 80, 177, 17));
    EXPECT_FALSE(form->CheckBoxMRC->isChecked());
    EXPECT_FALSE(form->CheckBoxOEDrop->isChecked());
    EXPECT_TRUE(form->CheckBoxOEDrop->isEnabled());

    EXPECT_EQ(form->findChild<QPlainTextEdit *>("Memo1"), form->Memo1);
    EXPECT_EQ(form->Memo1->geometry(), QRect(0, 113, 400, 351 - 113));
    EXPECT_EQ(form->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(form->Memo1->font().family(), QStringLiteral("ＭＳ ゴシック"));
    EXPECT_EQ(form->Memo1->font().pixelSize(), 13);
    EXPECT_TRUE(form->Memo1->font().fixedPitch());
    EXPECT_TRUE(memo().isEmpty());

    EXPECT_EQ(form->findChild<NuvraOLE::TOLEDropText *>("OLEDropText"), form->OLEDropText);
    EXPECT_EQ(form->findChild<NuvraOLE::TOLEDropFiles *>("OLEDropFiles"), form->OLEDropFiles);
    EXPECT_EQ(form->OLEDropText->Target(), form->Memo1);
    EXPECT_EQ(form->OLEDropFiles->Target(), form->Panel1);
}

TEST_F(AutoInputFormTest, DroppedTextJoinsTheLastLineAndEndsEachLine) {
    setMemo(QStringLiteral("前の行"));
    dropText(QStringLiteral("後半\r\n二行目\r三行目\n四行目"));
    EXPECT_EQ(memo(), QStringLiteral("前の行後半\n二行目\n三行目\n四行目\n"));
    // Through the viewport, as a real drag arrives.
    QMimeData data;
    data.setText(QStringLiteral("五行目"));
    drag(form->Memo1->viewport(), data);
    EXPECT_EQ(memo(), QStringLiteral("前の行後半\n二行目\n三行目\n四行目\n五行目\n"));
    // Dropping never starts the parser.
    EXPECT_TRUE(MessageBox::shown().isEmpty());
    EXPECT_EQ(DataModule1->Table1->recordCount(), 0);
}

TEST_F(AutoInputFormTest, DroppedFilesEachFollowAnEmptyLineAndFoldersAreSkipped) {
    const QString a = file("a.txt", QStringLiteral("一行目\r\n二行目"));
    const QString b = file("b.txt", QStringLiteral("B1\nB2\r\n"));
    QDir(env->cwd()).mkdir("sub");
    const QString folder = env->cwd() + "/sub";
    const QString missing = env->cwd() + "/gone.txt";
    setMemo(QStringLiteral("既存"));
    dropFiles({a, folder, missing, b});
    EXPECT_EQ(memo(), QStringLiteral("既存\n一行目\n二行目\n\nB1\nB2\n"));
    EXPECT_TRUE(MessageBox::shown().isEmpty());

    // Nothing usable dropped: the memo stays as it was.
    const QString before = memo();
    dropFiles({folder, missing});
    EXPECT_EQ(memo(), before);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(AutoInputFormTest, UnreadableFileIsNamedAndTheOthersAreTaken) {
    const QString a = file("a.txt", QStringLiteral("A"));
    const QString b = file("b.txt", QStringLiteral("B"));
    QString bad;
    if (geteuid() == 0) {
        // Permissions do not stop root; this file exists but fails to read.
        bad = QStringLiteral("/proc/self/mem");
    } else {
        bad = file("locked.txt", QStringLiteral("secret"));
        QFile::setPermissions(bad, QFileDevice::Permissions());
    }
    dropFiles({a, bad, b});
    EXPECT_EQ(memo(), QStringLiteral("\nA\n\nB\n"));
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown()[0].text.contains(bad)) << MessageBox::shown()[0].text.toStdString();
    EXPECT_EQ(MessageBox::shown()[0].caption, QStringLiteral("Quillet"));
}

TEST_F(AutoInputFormTest, OutlookExpressDropConvertsJisOnlyWhenChecked) {
    const QString jis = QString::fromLatin1("\x1b$B0!\x1b(B");
    dropText(jis);
    EXPECT_EQ(memo(), jis + "\n");

    form->BitBtn3Click();
    form->CheckBoxOEDrop->setChecked(true);
    dropText(jis);
    EXPECT_EQ(memo(), QStringLiteral("亜\n"));
    EXPECT_EQ(quil::cp932::encode(memo()), QByteArray("\x88\x9f\n"));

    // Files too; a kanji mode left open carries over to the next line.
    form->BitBtn3Click();
    const QString f = env->writeFile("oe.txt", QByteArray("\x1b$B0!\r\n0!\x1b(Bx\r\n"));
    dropFiles({f});
    EXPECT_EQ(memo(), QStringLiteral("\n亜\n亜x\n"));
}

TEST_F(AutoInputFormTest, AnUnknownSenderIsAnInvalidCall) {
    setMemo(QStringLiteral("そのまま"));
    QObject other;
    other.setObjectName("OLEDropTextX");
    form->OLEDropText->Text = "ignored";
    form->OLEDropDrop(&other, {}, 0, 0);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const quil::ShownMessage &m = MessageBox::shown()[0];
    EXPECT_EQ(m.text, QStringLiteral("不正な呼び出しがありました"));
    EXPECT_EQ(m.caption, quil::applicationTitle());
    EXPECT_EQ(m.buttons, quil::MsgButtons::Ok);
    EXPECT_EQ(m.icon, quil::MsgIcon::None);
    EXPECT_EQ(memo(), QStringLiteral("そのまま"));
}

TEST_F(AutoInputFormTest, ClipboardCopyAppendsAndMendsLineBreaks) {
    // A no-break space is part of what the reader sees and stays one.
    setMemo(QStringLiteral("abc") + QChar(0x00A0));
    quil::Clipboard::setText(QStringLiteral("def\rghi\nj\r\nk"));
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(memo(), QStringLiteral("abc") + QChar(0x00A0) + "def\nghi\nj\nk");

    // An empty clipboard adds nothing.
    quil::Clipboard::setText(QString());
    form->BitBtn1Click();
    EXPECT_EQ(memo(), QStringLiteral("abc") + QChar(0x00A0) + "def\nghi\nj\nk");

    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    EXPECT_TRUE(memo().isEmpty());
    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    EXPECT_TRUE(memo().isEmpty());
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(AutoInputFormTest, CopyPastTheCapacityFailsAndKeepsTheMemo) {
    EXPECT_EQ(TQUILAutoInputForm::MemoCapacity, 64 * 1024 * 1024);
    form->memoCapacity = 40;
    setMemo(QStringLiteral("12345"));
    quil::Clipboard::setText(QString(36, u'x'));
    form->BitBtn1Click();
    EXPECT_EQ(memo(), QStringLiteral("12345"));
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("文字列の大きさが メモ の制限を越えました."));
    EXPECT_EQ(MessageBox::shown()[0].icon, quil::MsgIcon::Error);
    EXPECT_EQ(MessageBox::shown()[0].caption, QStringLiteral("Quillet"));

    // Full auto stops before the parser: no record, no count message.
    MessageBox::clearShown();
    form->BitBtn3Click();
    quil::Clipboard::setText(QString::fromUtf8(Mail));
    form->BitBtn0Click();
    EXPECT_EQ(DataModule1->Table1->recordCount(), 0);
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("文字列の大きさが メモ の制限を越えました.")});
    EXPECT_TRUE(memo().isEmpty());

    // A drop past the limit is refused the same way.
    MessageBox::clearShown();
    dropText(QString(50, u'y'));
    EXPECT_TRUE(memo().isEmpty());
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("文字列の大きさが メモ の制限を越えました.")});
}

TEST_F(AutoInputFormTest, FullAutoWithOneMailRegistersOneRecord) {
    quil::Clipboard::setText(QString::fromUtf8(Mail));
    QTest::mouseClick(form->BitBtn0, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const quil::ShownMessage &m = MessageBox::shown()[0];
    EXPECT_EQ(m.text, QStringLiteral("1件が登録されました"));
    EXPECT_EQ(m.caption, QStringLiteral("登録件数の確認"));
    EXPECT_EQ(m.icon, quil::MsgIcon::Information);
    EXPECT_TRUE(memo().isEmpty());

    quil::Table &t = *DataModule1->Table1;
    ASSERT_EQ(t.recordCount(), 1);
    t.first();
    EXPECT_EQ(t.fieldByName(QStringLiteral("メールマガジン名")).asString(), QStringLiteral("週刊テスト通信"));
    EXPECT_EQ(t.fieldByName(QStringLiteral("マガジンＩＤ")).asInteger(), 123456);
    EXPECT_EQ(t.fieldByName(QStringLiteral("発行媒体")).asString(), QStringLiteral("まぐまぐ"));
    EXPECT_EQ(t.fieldByName(QStringLiteral("削除状態")).asString(), QStringLiteral("購読中"));
    EXPECT_EQ(t.fieldByName(QStringLiteral("ＩＰアドレス")).asString(), QStringLiteral("192.0.2.1"));
}

TEST_F(AutoInputFormTest, ImportFailureLeavesTheUnreadLinesInTheMemo) {
    QString mail = QString::fromUtf8(Mail);
    mail.replace(QStringLiteral("123456"), QStringLiteral("abc"));
    setMemo(QStringLiteral("挨拶の行\n") + mail);
    QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("バリアントの型変換が不正です.")});
    EXPECT_EQ(MessageBox::shown()[0].icon, quil::MsgIcon::Error);
    // The failing ID line and every line after it, exactly as they stood.
    const qsizetype at = mail.indexOf(QStringLiteral("abc"));
    QString rest = mail.mid(at);
    rest.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(memo(), rest);
}

TEST_F(AutoInputFormTest, RegisteredListCheckShowsNoCount) {
    form->CheckBoxMRC->setChecked(true);
    setMemo(QStringLiteral("関係のない行\n"));
    QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(AutoInputFormTest, DroppedMailFilesGiveTheTextOfEachMessage) {
    const QString single = env->writeFile(
        "mail.eml", eml("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n",
                        mailWithId("111111").toUtf8().toBase64() + "\r\n"));
    QString html = mailWithId("333333").toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>\r\n"));
    const QByteArray mbox =
        "From info@example.jp Sat Apr  5 12:34:56 2003\n" +
        eml("Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: quoted-printable\r\n",
            quotedPrintable(quil::cp932::encode(mailWithId("222222")))) +
        "\nFrom info@example.jp Sat Apr  5 12:34:57 2003\n" +
        eml("Content-Type: text/plain; charset=x-no-such-charset\r\n", "123\r\n") +
        "\nFrom info@example.jp Sat Apr  5 12:34:58 2003\n" +
        eml("Content-Type: text/html; charset=UTF-8\r\n", "<html><body>\r\n" + html.toUtf8() + "</body></html>\r\n");
    const QString box = env->writeFile("saved.mbox", mbox);
    // A Shift_JIS text file is taken as before.
    const QString text = file("mail.txt", mailWithId("444444"));

    dropFiles({single, box, text});
    QString expected;
    for (const char *id : {"111111", "222222", "333333", "444444"})
        expected += QStringLiteral("\n") + mailWithId(id);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(memo(), expected);
    // The message that cannot be read is named, and the others are taken.
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const quil::ShownMessage &m = MessageBox::shown()[0];
    EXPECT_TRUE(m.text.contains(box + "#2")) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(QStringLiteral("登録のお知らせ"))) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(QStringLiteral("x-no-such-charset"))) << m.text.toStdString();
    EXPECT_EQ(m.caption, QStringLiteral("Quillet"));
    EXPECT_EQ(m.icon, quil::MsgIcon::Exclamation);
    EXPECT_EQ(m.buttons, quil::MsgButtons::Ok);
    EXPECT_EQ(DataModule1->Table1->recordCount(), 0);

    MessageBox::clearShown();
    QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("4件が登録されました")});
    EXPECT_TRUE(memo().isEmpty());
    quil::Table &t = *DataModule1->Table1;
    ASSERT_EQ(t.recordCount(), 4);
    QList<int> ids;
    for (t.first(); !t.eof(); t.next()) {
        ids << t.fieldByName(QStringLiteral("マガジンＩＤ")).asInteger();
        EXPECT_EQ(t.fieldByName(QStringLiteral("メールマガジン名")).asString(), QStringLiteral("週刊テスト通信"));
        EXPECT_EQ(t.fieldByName(QStringLiteral("登録アドレス")).asString(), QStringLiteral("reader@example.com"));
    }
    EXPECT_EQ(ids, (QList<int>{111111, 222222, 333333, 444444}));
}

TEST_F(AutoInputFormTest, AnUnreadableMailIsNamedAndAddsNothing) {
    const QString noText = env->writeFile(
        "scan.eml", eml("Content-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n", "JVBERi0xLjQK\r\n"));
    setMemo(QStringLiteral("既存"));
    dropFiles({noText});
    EXPECT_EQ(memo(), QStringLiteral("既存"));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("メール '%1' を読み込めませんでした。\n件名: 登録のお知らせ\n"
                                                       "メールの本文がありません")
                                            .arg(noText)});
}

TEST_F(AutoInputFormTest, OutlookExpressDropLeavesDecodedMailText) {
    // With the box ticked, a file's 7-bit JIS is converted and its kanji mode
    // runs on into the next file's lines, but a mail's text is already text.
    form->CheckBoxOEDrop->setChecked(true);
    const QString oe = env->writeFile("oe.txt", QByteArray("\x1b$B0!\r\n"));
    const QString m = env->writeFile(
        "jis.eml", eml("Content-Type: text/plain; charset=ISO-2022-JP\r\n", "\x1b$B0!\x1b(B 0!\r\n"));
    const QString oe2 = env->writeFile("oe2.txt", QByteArray("0!\x1b(Bx\r\n"));
    dropFiles({oe, m, oe2});
    EXPECT_EQ(memo(), QStringLiteral("\n亜\n\n亜 0!\n\n亜x\n"));
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(AutoInputFormTest, ADroppedMaildirGivesItsMessagesAsDroppedFilesDo) {
    // new/ alone or cur/ alone is a Maildir, by the rule quillet-cli follows.
    const QByteArray head = "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n";
    QDir(env->cwd()).mkpath("box/new");
    env->writeFile("box/new/1000000002.B.host", eml(head, mailWithId("222222").toUtf8().toBase64() + "\r\n"));
    env->writeFile("box/new/1000000001.A.host", eml(head, mailWithId("111111").toUtf8().toBase64() + "\r\n"));
    QDir(env->cwd()).mkpath("seen/cur");
    env->writeFile("seen/cur/1000000003.C.host:2,S", eml(head, mailWithId("333333").toUtf8().toBase64() + "\r\n"));
    const QString text = file("mail.txt", mailWithId("444444"));

    dropFiles({env->cwd() + "/box", env->cwd() + "/seen", text});
    QString expected;
    for (const char *id : {"111111", "222222", "333333", "444444"})
        expected += QStringLiteral("\n") + mailWithId(id);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(memo(), expected);
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(AutoInputFormTest, ADroppedFifoDeviceOrBrokenMaildirIsNamedAndNotWaitedFor) {
    const QString a = file("a.txt", QStringLiteral("A"));
    const QString b = file("b.txt", QStringLiteral("B"));
    // No writer ever opens the FIFO, and /dev/zero never ends.
    const QString fifo = env->cwd() + "/fifo";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir(env->cwd()).mkpath("box/new");
    const QString inBox = env->cwd() + "/box/new/1000000001.A.host";
    ASSERT_EQ(::mkfifo(QFile::encodeName(inBox).constData(), 0600), 0);

    dropFiles({a, fifo, QStringLiteral("/dev/zero"), env->cwd() + "/box", b});
    EXPECT_EQ(memo(), QStringLiteral("\nA\n\nB\n"));
    const QString refused = QStringLiteral("'%1' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。");
    EXPECT_EQ(shownTexts(), (QStringList{refused.arg(fifo), refused.arg(QStringLiteral("/dev/zero")), refused.arg(inBox)}));
    for (const quil::ShownMessage &m : MessageBox::shown()) {
        EXPECT_EQ(m.caption, QStringLiteral("Quillet"));
        EXPECT_EQ(m.icon, quil::MsgIcon::Exclamation);
    }
}

TEST_F(AutoInputFormTest, DroppedListMailsAreRegisteredWithTheImportAndCountedInItsMessage) {
    auto listMail = [](const char *id, const char *date) {
        return QByteArray("From: News <editor@news.example>\r\nTo: reader@example.jp\r\nSubject: weekly\r\n"
                          "Date: ") + date + "\r\nList-Id: =?UTF-8?B?" + QStringLiteral("猫の手通信").toUtf8().toBase64()
             + "?= <" + id + ">\r\nList-Unsubscribe: <https://news.example/leave>\r\n"
               "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nhello\r\n";
    };
    const QString a = env->writeFile("a.eml", listMail("neko.news.example", "Mon, 02 Nov 2026 09:00:00 +0900"));
    const QString b = env->writeFile("b.eml", listMail("neko.news.example", "Mon, 09 Nov 2026 09:00:00 +0900"));
    const QString c = env->writeFile("c.eml", listMail("inu.news.example", "Mon, 02 Nov 2026 09:00:00 +0900"));
    dropFiles({a, b, c});
    quil::Table &t = *DataModule1->Table1;
    EXPECT_EQ(t.recordCount(), 0) << "nothing is registered before 取り込み開始";
    QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("2件が登録されました"));
    ASSERT_EQ(t.recordCount(), 2);
    EXPECT_EQ(t.columnTexts(QStringLiteral("発行媒体")), QStringList(2, QStringLiteral("メーリングリスト")));

    // The same mails again: nothing more, and the count says so.
    MessageBox::clearShown();
    dropFiles({a, b, c});
    QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("0件が登録されました"));
    EXPECT_EQ(t.recordCount(), 2);
}
