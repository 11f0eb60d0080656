// SPDX-License-Identifier: GPL-3.0-or-later
// The cancellation notices on the real data modules: the box before each
// notice and the bytes of the three notice files.
#include "cancel/core/NoticeWriter.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/ModulesFixture.h"
#include "text/Cp932.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace quil;
using namespace quil::test;

namespace {

const QDate kToday(2024, 3, 5);
const QString kDateLine = QStringLiteral("下記の項目は 2024/03/05 に削除された項目です");
const QString kEnd = QStringLiteral("-----  以上です  -----");

struct Magazine {
    QString publishing, name;
    QString id = {}, type = {}, cycle = {}, web = {}, publisher = {}, regAddress = {}, regTime = {}, ip = {},
            charge = {}, explanation = {};
};

// Lines as a notice file holds them: Shift_JIS, CR LF after each.
QByteArray sjisLines(const QStringList &lines) {
    QByteArray out;
    for (const QString &l : lines)
        out += cp932::encode(l) + "\r\n";
    return out;
}

class NoticeWriterTest : public ModulesTest {
protected:

    // Appends and stores the record; the cursor stays on it.
    void add(const Magazine &m) {
        t().append();
        const std::pair<const QString &, const QString &> values[] = {
            {col::Publishing, m.publishing}, {col::MBName, m.name},       {col::MBID, m.id},
            {col::MBType, m.type},           {col::MBCycle, m.cycle},     {col::Web, m.web},
            {col::Publisher, m.publisher},   {col::RegAddress, m.regAddress}, {col::RegTime, m.regTime},
            {col::IPAddress, m.ip},          {col::ChargeOrFree, m.charge}, {col::Explanation, m.explanation},
        };
        for (const auto &[column, text] : values)
            t().fieldByName(column).setAsString(text);
        t().post();
    }

    QByteArray file(const QString &name) { return env->readFile(name); }

};

const Magazine kMag2{QStringLiteral("まぐまぐ"),
                     QStringLiteral("週刊①ニュース"),
                     QStringLiteral("123"),
                     QStringLiteral("テキスト"),
                     QStringLiteral("週刊"),
                     QStringLiteral("http://www.example.jp/news/"),
                     QStringLiteral("editor@example.jp"),
                     QStringLiteral("me@example.ne.jp"),
                     QStringLiteral("2003/04/01 9:30:05"),
                     QStringLiteral("192.168.0.1"),
                     QStringLiteral("無料"),
                     QStringLiteral("説明")};

QStringList mag2Lines(const QString &name, const QString &id, const QString &regTime) {
    return {kDateLine,
            QStringLiteral("●登録メールマガジン:"), name,
            QStringLiteral("●マガジンＩＤ:"), id,
            QStringLiteral("●データタイプ:"), QStringLiteral("テキスト"),
            QStringLiteral("●発行周期:"), QStringLiteral("週刊"),
            QStringLiteral("●関連Webページ:"), QStringLiteral("http://www.example.jp/news/"),
            QStringLiteral("●発行者問い合わせ先:"), QStringLiteral("editor@example.jp"),
            QStringLiteral("●登録アドレス:"), QStringLiteral("me@example.ne.jp"),
            QStringLiteral("●登録日時:"), regTime,
            QStringLiteral("●登録に利用されたコンピューターのIPアドレス:"), QStringLiteral("192.168.0.1"),
            kEnd,
            QString()};
}

const QString kMag2Title = QStringLiteral("*** まぐまぐ解除通知書 ***");

} // namespace

