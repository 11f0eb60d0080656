// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Trickle.h"
#include "autoinput/core/DropInput.h"
#include "autoinput/core/HtmlText.h"
#include "autoinput/core/MailReader.h"
#include "tests/autoinput/ParserFixture.h"
#include "text/Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QBuffer>
#include <QElapsedTimer>

#include <cerrno>
#include <functional>
#include <grp.h>
#include <iconv.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quil;
using namespace quil::test;
using mail::FileKind;
using mail::MailText;

namespace {

// Bytes of the text in a charset, as a mail program would write them. The
// program itself never encodes to these sets, so the test uses iconv.
QByteArray iconvBytes(const QString &text, const char *charset) {
    iconv_t cd = iconv_open(charset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "no converter for " << charset;
        return {};
    }
    QByteArray in = text.toUtf8();
    QByteArray out(in.size() * 4 + 16, '\0');
    char *inp = in.data();
    size_t inLeft = size_t(in.size());
    char *outp = out.data();
    size_t outLeft = size_t(out.size());
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1))
        ADD_FAILURE() << charset << " cannot hold " << text.toStdString();
    iconv(cd, nullptr, nullptr, &outp, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - qsizetype(outLeft));
    return out;
}

QByteArray base64Lines(const QByteArray &bytes) {
    const QByteArray b64 = bytes.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < b64.size(); i += 76)
        out += b64.mid(i, 76) + "\r\n";
    return out;
}

