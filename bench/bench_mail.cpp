// SPDX-License-Identifier: GPL-3.0-or-later
// quillet-cli import-mail over a Maildir of 10,000 confirmation mails in
// mixed encodings (base64 UTF-8, 7-bit ISO-2022-JP, quoted-printable
// Shift_JIS), through the command's own function, beside its parts: reading
// and decoding the messages alone, and the parser alone on the decoded texts
// over tables in memory. The difference to the whole is the table files.
// The same messages as one mbox, streamed message by message.
#include "autoinput/core/MailParser.h"
#include "autoinput/core/MailReader.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "platform/MessageBox.h"
#include "store/DataModules.h"
#include "text/Cp932.h"
#include "text/DateText.h"
#include "text/TextList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iconv.h>
#include <memory>

namespace {

constexpr int kMessages = 10000;

QString magMag(int i) {
    const QString n = QString::number(100000 + i);
    return QStringList{"●登録メールマガジン:", "週刊ニュース速報 第" + n + "号", "●マガジンID:", n,
                       "●データタイプ:", "テキスト", "●発行周期:", "週刊", "●関連Webページ:",
                       "http://www.example.jp/m/" + n + "/", "●発行者メールアドレス:", "editor" + n + "@example.jp",
                       "●登録アドレス:", "reader@example.com", "●登録日時:", "2003/04/05 12:34:56",
                       "●IPアドレス:", "192.168.10.20"}
        .join(QStringLiteral("\r\n"));
}

QString melma(int i) {
    const QString n = QString::number(100000 + i);
    const QString about = QStringLiteral("毎週の話題をお届けするメールマガジンです。");
    return QStringList{"★マガジンID：", "m" + n, "★マガジン名：", "メルマ通信 " + n, "★データタイプ：",
                       "テキスト", "★発行周期：", "不定期", "★有料／無料の区別：", "無料",
                       "★発行者メールアドレス：", "pub" + n + "@example.ne.jp", "★関連Webページ：",
                       "http://www.example.ne.jp/" + n, "★説明：", about, about, "★登録アドレス：",
                       "reader@example.com", "★IPアドレス：", "10.0.0.1"}
        .join(QStringLiteral("\r\n"));
}

// A confirmation mail with the ordinary lines of a real one around it.
QString body(int i) {
    const QString confirmation = (i % 2) ? melma(i) : magMag(i);
    return QStringLiteral("このたびはご登録ありがとうございます。\r\n以下の内容で登録いたしました。\r\n\r\n") +
           confirmation +
           QStringLiteral("\r\n\r\n配信の停止は登録したページからどうぞ。\r\n--\r\n配信スタンド事務局\r\n");
}

QByteArray wrapped(const QByteArray &base64) {
    QByteArray out;
    for (qsizetype i = 0; i < base64.size(); i += 76)
        out += base64.mid(i, 76) + "\r\n";
    return out;
}

QByteArray quotedPrintable(const QByteArray &bytes) {
    QByteArray out;
    int column = 0;
    auto put = [&](const QByteArray &piece) {
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += int(piece.size());
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
        } else if (c >= 33 && c <= 126 && c != '=') {
            put(QByteArray(1, char(c)));
        } else if (c == ' ' && i + 1 < bytes.size() && bytes[i + 1] != '\r') {
            put(" ");
        } else {
            put(QByteArray("=") + QByteArray::number(c, 16).toUpper().rightJustified(2, '0'));
        }
    }
    return out;
}

QByteArray iso2022jp(const QString &text) {
    iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 4 + 16, '\0');
    char *src = in.data();
    char *dst = out.data();
    size_t left = size_t(in.size()), room = size_t(out.size());
    const bool ok = iconv(cd, &src, &left, &dst, &room) != size_t(-1) && iconv(cd, nullptr, nullptr, &dst, &room) != size_t(-1);
    iconv_close(cd);
    if (!ok)
        return {};
    out.truncate(out.size() - qsizetype(room));
    return out;
}

QByteArray message(int i) {
    QByteArray head = "Return-Path: <info@mag2.com>\r\n"
                      "From: =?UTF-8?B?" + QStringLiteral("配信スタンド").toUtf8().toBase64() + "?= <info@mag2.com>\r\n"
                      "To: reader@example.com\r\n"
                      "Subject: =?UTF-8?B?" + QStringLiteral("ご登録の確認 %1").arg(i).toUtf8().toBase64() + "?=\r\n"
                      "Date: Sat, 05 Apr 2003 12:34:56 +0900\r\n"
                      "Message-ID: <" + QByteArray::number(i) + "@mail.example.jp>\r\n"
                      "MIME-Version: 1.0\r\n";
    const QString text = body(i);
    switch (i % 3) {
    case 0:
        return head + "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               wrapped(text.toUtf8().toBase64());
    case 1:
        return head + "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" +
               iso2022jp(text);
    default:
        return head + "Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" +
               quotedPrintable(quil::cp932::encode(text));
    }
}

