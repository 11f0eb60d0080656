// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "autoinput/core/MailParser.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QMap>
#include <QStringList>
#include <memory>
#include <vector>

namespace quil::test {

using Row = QMap<QString, QString>;

// Every row in stored order, as column name -> text form.
inline std::vector<Row> rows(Table &t) {
    std::vector<Row> out;
    for (t.first(); !t.eof(); t.next()) {
        Row r;
        for (int i = 0; i < t.fieldCount(); ++i)
            if (!t.field(i).isNull())
                r[t.field(i).fieldName()] = t.field(i).asString();
        out.push_back(r);
    }
    return out;
}

// Both tables in a fresh data directory, with the built-in system rows.
class ParserTest : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        const QString dir = env->dataDir();
        QDir().mkpath(dir);
        ensureTables(dir);
        mags = std::make_unique<Table>(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
        sys = std::make_unique<Table>(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
        mags->setDirectory(dir);
        sys->setDirectory(dir);
        mags->open();
        sys->open();
        parser = std::make_unique<MailParser>(*mags, *sys);
    }
    void TearDown() override {
        parser.reset();
        mags.reset();
        sys.reset();
        EnvTest::TearDown();
    }

    // Runs the parser and returns the text left in the window.
    QString run(QString text, bool verify = false) {
        parser->run(text, verify);
        return text;
    }

    void addMagazine(const Row &values) {
        mags->append();
        for (auto it = values.begin(); it != values.end(); ++it)
            mags->fieldByName(it.key()).setAsString(it.value());
        mags->post();
    }

    std::unique_ptr<Table> mags, sys;
    std::unique_ptr<MailParser> parser;
};

// Realistic confirmation mails, one list entry per line.
inline QStringList magMagMail(const QString &id = QStringLiteral("123456"),
                              const QString &name = QStringLiteral("週刊ニュース速報")) {
    return {QStringLiteral("●登録メールマガジン:"), name,
            QStringLiteral("●マガジンID:"), id,
            QStringLiteral("●データタイプ:"), QStringLiteral("テキスト"),
            QStringLiteral("●発行周期:"), QStringLiteral("週刊"),
            QStringLiteral("●関連Webページ:"), QStringLiteral("http://www.example.jp/news/"),
            QStringLiteral("●発行者メールアドレス:"), QStringLiteral("editor@example.jp"),
            QStringLiteral("●登録アドレス:"), QStringLiteral("reader@example.com"),
            QStringLiteral("●登録日時:"), QStringLiteral("2003/04/05 12:34:56"),
            QStringLiteral("●IPアドレス:"), QStringLiteral("192.168.10.20")};
}

inline QStringList pubzineOneLineMail() {
    return {QStringLiteral("メールマガジンID  12345"), QStringLiteral("メールマガジン名"),
            QStringLiteral("：パブジン通信"), QStringLiteral("発行周期  月刊")};
}

inline QStringList pubzineStarredMail(const QString &publisherLine =
                                          QStringLiteral("* このマガジンの内容に関しては発行者まで biz@example.co.jp")) {
    QStringList l = {QStringLiteral("* メールマガジンID  54321"), QStringLiteral("* メールマガジン名"),
                     QStringLiteral("週刊ビジネス情報"), QStringLiteral("* 発行周期: 週刊"),
                     QStringLiteral("* データタイプ: テキスト"), QStringLiteral("* 登録アドレス"),
                     QStringLiteral("reader@example.com"), QStringLiteral("* 登録日時"),
                     QStringLiteral("2003/05/06 7:08:09"), QStringLiteral("* "),
                     QStringLiteral("* ご購読ありがとうございます。")};
    if (!publisherLine.isEmpty())
        l << publisherLine;
    return l;
}

inline QStringList melmaMail(const QStringList &description, bool withAddressLabel = true) {
    QStringList l = {QStringLiteral("★マガジンID："), QStringLiteral("m00098765"),
                     QStringLiteral("★マガジン名："), QStringLiteral("メルマ通信"),
                     QStringLiteral("★データタイプ："), QStringLiteral("テキスト"),
                     QStringLiteral("★発行周期："), QStringLiteral("不定期"),
                     QStringLiteral("★有料／無料の区別："), QStringLiteral("無料"),
                     QStringLiteral("★発行者メールアドレス："), QStringLiteral("melma-pub@example.ne.jp"),
                     QStringLiteral("★関連Webページ："), QStringLiteral("http://www.example.ne.jp/"),
                     QStringLiteral("★説明：")};
    l << description;
    if (withAddressLabel)
        l << QStringLiteral("★登録アドレス：") << QStringLiteral("reader@example.com")
          << QStringLiteral("★IPアドレス：") << QStringLiteral("10.0.0.1");
    return l;
}

// A block as the cancellation notices write it: label and value pairs.
inline QStringList kavPairs(const QString &system = QStringLiteral("ClickBox")) {
    return {QStringLiteral("▼発行システム："), system,
            QStringLiteral("▼マガジンID："), QStringLiteral("777"),
            QStringLiteral("▼マガジン名："), QStringLiteral("独自配信マガジン"),
            QStringLiteral("▼データタイプ："), QStringLiteral("HTML"),
            QStringLiteral("▼発行周期："), QStringLiteral("日刊"),
            QStringLiteral("▼有料/無料の区別："), QStringLiteral("有料"),
            QStringLiteral("▼管理者アドレス："), QStringLiteral("admin@example.org"),
            QStringLiteral("▼関連Webページ："), QStringLiteral("http://example.org/"),
            QStringLiteral("▼説明："), QStringLiteral("一行の説明"),
            QStringLiteral("▼登録アドレス："), QStringLiteral("reader@example.com"),
            QStringLiteral("▼登録日時："), QStringLiteral("2004/01/02 3:04:05"),
            QStringLiteral("▼登録に利用されたIPアドレス："), QStringLiteral("172.16.0.9")};
}

inline QStringList kavBlock(const QStringList &pairs) {
    return QStringList{QStringLiteral("[KAV-PBL]")} + pairs + QStringList{QStringLiteral("[/KAV-PBL]")};
}

inline QString crlf(const QStringList &lines) { return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"); }

} // namespace quil::test