// Quoted-printable with soft breaks, lines at most 76 long.
QByteArray quotedPrintable(const QByteArray &bytes) {
    QByteArray out;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype li = 0; li < lines.size(); ++li) {
        QByteArray line = lines[li];
        if (line.endsWith('\r'))
            line.chop(1);
        QByteArray cur;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            const bool last = i + 1 == line.size();
            QByteArray piece;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last))
                piece = QByteArray(1, char(c));
            else
                piece = "=" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
            if (cur.size() + piece.size() > 75) {
                out += cur + "=\r\n";
                cur.clear();
            }
            cur += piece;
        }
        out += cur;
        if (li + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

QString htmlEscaped(const QString &text) {
    QString out = text.toHtmlEscaped();
    out.replace(QStringLiteral("\r\n"), QStringLiteral("<br>\r\n"));
    return QStringLiteral("<html><head><title>登録のお知らせ</title><style>p { color: red; }</style></head>\r\n"
                          "<body>\r\n") +
           out + QStringLiteral("</body></html>\r\n");
}

const QByteArray Headers = "From: =?ISO-2022-JP?B?GyRCJV4kMCReJDAbKEI=?= <info@example.jp>\r\n"
                           "To: reader@example.com\r\n"
                           "Date: Sat, 05 Apr 2003 12:34:56 +0900\r\n"
                           "Subject: Registration\r\n"
                           "Message-ID: <1@example.jp>\r\n"
                           "MIME-Version: 1.0\r\n";

QByteArray message(const QByteArray &contentHeaders, const QByteArray &body) {
    return Headers + contentHeaders + "\r\n" + body;
}

QByteArray withLf(QByteArray bytes) { return bytes.replace("\r\n", "\n"); }

// The forms mail programs send a text in; each turns CR LF text into a message.
struct Form {
    const char *name;
    std::function<QByteArray(const QString &)> make;
};

QList<Form> forms() {
    return {
        {"ISO-2022-JP 7bit",
         [](const QString &t) {
             return message("Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n",
                            iconvBytes(t, "ISO-2022-JP"));
         }},
        {"UTF-8 base64",
         [](const QString &t) {
             return message("Content-Type: text/plain; charset=\"UTF-8\"\r\nContent-Transfer-Encoding: base64\r\n",
                            base64Lines(t.toUtf8()));
         }},
        {"Shift_JIS quoted-printable",
         [](const QString &t) {
             return message("Content-Type: text/plain; charset=Shift_JIS\r\n"
                            "Content-Transfer-Encoding: quoted-printable\r\n",
                            quotedPrintable(cp932::encode(t)));
         }},
        {"EUC-JP 8bit",
         [](const QString &t) {
             return message("Content-Type: text/plain; charset=EUC-JP\r\nContent-Transfer-Encoding: 8bit\r\n",
                            iconvBytes(t, "EUC-JP"));
         }},
        {"multipart/alternative",
         [](const QString &t) {
             const QString html = htmlEscaped(QStringLiteral("HTML版のご案内\r\n") + t);
             return message("Content-Type: multipart/alternative;\r\n boundary=\"=_alt_1\"\r\n",
                            "This is a multi-part message in MIME format.\r\n\r\n"
                            "--=_alt_1\r\n"
                            "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                            "Content-Transfer-Encoding: 7bit\r\n\r\n" +
                                iconvBytes(t, "ISO-2022-JP") +
                                "\r\n--=_alt_1\r\n"
                                "Content-Type: text/html; charset=UTF-8\r\n"
                                "Content-Transfer-Encoding: base64\r\n\r\n" +
                                base64Lines(html.toUtf8()) + "\r\n--=_alt_1--\r\n");
         }},
        {"HTML only",
         [](const QString &t) {
             return message("Content-Type: text/html; charset=Shift_JIS\r\n"
                            "Content-Transfer-Encoding: quoted-printable\r\n",
                            quotedPrintable(cp932::encode(htmlEscaped(t))));
         }},
        {"ISO-2022-JP 7bit, LF line ends",
         [](const QString &t) {
             return withLf(message("Content-Type: text/plain; charset=ISO-2022-JP\r\n",
                                   iconvBytes(t, "ISO-2022-JP")));
         }},
        {"multipart/alternative, LF line ends",
         [](const QString &t) { return withLf(forms()[4].make(t)); }},
    };
}

QString seedText(const char *name) {
    QFile f(QStringLiteral(QUIL_SOURCE_DIR "/fuzz/seeds/fuzz_parser/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing sample " << name;
        return {};
    }
    return cp932::decode(f.readAll());
}

// The confirmation mails of the four layouts, as the parser tests use them.
QList<std::pair<const char *, QString>> layouts() {
    return {
        {"magmag", crlf(magMagMail())},
        {"pubzine one line", crlf(pubzineOneLineMail())},
        {"pubzine starred", crlf(pubzineStarredMail())},
        {"melma", crlf(melmaMail({QStringLiteral("毎週のニュース"), QStringLiteral("二行目の説明")}))},
        {"kav", crlf(kavBlock(kavPairs()))},
        {"seed magmag", seedText("magmag.txt")},
        {"seed pubzine", seedText("pubzine.txt")},
        {"seed starred", seedText("starred.txt")},
        {"seed melma", seedText("melma.txt")},
        {"seed kav", seedText("kav.txt")},
    };
}

MailText readOne(const QByteArray &bytes) {
    const QList<mail::MailText> mails = mail::readMessages(bytes, QStringLiteral("mail.eml"));
    EXPECT_EQ(mails.size(), 1);
    return mails.value(0);
}

} // namespace

// ---- classify --------------------------------------------------------------

TEST(MailClassify, EachFormAMailProgramSendsIsAMessage) {
    const QString text = crlf(magMagMail());
    for (const Form &f : forms())
        EXPECT_EQ(mail::classify(f.make(text)), FileKind::Message) << f.name;
    // Folded header lines and field names in any case.
    EXPECT_EQ(mail::classify("subject: =?UTF-8?B?5pel5pys?=\r\n =?UTF-8?B?5pel5pys?=\r\nX-Mailer: a\r\n\r\nbody"),
              FileKind::Message);
    EXPECT_EQ(mail::classify("MIME-Version: 1.0\n\n"), FileKind::Message);
    EXPECT_EQ(mail::classify("Content-Type: text/plain\r\n\r\n"), FileKind::Message);
    EXPECT_EQ(mail::classify("X-Original: yes\r\nDATE: today\r\n\r\nbody"), FileKind::Message);
}

TEST(MailClassify, FromLineBeforeHeadersIsAnMbox) {
    EXPECT_EQ(mail::classify("From info@example.jp Sat Apr  5 12:34:56 2003\nFrom: info@example.jp\n\nbody\n"),
              FileKind::Mbox);
    EXPECT_EQ(mail::classify("From - Sat Apr  5 12:34:56 2003\r\nSubject: x\r\n\r\n"), FileKind::Mbox);
    // A "From " line over text that is no header block is no mailbox.
    EXPECT_EQ(mail::classify("From the editor\nこんにちは\n\n"), FileKind::Other);
    EXPECT_EQ(mail::classify("From the editor\n"), FileKind::Other);
}

TEST(MailClassify, TextFilesStayOther) {
    // A confirmation mail pasted into a Shift_JIS file, headers and all gone.
    EXPECT_EQ(mail::classify(cp932::encode(crlf(magMagMail()))), FileKind::Other);
    EXPECT_EQ(mail::classify(cp932::encode(crlf(kavBlock(kavPairs())))), FileKind::Other);
    // Japanese header names, as a reader copies them out of a mail window.
    EXPECT_EQ(mail::classify(cp932::encode(QStringLiteral("件名: お知らせ\r\n差出人: info\r\n\r\n本文\r\n"))),
              FileKind::Other);
    // Header-like lines, but no field every mail has.
    EXPECT_EQ(mail::classify("Re: hello\r\nNote: x\r\n\r\nbody"), FileKind::Other);
    EXPECT_EQ(mail::classify("http://www.example.jp/\r\n\r\n"), FileKind::Other);
    // No empty line after the headers.
    EXPECT_EQ(mail::classify("Subject: x\r\nFrom: y\r\n"), FileKind::Other);
    // A continuation line cannot come first; a line without a colon ends it.
    EXPECT_EQ(mail::classify(" Subject: x\r\n\r\n"), FileKind::Other);
    EXPECT_EQ(mail::classify("Subject: x\r\nsome words\r\n\r\n"), FileKind::Other);
    EXPECT_EQ(mail::classify("Subject x\r\n\r\n"), FileKind::Other);
    EXPECT_EQ(mail::classify("\r\nSubject: x\r\n\r\n"), FileKind::Other);
    EXPECT_EQ(mail::classify(""), FileKind::Other);
    EXPECT_EQ(mail::classify("From: a@example.jp\0\r\n\r\n"), FileKind::Other);
    EXPECT_TRUE(mail::readMessages(cp932::encode(crlf(magMagMail())), QStringLiteral("a.txt")).isEmpty());
}

// ---- decoding --------------------------------------------------------------

TEST(MailReader, EachFormGivesTheTextAsWritten) {
    // Leading blanks, an empty first line and a trailing blank are the mail's own.
    const QString text = QStringLiteral("\r\n  ご登録ありがとうございます。 \r\n●マガジンID:\r\n123456\r\n\r\n"
                                        "有料／無料  ＡＢＣ\r\n");
    for (const Form &f : forms()) {
        const bool html = QByteArray(f.name) == "HTML only";
        const MailText m = readOne(f.make(text));
        EXPECT_TRUE(m.error.isEmpty()) << f.name << ": " << m.error.toStdString();
        EXPECT_EQ(m.label, QStringLiteral("mail.eml"));
        EXPECT_EQ(m.subject, QStringLiteral("Registration"));
        // A browser shows no blanks at the start of a source line.
        const QString expected =
            html ? QStringLiteral("\r\nご登録ありがとうございます。 \r\n●マガジンID:\r\n123456\r\n\r\n"
                                  "有料／無料  ＡＢＣ\r\n")
                 : text;
        EXPECT_EQ(m.text, expected) << f.name;
    }
}

TEST(MailReader, CrLfAndLfFilesReadTheSame) {
    const QByteArray crlfMail = forms()[0].make(crlf(magMagMail()));
    ASSERT_TRUE(crlfMail.contains("\r\n"));
    const MailText a = readOne(crlfMail);
    const MailText b = readOne(withLf(crlfMail));
    EXPECT_EQ(a.text, crlf(magMagMail()));
    EXPECT_EQ(b.text, a.text);
    // A last line without a line end is ended too; lone CRs become CR LF.
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=UTF-8\r\n", "a\rb\nc")).text,
              QStringLiteral("a\r\nb\r\nc\r\n"));
}

