// SPDX-License-Identifier: GPL-3.0-or-later
// The cancel-page addresses and the page of cancel forms, without a window.
#include "cancel/core/CancelAddress.h"
#include "cancel/core/CancelPage.h"
#include "cancel/core/Hosts.h"
#include "platform/DataDirs.h"
#include "platform/MessageBox.h"
#include "platform/Opener.h"
#include "platform/Registry.h"
#include "store/Columns.h"
#include "store/ListInfo.h"
#include "store/DataModules.h"
#include "tests/support/ModulesFixture.h"
#include "text/Cp932.h"

#include <QFile>

using namespace quil;
using namespace quil::test;

namespace {

struct Rec {
    QString publishing;
    QString name;
    QString id;
    QString address;
    QString state = state::CancelCandidate;
};

class CancelTest : public ModulesTest {
protected:

    void add(const QList<Rec> &records) {
        for (const Rec &r : records) {
            t().append();
            magazines->Table1PublishingSF->setAsString(r.publishing);
            magazines->Table1MBNameSF->setAsString(r.name);
            magazines->Table1MBIDIF->setAsString(r.id);
            magazines->Table1RegAddressSF->setAsString(r.address);
            magazines->Table1DeleteStateSF->setAsString(r.state);
            t().post();
        }
        t().first();
    }

    void addSystem(const QString &name, const QString &page, bool appendId, int digits, const QString &ext,
                   bool member = false) {
        s().append();
        systems->Table2MMSysIDIF->setAsInteger(20);
        systems->Table2MMSysNameSF->setAsString(name);
        systems->Table2CancelUrlSF->setAsString(page);
        systems->Table2MMIDBF->setAsBoolean(appendId);
        systems->Table2MMIDFigureIF->setAsInteger(digits);
        systems->Table2ExpansionSF->setAsString(ext);
        systems->Table2MemberIDBF->setAsBoolean(member);
        s().post();
    }

    QString address(const QString &publishing, const QString &id, const QString &web = QString()) {
        const CancelTarget target = cancelTarget({publishing, id, web, web}, s(), hosts);
        return target.publishingError ? QStringLiteral("<error>") : target.address;
    }

    static QByteArray page(const QStringList &rows) {
        QStringList lines = {
            "<html>", "", "<head>", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=x-sjis\">",
            "<title>メールマガジン名</title>", "</head>", "", "<body bgcolor=\"#FFFFFF\">", "<BR> <BR>",
            "<div align=\"center\"><center>", "", "<table border=\"1\">", "\t<tr>",
            "\t\t<td><p align=\"center\">メールマガジン名</p>", "\t\t</td>", "\t\t<td>メールマガジンＩＤ</td>",
            "\t\t<td><p align=\"center\">登録メールアドレス</p>", "\t\t</td>", "\t\t<td>　解　除　</td>", "\t</tr>", ""};
        lines << rows << "</table>" << "</center></div>" << "</body>" << "</html>";
        QByteArray out;
        for (const QString &l : lines)
            out += cp932::encode(l) + "\r\n";
        return out;
    }

    // The ten lines of a row block, from its four service lines.
    static QStringList block(const QString &form, const QString &hidden, const QString &name, const QString &idCell,
                             const QString &addressCell) {
        return {form, "    <tr>", hidden, "\t\t<td>" + name + "</td>", idCell, addressCell,
                "\t\t<td><input type=\"submit\" value=\"　解　除　\"></td>", "\t</tr>", "\t</form>", ""};
    }

    Hosts hosts{"mag.example", "cancel.example:8080", "pub.example", "melma.example", "click.example"};
};

} // namespace

TEST_F(CancelTest, BuiltInServicesFillTheirIdsOnTheirOwnHosts) {
    EXPECT_EQ(address("まぐまぐ", "12345"), "http://mag.example/mag2/m/0000012345.htm");
    EXPECT_EQ(address("まぐまぐ", ""), "http://mag.example/mag2/m/0000000000.htm");
    EXPECT_EQ(address("melma", "123"), "http://melma.example/mg_lt/mag/m00000123.html");
    EXPECT_EQ(address("melma", "123456789"), "http://melma.example/mg_lt/mag/m123456789.html");
    EXPECT_EQ(address("Pubzine", "77"), "http://pub.example/detail.asp?id=77");
    EXPECT_EQ(address("独自システム", "9", "http://own.example/leave"), "http://own.example/leave");
    EXPECT_EQ(address("", "9"), "<error>");
    EXPECT_EQ(address("Clickincome", "9"), "<error>") << "no such row in the systems table";
}