TEST_F(NoticeWriterTest, FirstMag2NoticeCreatesTheFileAndLaterOnesFollowTheEmptyLine) {
    add(kMag2);
    EXPECT_EQ(cancelNoticeEntry(t(), kToday).size(), 21);
    writeCancelNotice(t(), kToday);
    const QStringList first = mag2Lines(QStringLiteral("週刊①ニュース"), "123", "2003/04/01 9:30:05");
    EXPECT_EQ(file("CMag2.txt"), sjisLines(QStringList{kMag2Title, QString()} + first));
    // Shift_JIS on disk: the title starts "*** まぐまぐ".
    EXPECT_TRUE(file("CMag2.txt").startsWith(QByteArray("*** ") + QByteArray::fromHex("82dc82ae82dc82ae")));

    // A second notice, on another day, for a record registered at midnight.
    Magazine other = kMag2;
    other.name = QStringLiteral("月刊");
    other.id = QStringLiteral("0042");
    other.regTime = QStringLiteral("2010/12/31");
    add(other);
    writeCancelNotice(t(), QDate(2024, 12, 1));
    QStringList second = mag2Lines(QStringLiteral("月刊"), "42", "2010/12/31");
    second[0] = QStringLiteral("下記の項目は 2024/12/01 に削除された項目です");
    EXPECT_EQ(file("CMag2.txt"), sjisLines(QStringList{kMag2Title, QString()} + first + second));
    EXPECT_FALSE(QFileInfo::exists("CPubzine.txt"));
    EXPECT_FALSE(QFileInfo::exists("CKAV-NTC.txt"));
}

TEST_F(NoticeWriterTest, PubzineNoticeWritesIdAndNameAfterTwoBlanksAndIpTwice) {
    Magazine m{QStringLiteral("Pubzine"), QStringLiteral("ぱぶ通信"), QStringLiteral("98765")};
    m.ip = QStringLiteral("10.0.0.7");
    m.regTime = QStringLiteral("2002/11/03 23:05:00");
    add(m);
    writeCancelNotice(t(), kToday);
    // Without IP address or registration time.
    add({QStringLiteral("Pubzine"), QStringLiteral("空"), QString()});
    writeCancelNotice(t(), kToday);
    EXPECT_EQ(file("CPubzine.txt"),
              sjisLines({QStringLiteral("*** Pubzine 解除通知書 ***"), QString(),
                         kDateLine, QStringLiteral("メールマガジンID  98765"), QStringLiteral("メールマガジン名"),
                         QStringLiteral("  ぱぶ通信"), QStringLiteral("10.0.0.7(10.0.0.7)"),
                         QStringLiteral(" at 2002/11/03 23:05:00"), kEnd, QString(),
                         kDateLine, QStringLiteral("メールマガジンID  "), QStringLiteral("メールマガジン名"),
                         QStringLiteral("  空"), QStringLiteral("()"), QStringLiteral(" at "), kEnd, QString()}));
    EXPECT_FALSE(QFileInfo::exists("CMag2.txt"));
}