TEST(MailReader, WindowsAdditionsReadAsTheSenderWroteThem) {
    // NEC row 13 and the wave dash, which plain ISO-2022-JP converters refuse.
    const QByteArray jis = "\x1b$B-!!A-5\x1b(B \x1b(I12\x1b(B\r\n";
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=iso-2022-jp\r\n", jis)).text,
              QStringLiteral("①～Ⅰ ｱｲ\r\n"));
    const QString sjis = QStringLiteral("①～髙﨑\r\n");
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=\"shift_jis\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n",
                              base64Lines(cp932::encode(sjis))))
                  .text,
              sjis);
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=euc-jp\r\n", "\xad\xa1\xa1\xc1\r\n")).text,
              QStringLiteral("①～\r\n"));
}

TEST(MailReader, MissingCharsetIsGuessed) {
    const QString text = QStringLiteral("登録アドレス\r\n");
    EXPECT_EQ(readOne(message("", iconvBytes(text, "ISO-2022-JP"))).text, text);
    EXPECT_EQ(readOne(message("Content-Type: text/plain\r\n", text.toUtf8())).text, text);
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=us-ascii\r\n", cp932::encode(text))).text, text);
    // An HTML part may name its charset in a meta element.
    EXPECT_EQ(readOne(message("Content-Type: text/html\r\n",
                              "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\">" +
                                  iconvBytes(text, "EUC-JP")))
                  .text,
              text);
}

TEST(MailReader, OtherCharsetsGoThroughIconvAndBadBytesBecomeReplacementCharacters) {
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=ISO-8859-1\r\n", "caf\xe9\r\n")).text,
              QStringLiteral("café\r\n"));
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=EUC-JP\r\n", "a\xff\xa4\xa2z\r\n")).text,
              QStringLiteral("a\uFFFDあz\r\n"));
    EXPECT_EQ(readOne(message("Content-Type: text/plain; charset=UTF-8\r\n", "a\xffz\r\n")).text,
              QStringLiteral("a\uFFFDz\r\n"));
}

TEST(MailReader, EncodedSubjectIsDecoded) {
    const QByteArray subject = "Subject: =?ISO-2022-JP?B?" + iconvBytes(QStringLiteral("登録の"), "ISO-2022-JP").toBase64() +
                               "?=\r\n =?UTF-8?B?" + QStringLiteral("お知らせ").toUtf8().toBase64() + "?=\r\n";
    const QByteArray bytes = "From: info@example.jp\r\n" + subject +
                             "Content-Type: text/plain; charset=UTF-8\r\n\r\n本文\r\n";
    ASSERT_EQ(mail::classify(bytes), FileKind::Message);
    const MailText m = readOne(bytes);
    EXPECT_EQ(m.subject, QStringLiteral("登録のお知らせ"));
    EXPECT_EQ(m.text, QStringLiteral("本文\r\n"));

    // Raw Shift_JIS in a header, as some Japanese mail programs write it.
    const QByteArray raw = "From: info@example.jp\r\nSubject: " + cp932::encode(QStringLiteral("ご登録完了")) +
                           "\r\n\r\n本文\r\n";
    EXPECT_EQ(readOne(raw).subject, QStringLiteral("ご登録完了"));
}