TEST_F(CancelTest, OtherSystemsFollowTheirRow) {
    addSystem("Sys", "x/cancel?id=", true, 6, "");
    addSystem("SysExt", "x/cancel?id=", true, 6, "cgi");
    addSystem("SysWeb", "", false, 6, "");
    addSystem("SysLong", "y/", true, 3, "htm", true);
    addSystem("SysNoFill", "z/", true, 0, "");
    EXPECT_EQ(address("Sys", "42"), "x/cancel?id=000042");
    EXPECT_EQ(address("SysExt", "42"), "x/cancel?id=000042.cgi");
    EXPECT_EQ(address("SysWeb", "42", "http://www.example.jp/mag/"), "http://www.example.jp/mag/");
    EXPECT_EQ(address("SysLong", "12345"), "y/12345.htm");
    EXPECT_EQ(address("SysNoFill", "7"), "z/7");
    // Found ignoring case; the systems cursor stays on that row.
    const CancelTarget target = cancelTarget({"syslong", "1", "", ""}, s(), hosts);
    EXPECT_TRUE(target.needsMemberId);
    EXPECT_EQ(systems->Table2MMSysNameSF->asString(), "SysLong");
}

TEST_F(CancelTest, HostsComeFromTheSettingsOrTheirDefaults) {
    EXPECT_EQ(Hosts::load().mag2Page, Hosts::defaults().mag2Page);
    RegistryFile file(registryFilePath());
    const QString key = QStringLiteral("software\\KAV\\QUIL");
    file.setValue(key, "HostMag2Page", RegValue::string("127.0.0.1:8123"));
    file.setValue(key, "HostPubzine", RegValue::string("evil.example/phish?x="));
    file.setValue(key, "HostMelma", RegValue::string("melma.example:99999"));
    file.setValue(key, "HostClickincome", RegValue::number(7));
    file.setValue(key, "HostMag2Cancel", RegValue::string(" cancel.example "));
    const Hosts h = Hosts::load();
    EXPECT_EQ(h.mag2Page, "127.0.0.1:8123");
    EXPECT_EQ(h.mag2Cancel, "cancel.example");
    EXPECT_EQ(h.pubzine, Hosts::defaults().pubzine) << "a path is no host";
    EXPECT_EQ(h.melma, Hosts::defaults().melma) << "no such port";
    EXPECT_EQ(h.clickincome, Hosts::defaults().clickincome) << "not text";
}

TEST_F(CancelTest, OpeningACancelPageMarksTheRecordOnlyWhenSomethingOpened) {
    addSystem("Member", "http://member.example/out", false, 0, "", true);
    add({{"まぐまぐ", "A", "12345", "a@example.jp", state::Subscribed},
         {"独自システム", "B", "1", "b@example.jp", state::Subscribed},
         {"Member", "C", "2", "c@example.jp", state::Subscribed},
         {"無登録", "D", "3", "d@example.jp", state::Subscribed},
         {"独自システム", "E", "4", "e@example.jp", state::Subscribed}});
    auto open = [&](const QString &lookedUp, const QString &web, std::function<void()> member = {}) {
        openCancelPage(t(), s(), {lookedUp, magazines->Table1MBIDIF->asString(), web, web}, hosts, member);
    };
    QStringList events;
    open("まぐまぐ", "");
    EXPECT_EQ(Clipboard::text(), "a@example.jp");
    ASSERT_EQ(Opener::opened().size(), 1);
    EXPECT_EQ(Opener::opened()[0].address, "http://mag.example/mag2/m/0000012345.htm");
    EXPECT_EQ(t().recordAt(0)[12].toString(), state::Cancelled) << "stored at once";

    // 独自システム without a web page: told, not opened, not marked.
    t().next();
    open("独自システム", "");
    EXPECT_EQ(Clipboard::text(), "b@example.jp");
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, "解除ページのアドレスがありません");
    EXPECT_EQ(MessageBox::shown()[0].caption, "解除のページへ");
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(t().recordAt(1)[12].toString(), state::Subscribed);

    // A system that needs a member ID: the window, then the page, then the state.
    t().next();
    open("Member", "", [&] {
        events << QStringLiteral("window:%1").arg(Opener::opened().size());
    });
    EXPECT_EQ(events, QStringList{"window:1"});
    EXPECT_EQ(Opener::opened().size(), 2);
    EXPECT_EQ(t().recordAt(2)[12].toString(), state::Cancelled);

    // Unknown system: the publishing error, after the clipboard.
    t().next();
    MessageBox::clearShown();
    open("", "");
    EXPECT_EQ(Clipboard::text(), "d@example.jp");
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, "発行媒体が選択されていないか、若しくは異常です");
    EXPECT_EQ(MessageBox::shown()[0].caption, "発行媒体エラー");
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Error);
    EXPECT_EQ(t().recordAt(3)[12].toString(), state::Subscribed);

    // An address the opener refuses: its own message, nothing marked.
    t().next();
    MessageBox::clearShown();
    open("独自システム", "file:///etc/passwd");
    EXPECT_EQ(Opener::opened().size(), 2);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_TRUE(MessageBox::shown()[0].text.contains("file:///etc/passwd"));
    EXPECT_EQ(t().recordAt(4)[12].toString(), state::Subscribed);
}