struct Maildir {
    QTemporaryDir dir;
    qint64 bytes = 0;
    Maildir() {
        for (const char *sub : {"new", "cur", "tmp"})
            QDir(dir.path()).mkpath(QString::fromLatin1(sub));
        for (int i = 0; i < kMessages; ++i) {
            // Most mail has been seen already.
            const QString name = (i % 4 == 0) ? QStringLiteral("new/%1.M%2P1.bench").arg(1000000000 + i).arg(i)
                                              : QStringLiteral("cur/%1.M%2P1.bench:2,S").arg(1000000000 + i).arg(i);
            QFile f(dir.filePath(name));
            const QByteArray m = message(i);
            if (!f.open(QIODevice::WriteOnly) || f.write(m) != m.size())
                std::abort();
            bytes += m.size();
        }
    }
};

Maildir &maildir() {
    static Maildir m;
    return m;
}

// Newsletters that announce themselves: 10,000 messages from 200 lists,
// each with List-Id, List-Unsubscribe and the receiving server's verdict on
// a signature, in the body encodings of the confirmation mails above.
constexpr int kLists = 200;

QByteArray listMessage(int i) {
    const int list = i % kLists;
    const QByteArray id = "list" + QByteArray::number(list) + ".news" + QByteArray::number(list % 7) + ".example";
    const QByteArray domain = "news" + QByteArray::number(list % 7) + ".example";
    const QDateTime date = QDateTime(QDate(2026, 1, 1), QTime(9, 0)).addSecs(qint64(i) * 600);
    QByteArray head =
        "Authentication-Results: mx.example.jp; dkim=pass header.d=" + domain + "\r\n"
        "DKIM-Signature: v=1; a=rsa-sha256; d=" + domain +
        "; s=s1; h=from:to:subject:date:list-id:list-unsubscribe:list-unsubscribe-post; b=AAAA\r\n"
        "From: =?UTF-8?B?" + QStringLiteral("通信 %1 編集部").arg(list).toUtf8().toBase64() + "?= <editor@" + domain + ">\r\n"
        "To: reader@example.com\r\n"
        "Subject: =?UTF-8?B?" + QStringLiteral("今週の話題 第%1号").arg(i / kLists).toUtf8().toBase64() + "?=\r\n"
        "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n"
        "Message-ID: <l" + QByteArray::number(i) + "@" + domain + ">\r\n"
        "List-Id: =?UTF-8?B?" + QStringLiteral("通信 %1").arg(list).toUtf8().toBase64() + "?= <" + id + ">\r\n"
        "List-Unsubscribe: <https://" + domain + "/leave?l=" + id + ">, <mailto:leave@" + domain + "?subject=" + id + ">\r\n"
        "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"
        "MIME-Version: 1.0\r\n";
    // A newsletter's issue, of about the size of a confirmation mail.
    QString text = QStringLiteral("今週の話題をお届けします。\r\n\r\n");
    for (int line = 0; line < 4; ++line)
        text += QStringLiteral("第%1号の記事 %2: 季節の便りと読者からのお便りを紹介します。\r\n").arg(i / kLists).arg(line);
    text += QStringLiteral("\r\n配信の停止はこちらからどうぞ。\r\n");
    return head + "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           wrapped(text.toUtf8().toBase64());
}

struct ListMaildir {
    QTemporaryDir dir;
    qint64 bytes = 0;
    ListMaildir() {
        for (const char *sub : {"new", "cur", "tmp"})
            QDir(dir.path()).mkpath(QString::fromLatin1(sub));
        for (int i = 0; i < kMessages; ++i) {
            QFile f(dir.filePath(QStringLiteral("cur/%1.M%2P1.bench:2,S").arg(1000000000 + i).arg(i)));
            const QByteArray m = listMessage(i);
            if (!f.open(QIODevice::WriteOnly) || f.write(m) != m.size())
                std::abort();
            bytes += m.size();
        }
    }
};

ListMaildir &listMaildir() {
    static ListMaildir m;
    return m;
}

// The same messages in one mailbox file.
struct Mbox {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("saved.mbox"));
    qint64 bytes = 0;
    Mbox() {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        for (int i = 0; i < kMessages; ++i) {
            const QByteArray m = "From info@mag2.com Sat Apr  5 12:34:56 2003\r\n" + message(i) + "\r\n";
            if (f.write(m) != m.size())
                std::abort();
            bytes += m.size();
        }
    }
};

Mbox &mbox() {
    static Mbox m;
    return m;
}

// Nothing printed: the figures are the benchmark's.
struct Quiet {
    std::FILE *null = std::fopen("/dev/null", "w");
    quil::cli::Console console{null, null, false, false};
    Quiet() { console.installMessageBoxes(); }
    ~Quiet() { std::fclose(null); }
};

// import-mail over one source into a fresh register each time.
void timeImport(benchmark::State &state, const QString &source, qint64 bytes) {
    Quiet quiet;
    quil::cli::MailImport done;
    for (auto _ : state) {
        state.PauseTiming();
        auto data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", data->path().toUtf8());
        state.ResumeTiming();
        if (quil::cli::importMail({source}, quiet.console, &done) != 0)
            state.SkipWithError("import failed");
        state.PauseTiming();
        data.reset();
        state.ResumeTiming();
    }
    state.counters["messages"] = done.messages;
    state.counters["records"] = done.registered;
    state.counters["MB"] = double(bytes) / 1e6;
}