TEST(MailReader, ThePlainPartIsTheText) {
    // A text attachment is not the message's text; the HTML body is.
    const QByteArray mixed = message("Content-Type: multipart/mixed; boundary=b\r\n",
                                     "--b\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                                     "Content-Disposition: attachment; filename=log.txt\r\n\r\n添付\r\n"
                                     "--b\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<p>本文</p>\r\n"
                                     "--b\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n後の本文\r\n--b--\r\n");
    EXPECT_EQ(readOne(mixed).text, QStringLiteral("後の本文\r\n"));
    const QByteArray htmlOnly = message("Content-Type: multipart/mixed; boundary=b\r\n",
                                        "--b\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<p>本文</p>\r\n"
                                        "--b\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                                        "Content-Disposition: attachment\r\n\r\n添付\r\n--b--\r\n");
    EXPECT_EQ(readOne(htmlOnly).text, QStringLiteral("本文\r\n"));
    // A confirmation mail forwarded as an attachment.
    const QByteArray forwarded = message("Content-Type: multipart/mixed; boundary=b\r\n",
                                         "--b\r\nContent-Type: message/rfc822\r\n\r\n" +
                                             forms()[1].make(QStringLiteral("転送された本文\r\n")) + "\r\n--b--\r\n");
    EXPECT_EQ(readOne(forwarded).text, QStringLiteral("転送された本文\r\n"));
}

TEST(MailReader, UndecodableBodiesNameTheReason) {
    MailText m = readOne(message("Content-Type: multipart/mixed; boundary=b\r\n",
                                 "--b\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                                 "JVBERi0xLjQK\r\n--b--\r\n"));
    EXPECT_EQ(m.error, QStringLiteral("メールの本文がありません"));
    EXPECT_TRUE(m.text.isEmpty());
    EXPECT_EQ(m.subject, QStringLiteral("Registration"));

    m = readOne(message("Content-Type: text/plain; charset=x-no-such-charset\r\n", "abc\r\n"));
    EXPECT_EQ(m.error, QStringLiteral("メールの文字コード「x-no-such-charset」を読めません"));
    EXPECT_TRUE(m.text.isEmpty());

    // Nothing that is no charset name is looked up.
    m = readOne(message("Content-Type: text/plain; charset=\"utf-8 <b>\"\r\n", "abc\r\n"));
    EXPECT_EQ(m.error, QStringLiteral("メールの文字コード「utf-8 <b>」を読めません"));

    m = readOne(message("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n",
                        "!!!! ####\r\n"));
    EXPECT_EQ(m.error, QStringLiteral("メールの本文を読めません"));
    EXPECT_TRUE(m.text.isEmpty());

    // An empty body is read, as nothing.
    m = readOne(message("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n", "\r\n"));
    EXPECT_TRUE(m.error.isEmpty());
    EXPECT_TRUE(m.text.isEmpty());
}

TEST(MailReader, MboxGivesEachMessageAndUnquotesFromLines) {
    const QByteArray mbox = "From info@example.jp Sat Apr  5 12:34:56 2003\n" + withLf(forms()[0].make(crlf(magMagMail()))) +
                            "\n"
                            "From melma@example.ne.jp Sun Apr  6 01:02:03 2003\n"
                            "From: melma@example.ne.jp\n"
                            "Subject: second\n"
                            "Content-Type: text/plain; charset=UTF-8\n"
                            "\n"
                            "Hello,\n"
                            ">From the editor: welcome.\n"
                            ">>From a quoted line.\n"
                            "> From stays.\n"
                            "\n"
                            "From x@example.com Mon Apr  7 01:02:03 2003\n"
                            "From: x@example.com\n"
                            "Subject: third\n"
                            "Content-Type: text/plain; charset=UTF-8\n"
                            "Content-Transfer-Encoding: base64\n"
                            "\n" +
                            QByteArray(">From in base64 is text").toBase64() + "\n";
    ASSERT_EQ(mail::classify(mbox), FileKind::Mbox);
    const QList<MailText> mails = mail::readMessages(mbox, QStringLiteral("/tmp/box"));
    ASSERT_EQ(mails.size(), 3);
    EXPECT_EQ(mails[0].label, QStringLiteral("/tmp/box#1"));
    EXPECT_EQ(mails[1].label, QStringLiteral("/tmp/box#2"));
    EXPECT_EQ(mails[2].label, QStringLiteral("/tmp/box#3"));
    EXPECT_EQ(mails[0].text, crlf(magMagMail()));
    EXPECT_EQ(mails[1].subject, QStringLiteral("second"));
    EXPECT_EQ(mails[1].text, QStringLiteral("Hello,\r\nFrom the editor: welcome.\r\n>From a quoted line.\r\n"
                                            "> From stays.\r\n"));
    EXPECT_EQ(mails[2].text, QStringLiteral(">From in base64 is text\r\n"));
    for (const MailText &m : mails)
        EXPECT_TRUE(m.error.isEmpty()) << m.error.toStdString();

    // A lone message keeps a quoted From line as written.
    EXPECT_EQ(readOne(message("Content-Type: text/plain\r\n", ">From here\r\n")).text, QStringLiteral(">From here\r\n"));
}

namespace {

using quil::test::Trickle;

// A head, then the same bytes again and again for ever, as /dev/zero or a
// program that never stops writing; counts what was read.
class Endless : public QIODevice {
public:
    Endless(QByteArray head, QByteArray repeated) : m_head(std::move(head)), m_repeated(std::move(repeated)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 given = 0;

protected:
    qint64 readData(char *data, qint64 max) override {
        for (qint64 i = 0; i < max; ++i, ++given)
            data[i] = given < m_head.size() ? m_head[given]
                                            : m_repeated[(given - m_head.size()) % m_repeated.size()];
        return max;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_head, m_repeated;
};

QList<MailText> readAll(QIODevice &in, const QString &label, qint64 limit = mail::MaxMessageBytes) {
    mail::MailReader reader(in, label, limit);
    QList<MailText> mails;
    MailText m;
    while (reader.next(m))
        mails.append(m);
    return mails;
}

bool same(const QList<MailText> &a, const QList<MailText> &b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].label != b[i].label || a[i].text != b[i].text || a[i].error != b[i].error ||
            a[i].subject != b[i].subject)
            return false;
    return true;
}

QByteArray threeMessageMbox(const QByteArray &middleBody) {
    return "From a Sat Apr  5 12:34:56 2003\n" + withLf(message("Content-Type: text/plain; charset=UTF-8\r\n",
                                                                 QStringLiteral("一通目\r\n").toUtf8())) +
           "\nFrom b Sat Apr  5 12:34:57 2003\n" +
           "From: b@example.jp\nSubject: =?UTF-8?B?" + QStringLiteral("大きい").toUtf8().toBase64() +
           "?=\nContent-Type: text/plain; charset=UTF-8\n\n" + middleBody +
           "\nFrom c Sat Apr  5 12:34:58 2003\n" +
           withLf(message("Content-Type: text/plain; charset=UTF-8\r\n", QStringLiteral("三通目\r\n").toUtf8()));
}

} // namespace

TEST(MailReader, AStreamGivesTheSameMessagesHoweverItsBytesArrive) {
    QByteArray mbox;
    for (const Form &f : forms())
        mbox += "From info@example.jp Sat Apr  5 12:34:56 2003\r\n" + f.make(crlf(magMagMail())) + "\r\n";
    mbox += threeMessageMbox("本文\n>From quoted\n");
    const QList<MailText> whole = mail::readMessages(mbox, QStringLiteral("box"));
    ASSERT_EQ(whole.size(), forms().size() + 3);
    for (const qint64 step : {1, 2, 5, 7, 4096}) {
        Trickle in(mbox, step);
        EXPECT_TRUE(same(readAll(in, QStringLiteral("box")), whole)) << "step " << step;
    }
    // A message and a text that is no mail, a byte at a time.
    const QByteArray eml = forms()[1].make(crlf(magMagMail()));
    Trickle one(eml, 1);
    EXPECT_TRUE(same(readAll(one, QStringLiteral("m.eml")), mail::readMessages(eml, QStringLiteral("m.eml"))));
    const QByteArray text = cp932::encode(crlf(magMagMail()));
    Trickle plain(text, 3);
    mail::MailReader reader(plain, QStringLiteral("a.txt"));
    EXPECT_EQ(reader.kind(), FileKind::Other);
    EXPECT_EQ(reader.text(), text);
}

TEST(MailReader, AMessagePastTheLimitIsNamedAndTheOthersAreStillRead) {
    const qint64 limit = 2000;
    QByteArray big;
    while (big.size() <= limit)
        big += "0123456789 0123456789 0123456789\n";
    // The limit is the message's own size, envelope included, not the mailbox's.
    const QByteArray fits = threeMessageMbox("short\n");
    Trickle small(fits + fits + fits, 64);
    EXPECT_EQ(readAll(small, QStringLiteral("box"), limit).size(), 9);

    for (const QByteArray &middle : {big, big + QByteArray(5000, 'x') + "\n", QByteArray(5000, 'y')}) {
        Trickle in(threeMessageMbox(middle), 300);
        const QList<MailText> mails = readAll(in, QStringLiteral("box"), limit);
        ASSERT_EQ(mails.size(), 3);
        EXPECT_EQ(mails[0].text, QStringLiteral("一通目\r\n"));
        EXPECT_TRUE(mails[0].error.isEmpty());
        EXPECT_EQ(mails[1].label, QStringLiteral("box#2"));
        EXPECT_EQ(mails[1].subject, QStringLiteral("大きい"));
        EXPECT_EQ(mails[1].error, QStringLiteral("メールが大きすぎます (2000 バイト を超えています)"));
        EXPECT_TRUE(mails[1].text.isEmpty());
        EXPECT_EQ(mails[2].label, QStringLiteral("box#3"));
        EXPECT_EQ(mails[2].text, QStringLiteral("三通目\r\n"));
    }

    // A lone message, and a text that is no mail.
    QBuffer eml;
    eml.setData(message("Content-Type: text/plain\r\n", big));
    eml.open(QIODevice::ReadOnly);
    const QList<MailText> one = readAll(eml, QStringLiteral("m.eml"), limit);
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0].error, QStringLiteral("メールが大きすぎます (2000 バイト を超えています)"));
    EXPECT_EQ(one[0].subject, QStringLiteral("Registration"));
    QBuffer text;
    text.setData(big);
    text.open(QIODevice::ReadOnly);
    mail::MailReader reader(text, QStringLiteral("a.txt"), limit);
    EXPECT_EQ(reader.kind(), FileKind::Other);
    EXPECT_EQ(test::errorOf([&] { reader.text(); }),
              QStringLiteral("'a.txt' は大きすぎて読み込めません (2000 バイト を超えています)。"));
    EXPECT_EQ(mail::MaxMessageBytes, 64 * 1024 * 1024);
}

TEST(MailReader, InputThatNeverEndsStopsAtTheLimit) {
    const qint64 limit = 1 << 20;
    // Zeros, an endless header line, an endless message in a mailbox: each
    // is given up once the limit is passed, having read little more.
    Endless zeros(QByteArray(), QByteArray(1, '\0'));
    mail::MailReader z(zeros, QStringLiteral("標準入力"), limit);
    EXPECT_EQ(z.kind(), FileKind::Other);
    EXPECT_EQ(test::errorOf([&] { z.text(); }),
              QStringLiteral("'標準入力' は大きすぎて読み込めません (1 MB を超えています)。"));
    EXPECT_LT(zeros.given, 2 * limit);

    Endless header("Subject: ", "a");
    mail::MailReader h(header, QStringLiteral("標準入力"), limit);
    EXPECT_EQ(h.kind(), FileKind::Other);
    EXPECT_FALSE(test::errorOf([&] { h.text(); }).isEmpty());
    EXPECT_LT(header.given, 3 * limit);

    Endless body("From x\nSubject: s\n\n", "y\n");
    mail::MailReader b(body, QStringLiteral("標準入力"), limit);
    MailText m;
    ASSERT_TRUE(b.next(m));
    EXPECT_EQ(m.error, QStringLiteral("メールが大きすぎます (1 MB を超えています)"));
    EXPECT_EQ(m.subject, QStringLiteral("s"));
    EXPECT_LT(body.given, 2 * limit);
}

TEST(MailReader, OnlyRegularFilesAreOpened) {
    TempEnv env;
    const QString fifo = env.cwd() + "/fifo";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // No writer ever comes: opening it must not wait for one.
    EXPECT_EQ(test::errorOf([&] { mail::openRegularFile(fifo); }),
              QStringLiteral("'%1' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。").arg(fifo));
    EXPECT_EQ(test::errorOf([] { mail::openRegularFile(QStringLiteral("/dev/zero")); }),
              QStringLiteral("'/dev/zero' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。"));
    EXPECT_EQ(test::errorOf([&] { mail::openRegularFile(env.cwd()); }),
              QStringLiteral("ファイル '%1' を読み込めませんでした。").arg(env.cwd()));
    EXPECT_EQ(test::errorOf([&] { mail::openRegularFile(env.cwd() + "/gone.eml"); }),
              QStringLiteral("ファイル '%1/gone.eml' を読み込めませんでした。").arg(env.cwd()));
    const QString eml = env.writeFile("m.eml", forms()[0].make(QStringLiteral("本文\r\n")));
    const std::unique_ptr<QFile> file = mail::openRegularFile(eml);
    const QList<MailText> mails = readAll(*file, eml);
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails[0].text, QStringLiteral("本文\r\n"));
}