TEST_F(CancelTest, PageWithoutCandidatesHoldsHeadAndTail) {
    add({{"まぐまぐ", "A", "1", "a@x", state::Cancelled}, {"Pubzine", "B", "2", "b@x", state::Subscribed}});
    EXPECT_EQ(writeCancelPage(t(), hosts, "Cancel.html"), 0);
    EXPECT_EQ(env->readFile("Cancel.html"), page({}));
}

TEST_F(CancelTest, PageHoldsOneFormPerCandidateInStoredOrder) {
    add({{"まぐまぐ", "まぐ誌", "123", "me@example.jp"},
         {"Pubzine", "Pub誌", "77", "p@example.jp"},
         {"購読中のもの", "X", "1", "x@x", state::Subscribed},
         {"Clickincome", "Click誌", "45678", "c@example.jp"},
         {"Clickincome", "Long", "123456789", "c@example.jp"},
         {"melma", "メルマ誌", "5", "m@example.jp"}});
    t().next();
    t().next();
    EXPECT_EQ(writeCancelPage(t(), hosts, "Cancel.html"), 5);
    QStringList rows;
    rows << block("<form action=\"http://cancel.example:8080/mag2/scripts/magrddel.dll\" method=\"POST\">",
                  "\t<input type=\"hidden\" name=\"MfcISAPICommand\" value=\"MagRdDel\">", "まぐ誌",
                  "\t<td><input type=\"text\" size=\"15\" maxlength=\"10\" name=\"magid\" value=\"0000000123\"></td>",
                  "\t\t<td><input type=\"text\" size=\"35\" name=\"rdemail\" value=\"me@example.jp\"></td>");
    rows << block("<FORM method=\"post\" action=\"http://pub.example/listdel.asp\">",
                  "<INPUT type=\"hidden\" name=\"id\" value=\"77\">", "Pub誌", "\t\t<td>77</td>",
                  "\t\t<td><INPUT type=\"text\" name=\"email\" size=\"35\" maxlength=\"255\" value=\"p@example.jp\"><BR></td>");
    rows << block("<FORM action=http://click.example/md/mailregi method=post>",
                  "<INPUT name=mailmag type=hidden value=del>", "Click誌",
                  "\t\t<td><INPUT maxLength=9 name=magid size=15 type=input value=m00045678 ></td>",
                  "\t\t<td><INPUT name=email size=35 value=c@example.jp ></td>");
    rows << block("<FORM action=http://click.example/md/mailregi method=post>",
                  "<INPUT name=mailmag type=hidden value=del>", "Long",
                  "\t\t<td><INPUT maxLength=9 name=magid size=15 type=input value=m123456789 ></td>",
                  "\t\t<td><INPUT name=email size=35 value=c@example.jp ></td>");
    rows << block("", "", "メルマ誌", "", "");
    EXPECT_EQ(env->readFile("Cancel.html"), page(rows));
    EXPECT_EQ(magazines->Table1MBNameSF->asString(), "X") << "the cursor is back";
    EXPECT_EQ(t().state(), DataSetState::Edit);
}

TEST_F(CancelTest, TextFromMailsIsNeverMarkup) {
    add({{"まぐまぐ", "<script>alert(1)</script> & \"誌\"", "", "a'b@x"},
         {"Clickincome", "😀 絵文字", "", "two words@x"},
         {"Clickincome", "ok", "", ""}});
    writeCancelPage(t(), hosts, "Cancel.html");
    const QString text = cp932::decode(env->readFile("Cancel.html"));
    EXPECT_FALSE(text.contains("<script>"));
    EXPECT_TRUE(text.contains("\t\t<td>&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;誌&quot;</td>"));
    EXPECT_TRUE(text.contains("value=\"0000000000\"")) << "an empty ID is all zeros";
    EXPECT_TRUE(text.contains("name=\"rdemail\" value=\"a&#39;b@x\""));
    EXPECT_TRUE(text.contains("<td><INPUT name=email size=35 value=\"two words@x\" ></td>"));
    EXPECT_TRUE(text.contains("<td><INPUT name=email size=35 value= ></td>"));
    EXPECT_TRUE(text.contains("value=m00000000 ></td>"));
    // A character Shift_JIS cannot hold is a reference, not "?".
    EXPECT_TRUE(env->readFile("Cancel.html").contains("<td>&#x1F600; " + cp932::encode("絵文字") + "</td>"));
}