TEST_F(NoticeWriterTest, EveryOtherPublishingTextGoesToKavNtcAsAKavPblBlock) {
    auto block = [](const QString &publishing, const QString &id, const QString &name, const QStringList &rest) {
        return QStringList{kDateLine, QStringLiteral("[KAV-PBL]"), QStringLiteral("▼発行システム："), publishing,
                           QStringLiteral("▼マガジンID："), id, QStringLiteral("▼マガジン名："), name}
             + rest + QStringList{QStringLiteral("[/KAV-PBL]"), QString()};
    };
    // Only the name set: every other column gives an empty value line.
    auto emptyRest = [] {
        return QStringList{QStringLiteral("▼データタイプ："), QString(), QStringLiteral("▼発行周期："), QString(),
                           QStringLiteral("▼有料/無料の区別："), QString(), QStringLiteral("▼管理者アドレス："),
                           QString(), QStringLiteral("▼関連Webページ："), QString(), QStringLiteral("▼説明："),
                           QString(), QStringLiteral("▼登録アドレス："), QString(), QStringLiteral("▼登録日時："),
                           QString(), QStringLiteral("▼登録に利用されたIPアドレス："), QString()};
    };

    add({QStringLiteral("pubzine"), QStringLiteral("小文字")});
    writeCancelNotice(t(), kToday);
    add({QString(), QStringLiteral("媒体なし")});
    writeCancelNotice(t(), kToday);
    add({QStringLiteral("独自システム"), QStringLiteral("自前")});
    writeCancelNotice(t(), kToday);
    // Every column, and a description typed over lines (CR LF, a lone LF) with
    // a character Shift_JIS cannot hold.
    Magazine melma{QStringLiteral("melma"), QStringLiteral("めるま"), QStringLiteral("555"),
                   QStringLiteral("HTML"), QStringLiteral("日刊"), QStringLiteral("http://melma.example/"),
                   QStringLiteral("pub@melma.example"), QStringLiteral("me@example.ne.jp"),
                   QStringLiteral("2001/02/03 4:05:06"), QStringLiteral("172.16.0.9"), QStringLiteral("有料"),
                   QStringLiteral("一行目\r\n二行目\n€三行目")};
    add(melma);
    writeCancelNotice(t(), kToday);

    const QStringList melmaRest{QStringLiteral("▼データタイプ："), QStringLiteral("HTML"),
                                QStringLiteral("▼発行周期："), QStringLiteral("日刊"),
                                QStringLiteral("▼有料/無料の区別："), QStringLiteral("有料"),
                                QStringLiteral("▼管理者アドレス："), QStringLiteral("pub@melma.example"),
                                QStringLiteral("▼関連Webページ："), QStringLiteral("http://melma.example/"),
                                QStringLiteral("▼説明："), QStringLiteral("一行目"), QStringLiteral("二行目"),
                                QStringLiteral("?三行目"),
                                QStringLiteral("▼登録アドレス："), QStringLiteral("me@example.ne.jp"),
                                QStringLiteral("▼登録日時："), QStringLiteral("2001/02/03 4:05:06"),
                                QStringLiteral("▼登録に利用されたIPアドレス："), QStringLiteral("172.16.0.9")};
    EXPECT_EQ(file("CKAV-NTC.txt"),
              sjisLines(QStringList{QStringLiteral("*** KAV-NTC による解除通知書 ***"), QString()}
                        + block(QStringLiteral("pubzine"), QString(), QStringLiteral("小文字"), emptyRest())
                        + block(QString(), QString(), QStringLiteral("媒体なし"), emptyRest())
                        + block(QStringLiteral("独自システム"), QString(), QStringLiteral("自前"), emptyRest())
                        + block(QStringLiteral("melma"), QStringLiteral("555"), QStringLiteral("めるま"), melmaRest)));
    EXPECT_FALSE(QFileInfo::exists("CPubzine.txt"));
    EXPECT_FALSE(QFileInfo::exists("CMag2.txt"));
    // The line breaks inside the value are CR LF like the rest of the file.
    EXPECT_FALSE(file("CKAV-NTC.txt").replace("\r\n", "").contains('\n'));
}

