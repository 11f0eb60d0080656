// SPDX-License-Identifier: GPL-3.0-or-later
// The mail parser on a large paste: 10,000 confirmation mails of every
// layout, parsed and stored in tables in a temporary directory.
#include "autoinput/core/MailParser.h"
#include "platform/MessageBox.h"
#include "store/DataModules.h"
#include "text/Cp932.h"

#include <QStringList>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

QString mail(int i) {
    const QString n = QString::number(100000 + i);
    const QString body = QStringLiteral("このたびはご登録ありがとうございます。配信は毎週月曜日です。");
    QStringList l;
    switch (i % 5) {
    case 0:
        l = {"●登録メールマガジン:", "週刊ニュース速報 第" + n + "号", "●マガジンID:", n, "●データタイプ:", "テキスト",
             "●発行周期:", "週刊", "●関連Webページ:", "http://www.example.jp/m/" + n + "/", "●発行者メールアドレス:",
             "editor" + n + "@example.jp", "●登録アドレス:", "reader@example.com", "●登録日時:",
             "2003/04/05 12:34:56", "●IPアドレス:", "192.168.10.20"};
        break;
    case 1:
        l = {"メールマガジンID  " + n, "メールマガジン名", "：パブジン通信 " + n, "発行周期  月刊"};
        break;
    case 2:
        l = {"* メールマガジンID  " + n, "* メールマガジン名", "週刊ビジネス情報 " + n, "* 発行周期: 週刊",
             "* データタイプ: テキスト", "* 登録アドレス", "reader@example.com", "* 登録日時", "2003/05/06 7:08:09",
             "* ", body, "* このマガジンの内容に関しては発行者まで biz" + n + "@example.co.jp"};
        break;
    case 3:
        l = {"★マガジンID：", "m" + n, "★マガジン名：", "メルマ通信 " + n, "★データタイプ：", "テキスト", "★発行周期：",
             "不定期", "★有料／無料の区別：", "無料", "★発行者メールアドレス：", "pub" + n + "@example.ne.jp",
             "★関連Webページ：", "http://www.example.ne.jp/" + n, "★説明：", body, body, body, "★登録アドレス：",
             "reader@example.com", "★IPアドレス：", "10.0.0.1"};
        break;
    default:
        l = {"[KAV-PBL]", "▼発行システム：", "System" + QString::number(i % 7), "▼マガジンID：", n, "▼マガジン名：",
             "独自配信 " + n, "▼データタイプ：", "HTML", "▼発行周期：", "日刊", "▼有料/無料の区別：", "有料",
             "▼管理者アドレス：", "admin@example.org", "▼関連Webページ：", "http://example.org/", "▼説明：", body,
             "▼登録アドレス：", "reader@example.com", "▼登録日時：", "2004/01/02 3:04:05",
             "▼登録に利用されたIPアドレス：", "172.16.0.9", "[/KAV-PBL]"};
        break;
    }
    // Ordinary mail lines around each confirmation.
    l.prepend(QStringLiteral("Subject: ご登録の確認"));
    l << QString() << body << QStringLiteral("-- ") << QString();
    return l.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

const QString &paste() {
    static const QString text = [] {
        QString t;
        for (int i = 0; i < 10000; ++i)
            t += mail(i);
        return t;
    }();
    return text;
}

void BM_ParseTenThousandMails(benchmark::State &state) {
    quil::MessageBox::setTestMode(true);
    int records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        quil::ensureTables(dir.path());
        auto mags = std::make_unique<quil::Table>(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
        auto sys = std::make_unique<quil::Table>(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
        mags->setDirectory(dir.path());
        sys->setDirectory(dir.path());
        mags->open();
        sys->open();
        quil::MailParser parser(*mags, *sys);
        QString text = paste();
        state.ResumeTiming();

        parser.run(text, false);
        records = parser.registeredCount();

        state.PauseTiming();
        mags.reset();
        sys.reset();
        quil::MessageBox::clearShown();
        state.ResumeTiming();
    }
    state.counters["records"] = records;
    state.counters["MB"] = double(quil::cp932::byteLength(paste())) / 1e6; // as CP932
}
BENCHMARK(BM_ParseTenThousandMails)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