TEST(MailReader, EchoedNamesAreCutAndShowNoControls) {
    // A charset name of 5,000 characters is named by its beginning.
    const QByteArray name(5000, 'x');
    const MailText m = readOne(message("Content-Type: text/plain; charset=" + name + "\r\n", "abc\r\n"));
    EXPECT_EQ(m.error, QStringLiteral("メールの文字コード「%1…」を読めません").arg(QString(64, u'x')));

    EXPECT_EQ(mail::echoed(QStringLiteral("iso-2022-jp")), QStringLiteral("iso-2022-jp"));
    EXPECT_EQ(mail::echoed(QString(64, u'あ')), QString(64, u'あ'));
    EXPECT_EQ(mail::echoed(QString(65, u'あ')), QString(64, u'あ') + QChar(0x2026));
    EXPECT_EQ(mail::echoed(QStringLiteral("a\x1b[2Jb\tc")), QStringLiteral("a\uFFFD[2Jb\uFFFDc"));
    // A character outside the BMP is never halved at the cut.
    const QString wide = QString(63, u'a') + QStringLiteral("\U0001F600") + QStringLiteral("zz");
    EXPECT_EQ(mail::echoed(wide), QString(63, u'a') + QChar(0x2026));
}

TEST(MailReader, MaildirFilesInNameOrder) {
    TempEnv env;
    QDir root(env.root());
    root.mkpath("box/new");
    root.mkpath("box/cur");
    root.mkpath("box/tmp");
    root.mkpath("box/cur/sub");
    auto put = [&](const QString &name) {
        QFile f(root.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Subject: x\r\n\r\n");
    };
    put("box/cur/1049500000.1.host:2,S");
    put("box/new/1049600000.2.host");
    put("box/cur/1049700000.3.host:2,");
    put("box/tmp/1049800000.4.host");
    put("box/new/.hidden");
    const QString base = root.absoluteFilePath("box");
    EXPECT_EQ(mail::maildirFiles(base), (QStringList{base + "/cur/1049500000.1.host:2,S", base + "/new/1049600000.2.host",
                                                     base + "/cur/1049700000.3.host:2,"}));
    // new/ alone or cur/ alone makes a Maildir too, and each is read whole.
    root.mkpath("onlynew/new");
    put("onlynew/new/1");
    put("onlynew/new/2");
    root.mkpath("onlycur/cur");
    put("onlycur/cur/3:2,S");
    EXPECT_TRUE(mail::isMaildir(root.absoluteFilePath("onlynew")));
    EXPECT_EQ(mail::maildirFiles(root.absoluteFilePath("onlynew")),
              (QStringList{root.absoluteFilePath("onlynew/new/1"), root.absoluteFilePath("onlynew/new/2")}));
    EXPECT_EQ(mail::maildirFiles(root.absoluteFilePath("onlycur")), QStringList{root.absoluteFilePath("onlycur/cur/3:2,S")});
    // Not a Maildir: a folder without either, a file named so, no folder at all.
    root.mkpath("plain/tmp");
    put("plain/new");
    EXPECT_FALSE(mail::isMaildir(root.absoluteFilePath("plain")));
    EXPECT_TRUE(mail::maildirFiles(root.absoluteFilePath("plain")).isEmpty());
    EXPECT_TRUE(mail::maildirFiles(root.absoluteFilePath("missing")).isEmpty());
    EXPECT_TRUE(mail::maildirFiles(root.absoluteFilePath("box/new/1049600000.2.host")).isEmpty());
}

namespace {

// Runs f where file permissions hold: as nobody in a child process when this
// is root (whom permissions do not stop), else here. Returns what f returns,
// or nothing with a reason in skipped.
std::optional<QString> withoutRoot(const std::function<QString()> &f, QString &skipped) {
    if (geteuid() != 0)
        return f();
    int fds[2];
    if (::pipe(fds) != 0) {
        skipped = QStringLiteral("no pipe");
        return std::nullopt;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const QByteArray out = f().toUtf8();
        const bool written = ::write(fds[1], out.constData(), size_t(out.size())) == out.size();
        ::_exit(written ? 0 : 4);
    }
    ::close(fds[1]);
    QByteArray got;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        skipped = QStringLiteral("could not become nobody (status %1)").arg(status);
        return std::nullopt;
    }
    return QString::fromUtf8(got);
}

} // namespace