TEST_F(NoticeWriterTest, EachNoticeIsAnnouncedByAnInformationBoxNamingTheMedium) {
    const QStringList publishing{QStringLiteral("まぐまぐ"), QStringLiteral("Pubzine"), QStringLiteral("melma"),
                                 QStringLiteral("pubzine"), QString()};
    for (const QString &p : publishing) {
        add({p, QStringLiteral("x")});
        writeCancelNotice(t(), kToday);
    }
    const QStringList texts{QStringLiteral("発行媒体はまぐまぐです"), QStringLiteral("発行媒体は Pubzine です"),
                            QStringLiteral("発行媒体は melma です。"), QStringLiteral("発行媒体は pubzine です。"),
                            QStringLiteral("発行媒体は  です。")};
    ASSERT_EQ(MessageBox::shown().size(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        const ShownMessage &box = MessageBox::shown()[i];
        EXPECT_EQ(box.text, texts[i]);
        EXPECT_EQ(box.caption, QStringLiteral("発行媒体確認"));
        EXPECT_EQ(box.icon, MsgIcon::Information);
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
    }
    // The box only informs: whatever it is answered, the notice is written.
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    add({QStringLiteral("Pubzine"), QStringLiteral("閉じても")});
    writeCancelNotice(t(), kToday);
    EXPECT_TRUE(file("CPubzine.txt").contains(cp932::encode(QStringLiteral("  閉じても\r\n"))));
}

TEST_F(NoticeWriterTest, AReadOnlyNoticeFileIsRefusedAndLeftAsItWas) {
    add(kMag2);
    writeCancelNotice(t(), kToday);
    const QByteArray before = file("CMag2.txt");
    ASSERT_EQ(::chmod("CMag2.txt", 0444), 0);
    Magazine other = kMag2;
    other.name = QStringLiteral("次のマガジン");
    add(other);
    EXPECT_EQ(errorOf([&] { writeCancelNotice(t(), kToday); }), QStringLiteral("ファイル CMag2.txt を作成できません"));
    EXPECT_EQ(file("CMag2.txt"), before);
    EXPECT_EQ(fileMode("CMag2.txt"), 0444);
    EXPECT_EQ(QDir(env->cwd()).entryList(QDir::Files | QDir::Hidden), QStringList{"CMag2.txt"});
}

TEST_F(NoticeWriterTest, AnEntryStartsOnItsOwnLineAndEarlierBytesAreNeverRewritten) {
    // Written by someone else: no title (the file exists), a last line without
    // a line end, bytes that are no Shift_JIS and a NUL a line reader stops at.
    const QByteArray foreign = QByteArray("notes\r\n\xff\xfe", 9) + QByteArray("\0tail", 5);
    env->writeFile("CMag2.txt", foreign);
    add(kMag2);
    writeCancelNotice(t(), kToday);
    EXPECT_EQ(file("CMag2.txt"),
              foreign + "\r\n" + sjisLines(mag2Lines(QStringLiteral("週刊①ニュース"), "123", "2003/04/01 9:30:05")));

    // An existing empty file gets the entry alone.
    env->writeFile("CPubzine.txt", QByteArray());
    add({QStringLiteral("Pubzine"), QStringLiteral("p"), QStringLiteral("1")});
    writeCancelNotice(t(), kToday);
    EXPECT_TRUE(file("CPubzine.txt").startsWith(cp932::encode(kDateLine) + "\r\n"));
}

TEST_F(NoticeWriterTest, AFolderInTheWayOrAnUnwritableFolderIsAnErrorNamingTheFile) {
    add({QStringLiteral("Pubzine"), QStringLiteral("p")});
    ASSERT_TRUE(QDir().mkdir("CPubzine.txt"));
    QString err = errorOf([&] { writeCancelNotice(t(), kToday); });
    EXPECT_TRUE(err.contains("CPubzine.txt")) << err.toStdString();

    // The current folder gone: nothing can be created in it, not even by root.
    add({QStringLiteral("melma"), QStringLiteral("m")});
    ASSERT_TRUE(QDir(env->cwd()).removeRecursively());
    err = errorOf([&] { writeCancelNotice(t(), kToday); });
    EXPECT_TRUE(err.contains("CKAV-NTC.txt")) << err.toStdString();
}

TEST_F(NoticeWriterTest, DeletingThroughTheTableWritesTheNoticeOrKeepsTheRecord) {
    DataModule1->writeCancelNotice = [] { writeCancelNotice(*DataModule1->Table1, kToday); };
    add(kMag2);
    Magazine second = kMag2;
    second.name = QStringLiteral("二つ目");
    add(second);
    t().first();
    // An edit not yet stored is what the notice records.
    magazines->Table1MBNameSF->setAsString(QStringLiteral("打ちかけ"));
    t().remove();
    EXPECT_EQ(t().recordCount(), 1);
    EXPECT_EQ(file("CMag2.txt"),
              sjisLines(QStringList{kMag2Title, QString()}
                        + mag2Lines(QStringLiteral("打ちかけ"), "123", "2003/04/01 9:30:05")));
    ASSERT_EQ(MessageBox::shown().size(), 1);

    ASSERT_EQ(::chmod("CMag2.txt", 0444), 0);
    const QByteArray before = file("CMag2.txt");
    EXPECT_EQ(errorOf([&] { t().remove(); }), QStringLiteral("ファイル CMag2.txt を作成できません"));
    EXPECT_EQ(t().recordCount(), 1) << "the record stays";
    EXPECT_EQ(magazines->Table1MBNameSF->asString(), QStringLiteral("二つ目"));
    EXPECT_EQ(file("CMag2.txt"), before);
    DataModule1->writeCancelNotice = nullptr;
}