TEST_F(CancelTest, PageSeesAPendingChangeAndAReadOnlyPageIsAnError) {
    add({{"Pubzine", "A", "1", "a@x", state::Subscribed}});
    t().edit();
    magazines->Table1DeleteStateSF->setAsString(state::CancelCandidate);
    EXPECT_EQ(writeCancelPage(t(), hosts, "Cancel.html"), 1);
    EXPECT_EQ(t().recordAt(0)[12].toString(), state::CancelCandidate) << "stored, as moving off would";

    env->writeFile("Cancel.html", "old");
    QFile::setPermissions(env->cwd() + "/Cancel.html", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    EXPECT_EQ(errorOf([&] { writeCancelPage(t(), hosts, "Cancel.html"); }),
              QStringLiteral("ファイル Cancel.html を作成できません"));
    EXPECT_EQ(env->readFile("Cancel.html"), "old");
    EXPECT_EQ(magazines->Table1MBNameSF->asString(), "A");
}

TEST_F(CancelTest, ANewRecordNobodyTypedIntoIsNeverStoredByThePage) {
    // An empty register: keeping the current row in editing begins a fresh
    // record; the page must not store it blank.
    t().edit();
    ASSERT_EQ(t().state(), DataSetState::Insert);
    EXPECT_EQ(writeCancelPage(t(), hosts, "Cancel.html"), 0);
    EXPECT_EQ(t().recordCount(), 0);
    EXPECT_EQ(t().state(), DataSetState::Insert) << "the fresh record is begun again, as a move would";

    add({{"Pubzine", "A", "1", "a@x"}});
    t().append(); // "新規レコード", left untouched
    EXPECT_EQ(writeCancelPage(t(), hosts, "Cancel.html"), 1);
    EXPECT_EQ(t().recordCount(), 1);
    EXPECT_EQ(magazines->Table1MBNameSF->asString(), "A") << "back on the record the new one was begun from";

    t().append();
    magazines->Table1MBNameSF->setAsString("B"); // typed into: it is a record like any other
    magazines->Table1DeleteStateSF->setAsString(state::CancelCandidate);
    EXPECT_EQ(writeCancelPage(t(), hosts, "Cancel.html"), 2);
    EXPECT_EQ(t().recordCount(), 2);
}

TEST_F(CancelTest, AListCandidateGetsAOneClickFormOrALinkToItsPage) {
    auto addList = [&](const QString &name, const QString &oneClick, const QString &web, const QString &mailto) {
        t().append();
        magazines->Table1PublishingSF->setAsString(service::MailingList);
        magazines->Table1MBNameSF->setAsString(name);
        magazines->Table1RegAddressSF->setAsString(QStringLiteral("reader@example.jp"));
        magazines->Table1DeleteStateSF->setAsString(state::CancelCandidate);
        t().post();
        ListInfo info;
        info.row = t().bookmark();
        info.listId = name + QStringLiteral(".example");
        info.address = QStringLiteral("reader@example.jp");
        info.oneClick = oneClick;
        info.web = web;
        info.mailto = mailto;
        ListInfos(t()).save(info);
    };
    addList(QStringLiteral("post"), QStringLiteral("https://news.example/u?a=1&b=\"2\""), QString(), QString());
    addList(QStringLiteral("page"), QString(), QStringLiteral("https://news.example/page"), QStringLiteral("mailto:x@y"));
    addList(QStringLiteral("mail"), QString(), QString(), QStringLiteral("mailto:stop@news.example?subject=stop"));
    EXPECT_EQ(writeCancelPage(t(), hosts, "Cancel.html"), 3);
    const QString page = cp932::decode(env->readFile("Cancel.html"));
    EXPECT_TRUE(page.contains(QStringLiteral("<form method=\"post\" action=\"https://news.example/u?a=1&amp;b=&quot;2&quot;\">")))
        << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("<input type=\"hidden\" name=\"List-Unsubscribe\" value=\"One-Click\">")));
    EXPECT_TRUE(page.contains(QStringLiteral("<td><a href=\"https://news.example/page\">　解　除　</a></td>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<td><a href=\"mailto:stop@news.example?subject=stop\">　解　除　</a></td>")));
    EXPECT_EQ(page.count(QStringLiteral("<form")), 1) << "only the one-click list has a form";
}