TEST(MailReader, AMaildirPartThatCannotBeReadIsAnErrorNamingIt) {
    TempEnv env;
    QDir root(env.root());
    root.mkpath("box/new");
    root.mkpath("box/cur");
    QFile(root.filePath("box/new/1")).open(QIODevice::WriteOnly);
    QFile(root.filePath("box/cur/2:2,S")).open(QIODevice::WriteOnly);
    const QString box = root.absoluteFilePath("box");
    // nobody must reach the folder, but not into cur/.
    for (const QString &d : {env.root(), box, box + "/new"})
        ::chmod(QFile::encodeName(d).constData(), 0755);
    ::chmod(QFile::encodeName(box + "/cur").constData(), 0);
    QString skipped;
    const std::optional<QString> error =
        withoutRoot([&] { return test::errorOf([&] { mail::maildirFiles(box); }); }, skipped);
    ::chmod(QFile::encodeName(box + "/cur").constData(), 0700);
    if (!error)
        GTEST_SKIP() << skipped.toStdString();
    EXPECT_EQ(*error, QStringLiteral("フォルダ '%1/cur' を読み込めませんでした。").arg(box));

    // An entry that is no file would never end or never come: named too.
    ASSERT_EQ(::mkfifo(QFile::encodeName(box + "/new/3").constData(), 0600), 0);
    EXPECT_EQ(test::errorOf([&] { mail::maildirFiles(box); }),
              QStringLiteral("'%1/new/3' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。").arg(box));
}