void BM_ImportMailMaildir10000(benchmark::State &state) { timeImport(state, maildir().dir.path(), maildir().bytes); }

// The newsletters' Maildir: 200 list records kept up to date by 10,000
// messages. Beside the figure above, of the same number of messages.
void BM_ImportMailListMaildir10000(benchmark::State &state) {
    timeImport(state, listMaildir().dir.path(), listMaildir().bytes);
}

// The same Maildir read again into the register it made: nothing is added.
void BM_ImportMailListMaildirAgain10000(benchmark::State &state) {
    Quiet quiet;
    quil::cli::MailImport done;
    auto data = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", data->path().toUtf8());
    if (quil::cli::importMail({listMaildir().dir.path()}, quiet.console, &done) != 0)
        state.SkipWithError("first import failed");
    for (auto _ : state) {
        if (quil::cli::importMail({listMaildir().dir.path()}, quiet.console, &done) != 0)
            state.SkipWithError("import failed");
    }
    state.counters["messages"] = done.messages;
    state.counters["records"] = done.registered;
}

// Listing, reading and decoding alone, as the command reads: what the mail
// reader costs.
void BM_ReadMaildir10000(benchmark::State &state) {
    int messages = 0;
    for (auto _ : state) {
        messages = 0;
        for (const QString &file : quil::mail::maildirFiles(maildir().dir.path())) {
            const std::unique_ptr<QFile> in = quil::mail::openRegularFile(file);
            quil::mail::MailReader reader(*in, file);
            if (reader.kind() != quil::mail::FileKind::Message)
                state.SkipWithError("not a message");
            quil::mail::MailText m;
            while (reader.next(m))
                messages += m.error.isEmpty() && !m.text.isEmpty();
        }
    }
    state.counters["messages"] = messages;
}

// The mailbox through the command: read a message at a time, each parsed
// and stored before the next is read.
void BM_ImportMailMbox10000(benchmark::State &state) { timeImport(state, mbox().path, mbox().bytes); }

// Splitting and decoding the mailbox alone.
void BM_ReadMboxStreamed10000(benchmark::State &state) {
    int messages = 0;
    for (auto _ : state) {
        messages = 0;
        const std::unique_ptr<QFile> in = quil::mail::openRegularFile(mbox().path);
        quil::mail::MailReader reader(*in, mbox().path);
        quil::mail::MailText m;
        while (reader.next(m))
            messages += m.error.isEmpty() && !m.text.isEmpty();
    }
    state.counters["messages"] = messages;
    state.SetBytesProcessed(state.iterations() * mbox().bytes);
}

// Listing and reading the files alone: the file system's share of the above.
void BM_ReadFilesOnly10000(benchmark::State &state) {
    qint64 bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const QString &file : quil::mail::maildirFiles(maildir().dir.path()))
            bytes += quil::textlist::readBytes(file).size();
    }
    state.counters["MB"] = double(bytes) / 1e6;
}

// The parser alone on the decoded texts, one run per message as the command
// does, over tables in memory: parser and cursor without the disk.
void BM_ParseDecodedInMemory10000(benchmark::State &state) {
    QList<QString> texts;
    for (const QString &file : quil::mail::maildirFiles(maildir().dir.path()))
        for (const auto &m : quil::mail::readMessages(quil::textlist::readBytes(file), file))
            texts.append(m.text);
    quil::MessageBox::setTestMode(true);
    int records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto mags = std::make_unique<quil::Table>(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
        auto sys = std::make_unique<quil::Table>(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
        mags->setDirectory(QStringLiteral(":memory:"));
        sys->setDirectory(QStringLiteral(":memory:"));
        mags->createIfMissing();
        sys->createIfMissing();
        mags->open();
        sys->open();
        state.ResumeTiming();
        records = 0;
        for (const QString &t : texts) {
            QString text = t;
            quil::MailParser parser(*mags, *sys);
            parser.run(text, false);
            records += parser.registeredCount();
        }
        state.PauseTiming();
        mags.reset();
        sys.reset();
        quil::MessageBox::clearShown();
        state.ResumeTiming();
    }
    quil::MessageBox::setTestMode(false);
    state.counters["records"] = records;
}

} // namespace

BENCHMARK(BM_ImportMailMaildir10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportMailListMaildir10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportMailListMaildirAgain10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadMaildir10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportMailMbox10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadMboxStreamed10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadFilesOnly10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ParseDecodedInMemory10000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv) {
    // As quillet-cli itself starts.
    quil::datetext::settleLocalTimeZone();
    QCoreApplication qapp(argc, argv);
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    benchmark::Initialize(&argc, argv);
    maildir();
    mbox();
    if (maildir().bytes == 0 || mbox().bytes == 0 || iso2022jp(QStringLiteral("★")).isEmpty()) {
        std::fprintf(stderr, "could not build the Maildir\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