// ---- HTML ------------------------------------------------------------------

TEST(HtmlText, LineBreaksFollowTheRenderedLines) {
    EXPECT_EQ(mail::htmlToText("a<br>b<BR/>c<br />\r\n"), QStringLiteral("a\nb\nc\n"));
    EXPECT_EQ(mail::htmlToText("<p>one</p><p>two</p>three<div>four</div><h2>T</h2>x"),
              QStringLiteral("one\ntwo\nthree\nfour\nT\nx\n"));
    EXPECT_EQ(mail::htmlToText("<table><tr><td>ID:</td><td>1</td></tr><tr><td>2</td></tr></table>"),
              QStringLiteral("ID:1\n2\n"));
    EXPECT_EQ(mail::htmlToText("<ul><li>a</li><li>b</li></ul>end"), QStringLiteral("a\nb\nend\n"));
    // Two <br> leave an empty line; a block after a <br> adds none.
    EXPECT_EQ(mail::htmlToText("a<br><br>b<br></div>"), QStringLiteral("a\n\nb\n"));
}

TEST(HtmlText, SourceLineBreaksAreGapsOtherBlanksStay) {
    EXPECT_EQ(mail::htmlToText("ID  12345\r\n  next<br>\r\n   line"), QStringLiteral("ID  12345 next\nline\n"));
    EXPECT_EQ(mail::htmlToText("<pre>  a\r\n  b\n</pre>c"), QStringLiteral("  a\n  b\nc\n"));
}

TEST(HtmlText, ScriptStyleTitleAndCommentsAreDropped) {
    EXPECT_EQ(mail::htmlToText("<title>T</title><style>p{}</style><script>if (a<b) x='</p>';</script>"
                               "<!-- <br> -->text<scripts>kept</scripts>"),
              QStringLiteral("textkept\n"));
    EXPECT_EQ(mail::htmlToText("a<script>never closed"), QStringLiteral("a\n"));
    EXPECT_EQ(mail::htmlToText("<a href=\"x>y\" title='>'>link</a> <!DOCTYPE html><?xml?>"), QStringLiteral("link \n"));
}

TEST(HtmlText, CharacterReferencesAreDecoded) {
    EXPECT_EQ(mail::htmlToText("&amp;&lt;&gt;&quot;&#39;&apos;&nbsp;&yen;"), QStringLiteral("&<>\"'' ¥\n"));
    EXPECT_EQ(mail::htmlToText("&#12354;&#x3044;&#X3046;&#12360"), QStringLiteral("あいうえ\n"));
    // Unknown or broken references stay as written; impossible code points are replaced.
    EXPECT_EQ(mail::htmlToText("&unknown; & &#; &amp"), QStringLiteral("&unknown; & &#; &amp\n"));
    EXPECT_EQ(mail::htmlToText("&#0;&#xD800;&#x110000;&#99999999999;"), QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFD\n"));
    EXPECT_EQ(mail::htmlToText("a < b"), QStringLiteral("a < b\n"));
}

// ---- the parser over mail --------------------------------------------------

class MailRecordsTest : public ParserTest {
protected:
    std::vector<Row> recordsOf(const QString &text) {
        mags->cancel();
        mags->first();
        while (!mags->isEmpty())
            mags->remove();
        run(text);
        return rows(*mags);
    }
};

TEST_F(MailRecordsTest, EachLayoutInEachFormGivesTheRecordsOfItsPlainText) {
    for (const auto &[layout, text] : layouts()) {
        ASSERT_FALSE(text.isEmpty()) << layout;
        const std::vector<Row> plain = recordsOf(text);
        ASSERT_FALSE(plain.empty()) << layout;
        for (const Form &f : forms()) {
            const MailText m = readOne(f.make(text));
            ASSERT_TRUE(m.error.isEmpty()) << layout << " / " << f.name << ": " << m.error.toStdString();
            EXPECT_EQ(recordsOf(m.text), plain) << layout << " / " << f.name;
        }
    }
}

TEST_F(MailRecordsTest, AnMboxOfConfirmationMailsGivesEachRecord) {
    QByteArray mbox;
    std::vector<Row> expected;
    const QList<Form> eachForm = forms();
    qsizetype n = 0;
    for (const auto &[layout, text] : layouts()) {
        const std::vector<Row> plain = recordsOf(text);
        expected.insert(expected.end(), plain.begin(), plain.end());
        const Form &f = eachForm[n++ % eachForm.size()];
        mbox += "From info@example.jp Sat Apr  5 12:34:56 2003\r\n" + f.make(text) + "\r\n";
    }
    const QList<MailText> mails = mail::readMessages(mbox, QStringLiteral("box"));
    ASSERT_EQ(mails.size(), layouts().size());
    // As the drop puts them into the window: an empty line before each.
    QString all;
    for (const MailText &m : mails)
        all += QStringLiteral("\r\n") + m.text;
    EXPECT_EQ(recordsOf(all), expected);
}

// ---- the lines a dropped file gives ---------------------------------------

TEST(DropInput, TextFilesGiveTheirBytesAndMailsTheirText) {
    const QByteArray file = cp932::encode(QStringLiteral("一行目\r\n二行目"));
    drop::FileLines taken = drop::fileLines(file, QStringLiteral("a.txt"));
    EXPECT_TRUE(taken.unreadable.isEmpty());
    EXPECT_EQ(drop::joinLines(taken.lines), QStringLiteral("\n一行目\n二行目\n"));
    ASSERT_EQ(taken.lines.size(), 3);
    EXPECT_FALSE(taken.lines[1].decoded);
    EXPECT_EQ(taken.lines[1].bytes, cp932::encode(QStringLiteral("一行目")));

    const QByteArray mbox = "From a Sat Apr  5 12:34:56 2003\r\n" + forms()[0].make(QStringLiteral("一通目\r\n")) +
                            "\r\nFrom b Sat Apr  5 12:34:56 2003\r\n" +
                            message("Content-Type: text/plain; charset=x-none\r\n", "?\r\n") +
                            "\r\nFrom c Sat Apr  5 12:34:56 2003\r\n" + forms()[3].make(QStringLiteral("三通目\r\n二行\r\n"));
    taken = drop::fileLines(mbox, QStringLiteral("box"));
    EXPECT_EQ(drop::joinLines(taken.lines), QStringLiteral("\n一通目\n\n三通目\n二行\n"));
    ASSERT_EQ(taken.unreadable.size(), 1);
    EXPECT_EQ(taken.unreadable[0].label, QStringLiteral("box#2"));
    EXPECT_EQ(drop::unreadableMessage(taken.unreadable[0]),
              QStringLiteral("メール 'box#2' を読み込めませんでした。\n件名: Registration\n"
                             "メールの文字コード「x-none」を読めません"));

    // A subject as long as a mail may make it is named by its beginning.
    MailText longSubject = taken.unreadable[0];
    longSubject.subject = QString(5000, u'件');
    EXPECT_EQ(drop::unreadableMessage(longSubject),
              QStringLiteral("メール 'box#2' を読み込めませんでした。\n件名: %1…\n"
                             "メールの文字コード「x-none」を読めません")
                  .arg(QString(64, u'件')));
}

TEST(DropInput, JisConversionTouchesOnlyByteLines) {
    // Kanji mode left open by a file carries over its byte lines and passes
    // the mail's text by.
    QList<drop::Line> lines = drop::fileLines("\x1b$B0!\r\n", QStringLiteral("oe.txt")).lines;
    lines += drop::fileLines(forms()[0].make(QStringLiteral("亜ESC$Bなし\r\n")), QStringLiteral("m.eml")).lines;
    lines += drop::fileLines("0!\x1b(Bx\r\n", QStringLiteral("oe2.txt")).lines;
    drop::jisToShiftJis(lines);
    EXPECT_EQ(drop::joinLines(lines), QStringLiteral("\n亜\n\n亜ESC$Bなし\n\n亜x\n"));
}
