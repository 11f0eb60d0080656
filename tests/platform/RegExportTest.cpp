// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegExport.h"
#include "tests/platform/RegExportFiles.h"
#include "tests/support/TestEnv.h"
#include "text/Cp932.h"
#include "text/Error.h"

#include <QRandomGenerator>

#include <sys/stat.h>

using namespace quil;
using namespace quil::test;

namespace {

const QString kQuil = QStringLiteral("software\\KAV\\QUIL");
const QString kName = QStringLiteral("quil.reg");

RegExport parse(const QByteArray &bytes) { return parseRegExport(bytes, kName); }

const RegExportValue *find(const RegExportKey &key, const QString &name) {
    for (const RegExportValue &v : key.values)
        if (v.name == name)
            return &v;
    return nullptr;
}

// The message of the error parsing throws; empty when it reads.
QString refusal(const QByteArray &bytes) { return errorOf([&] { parse(bytes); }); }

} // namespace

TEST(RegExportFormats, AUnicodeExportOfTheEditorIsRead) {
    const QString path = QStringLiteral("%USERPROFILE%\\ドキュメント\\Quillet");
    const RegExport r = parse(utf16Export(QStringLiteral("Windows Registry Editor Version 5.00\n"
                                                         "\n"
                                                         "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n"
                                                         "\"CNMCheck\"=\"1\"\n"
                                                         "\"PIPCheck\"=\"0\"\n"
                                                         "\"InstallVer\"=\"4.00\"\n"
                                                         "\"Count\"=dword:0000002a\n")
                                      + hexList(QStringLiteral("\"Folder\"=hex(2):"), utf16z(path))
                                      + QStringLiteral("\n@=\"既定\"\n\n")));
    EXPECT_EQ(r.format, RegExportFormat::Version5);
    ASSERT_EQ(r.keys.size(), 1);
    const RegExportKey &k = r.keys[0];
    EXPECT_EQ(k.root, "HKEY_CURRENT_USER");
    EXPECT_EQ(k.path, "Software\\KAV\\QUIL");
    EXPECT_EQ(k.line, 3);
    ASSERT_EQ(k.values.size(), 6);
    EXPECT_EQ(find(k, "CNMCheck")->value->text, "1");
    EXPECT_EQ(find(k, "PIPCheck")->value->text, "0");
    EXPECT_EQ(find(k, "InstallVer")->value->type, RegType::String);
    EXPECT_EQ(find(k, "InstallVer")->value->text, "4.00");
    EXPECT_EQ(find(k, "Count")->value->type, RegType::DWord);
    EXPECT_EQ(find(k, "Count")->value->dword, 42u);
    EXPECT_EQ(find(k, "Folder")->value->type, RegType::ExpandString);
    EXPECT_EQ(find(k, "Folder")->value->text, path) << "UTF-16LE bytes, the NUL dropped";
    EXPECT_EQ(find(k, "Folder")->line, 8);
    EXPECT_EQ(find(k, QString())->value->text, QStringLiteral("既定"));
}

TEST(RegExportFormats, ARegedit4ExportIsReadAsShiftJis) {
    // "表" and "ソ" end in the byte of "\": it must not read as an escape.
    const QString text = QStringLiteral("表示ソフト ～①");
    const QString folder = QStringLiteral("%TEMP%\\受信箱");
    const QByteArray file = sjisExport(QStringLiteral("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n\"Note\"=\"")
                                       + text + QStringLiteral("\"\n")
                                       + hexList(QStringLiteral("\"Folder\"=hex(2):"), cp932::encode(folder) + '\0')
                                       + QStringLiteral("\n\n"));
    ASSERT_TRUE(file.contains("\x95\x5C")); // the file really holds such a byte
    const RegExport r = parse(file);
    EXPECT_EQ(r.format, RegExportFormat::Regedit4);
    ASSERT_EQ(r.keys.size(), 1);
    EXPECT_EQ(find(r.keys[0], "Note")->value->text, text);
    EXPECT_EQ(find(r.keys[0], "Folder")->value->type, RegType::ExpandString);
    EXPECT_EQ(find(r.keys[0], "Folder")->value->text, folder) << "code-page bytes in REGEDIT4";
}

TEST(RegExportFormats, FilesEditedByHandInUtf8AreRead) {
    const QString body = QStringLiteral("\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"Note\"=\"日本語\"\n");
    for (const QByteArray &file :
         {"\xEF\xBB\xBF" + ("Windows Registry Editor Version 5.00" + body).toUtf8(),
          ("Windows Registry Editor Version 5.00" + body).toUtf8(), ("REGEDIT4" + body).toUtf8(),
          "\xEF\xBB\xBF" + ("REGEDIT4" + body).toUtf8()}) {
        SCOPED_TRACE(file.left(12).toStdString());
        const RegExport r = parse(file);
        ASSERT_EQ(r.keys.size(), 1);
        EXPECT_EQ(find(r.keys[0], "Note")->value->text, QStringLiteral("日本語"));
    }
    // LF alone and a last line without its end, as editors leave them.
    const RegExport r = parse("REGEDIT4\n[HKCU\\software\\KAV\\QUIL]\n\"A\"=\"1\"");
    EXPECT_EQ(find(r.keys[0], "A")->value->text, "1");
}

TEST(RegExportSyntax, KeyPathsInAnyLetterCaseAndTheAbbreviation) {
    const RegExport r = parse(sjisExport(QStringLiteral("REGEDIT4\n"
                                                        "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n"
                                                        "[hkey_current_user\\SOFTWARE\\kav\\quil]\n"
                                                        "[HKCU\\software\\KAV\\QUIL]\n"
                                                        "[HKEY_CURRENT_USER\\software\\KAV\\QUIL\\]\n"
                                                        "[HKEY_LOCAL_MACHINE\\software\\KAV\\QUIL]\n"
                                                        "[HKEY_CURRENT_USER\\software\\KAV\\QUIL\\Sub]\n"
                                                        "[HKEY_CURRENT_USER\\software\\KAV]\n"
                                                        "[-HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n")));
    ASSERT_EQ(r.keys.size(), 8);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(r.keys[i].isUserKey(kQuil)) << i;
    for (int i = 4; i < 7; ++i)
        EXPECT_FALSE(r.keys[i].isUserKey(kQuil)) << i;
    EXPECT_EQ(r.keys[2].root, "HKEY_CURRENT_USER");
    EXPECT_EQ(r.keys[4].root, "HKEY_LOCAL_MACHINE");
    EXPECT_TRUE(r.keys[7].deletion);
    EXPECT_TRUE(r.keys[7].isUserKey(kQuil));
    EXPECT_FALSE(r.keys[0].deletion);
}

TEST(RegExportSyntax, EscapesCommentsAndDeletions) {
    const RegExport r = parse(sjisExport(QStringLiteral("REGEDIT4\n"
                                                        "; exported by hand\n"
                                                        "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                                        "  ; a comment inside the key\n"
                                                        "\"Path\"=\"C:\\\\Mail\\\\\\\"受信\\\"\"\n"
                                                        "\"Odd\"=\"a\\nb\"\n"
                                                        "\"Name \\\"quoted\\\"\" = \"x\"\n"
                                                        "\"Gone\"=-\n"
                                                        "@=-\n")));
    const RegExportKey &k = r.keys[0];
    EXPECT_EQ(find(k, "Path")->value->text, QStringLiteral("C:\\Mail\\\"受信\""));
    EXPECT_EQ(find(k, "Odd")->value->text, "a\\nb") << "any other backslash stands for itself";
    EXPECT_EQ(find(k, "Name \"quoted\"")->value->text, "x");
    EXPECT_TRUE(find(k, "Gone")->deletion);
    EXPECT_FALSE(find(k, "Gone")->value.has_value());
    EXPECT_TRUE(find(k, QString())->deletion);
}

TEST(RegExportSyntax, HexListsAndTheirTypes) {
    QByteArray blob;
    for (int i = 0; i < 100; ++i)
        blob += char(i * 5);
    const QString multi = QStringLiteral("一\0二\0\0");
    const RegExport r = parse(utf16Export(QStringLiteral("Windows Registry Editor Version 5.00\n"
                                                         "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n")
                                          + hexList(QStringLiteral("\"Blob\"=hex:"), blob)
                                          + QStringLiteral("\n"
                                                           "\"Spaced\"=HEX: 01 , 2\n"
                                                           "\"Empty\"=hex:\n"
                                                           "\"Text\"=hex(1):34,00,2e,00,30,00,30,00,00,00\n"
                                                           "\"Number\"=hex(4):2a,00,00,01\n"
                                                           "\"Short\"=hex(4):2a\n"
                                                           "\"Wide\"=hex(b):01,00,00,00,00,00,00,00\n"
                                                           "\"None\"=hex(0):\n")
                                          + hexList(QStringLiteral("\"Multi\"=hex(7):"), utf16z(multi))
                                          + QStringLiteral("\n")));
    const RegExportKey &k = r.keys[0];
    EXPECT_EQ(find(k, "Blob")->value->type, RegType::Binary);
    EXPECT_EQ(find(k, "Blob")->value->data, blob) << "a list continued over several lines";
    EXPECT_EQ(find(k, "Spaced")->value->data, QByteArray::fromHex("0102"));
    EXPECT_EQ(find(k, "Empty")->value->data, QByteArray());
    EXPECT_EQ(find(k, "Text")->value->type, RegType::String);
    EXPECT_EQ(find(k, "Text")->value->text, "4.00");
    EXPECT_EQ(find(k, "Number")->value->type, RegType::DWord);
    EXPECT_EQ(find(k, "Number")->value->dword, 0x0100002au);
    // Types the settings file has no form for are kept as binary, as it reads them.
    for (const char *name : {"Short", "Wide", "None", "Multi"}) {
        EXPECT_EQ(find(k, name)->value->type, RegType::Binary) << name;
    }
    EXPECT_EQ(find(k, "Wide")->type, 0xbu);
    EXPECT_EQ(find(k, "Multi")->type, 7u);
    EXPECT_EQ(find(k, "Multi")->value->data, utf16z(multi));
}

TEST(RegExportRefusals, AFileThatIsNoExportIsRefusedNamingIt) {
    const QString expected = QStringLiteral("ファイル quil.reg はレジストリエディタで書き出したファイルではありません"
                                            "（1 行目が「Windows Registry Editor Version 5.00」でも「REGEDIT4」でもありません）");
    for (const QByteArray &file :
         {QByteArray(), QByteArray("\xFF\xFE"), QByteArray("\"Name\",\"ID\"\r\n\"a\",\"1\"\r\n"),
          QByteArray("\r\nREGEDIT4\r\n"), QByteArray("REGEDIT5\r\n"), QByteArray("regedit4\r\n"),
          QByteArray("[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\r\n\"A\"=\"1\"\r\n"),
          utf16Export(QStringLiteral("REGEDIT 4\n")), QByteArray("\xFE\xFF\0R\0E", 6)}) {
        EXPECT_EQ(refusal(file), expected) << file.toHex().toStdString();
    }
}

TEST(RegExportRefusals, ACutUnicodeFileIsRefused) {
    const QByteArray whole = utf16Export(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                                        "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\n"
                                                        "\"CNMCheck\"=dword:00000001\n"
                                                        "\"Note\"=\"𠀋\"\n\n"));
    ASSERT_TRUE(refusal(whole).isEmpty());
    const QString inCharacter =
        QStringLiteral("ファイル quil.reg は途中で切れています: UTF-16 の文字の途中で終わっています");
    const QString noLineEnd = QStringLiteral("ファイル quil.reg は途中で切れています: 最後の行に行末がありません");
    EXPECT_EQ(refusal(whole.left(whole.size() - 1)), inCharacter);
    const qsizetype pair = whole.indexOf(QByteArray("\x40\xD8", 2)); // the high half of 𠀋
    ASSERT_GT(pair, 0);
    EXPECT_EQ(refusal(whole.left(pair + 2)), inCharacter);
    // Cut inside a number, which would otherwise read as a smaller one.
    const qsizetype number = whole.indexOf(QByteArray("0\0" "0\0" "0\0" "0\0" "0\0" "0\0" "0\0" "1\0", 16));
    ASSERT_GT(number, 0);
    EXPECT_EQ(refusal(whole.left(number + 8)), noLineEnd);
    // Cut right after a line end: what is there is whole.
    const qsizetype lineEnd = whole.indexOf(QByteArray("\r\0\n\0", 4), number);
    EXPECT_TRUE(refusal(whole.left(lineEnd + 4)).isEmpty());
}

TEST(RegExportRefusals, TheFirstLineThatCannotBeReadIsNamed) {
    struct Case {
        const char *line;
        const char *reason;
    };
    const Case cases[] = {
        {"\"A\"=\"open", "値の引用符が閉じていません"},
        {"\"A=\"1\"", "値の名前のあとに「=」がありません"},
        {"\"A\"", "値の名前のあとに「=」がありません"},
        {"\"A\"=\"1\" junk", "値のあとに余分な文字があります"},
        {"\"A\"=dword:123456789", "dword の値は 16 進 8 桁までの数です"},
        {"\"A\"=dword:", "dword の値は 16 進 8 桁までの数です"},
        {"\"A\"=dword:-1", "dword の値は 16 進 8 桁までの数です"},
        {"\"A\"=hex:0g", "16 進のバイトの並びが正しくありません"},
        {"\"A\"=hex:001", "16 進のバイトの並びが正しくありません"},
        {"\"A\"=hex:01,,02", "16 進のバイトの並びが正しくありません"},
        {"\"A\"=hex(x):01", "hex の種類の番号が正しくありません"},
        {"\"A\"=hex(2)01", "hex のあとに「:」がありません"},
        {"\"A\"=hex(2):41,00,42", "UTF-16 の文字の途中で終わっています"},
        {"\"A\"=hex:01,\\", "続きの行がないままファイルが終わっています"},
        {"\"A\"=hex:01,\\\r\n\r\n\"B\"=\"1\"", "16 進のバイトの並びが正しくありません"},
        {"\"A\"=text", "値の形式が「\"…\"」「dword:」「hex:」のどれでもありません"},
        {"[HKEY_CURRENT_USER\\software", "キーの行が「]」で終わっていません"},
        {"[]", "キーの名前がありません"},
        {"A=1", "キーの行でも値の行でもありません"},
    };
    for (const Case &c : cases) {
        const QByteArray file = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\r\n"
                                "\"Fine\"=\"1\"\r\n"
            + QByteArray(c.line);
        EXPECT_EQ(refusal(file), QStringLiteral("ファイル quil.reg の 5 行目を読めません: ") + QString::fromUtf8(c.reason))
            << c.line;
    }
    EXPECT_EQ(refusal("REGEDIT4\r\n\"A\"=\"1\"\r\n"),
              QStringLiteral("ファイル quil.reg の 2 行目を読めません: 最初のキーの前に値があります"));
    // A continued list is named by the line it starts on.
    EXPECT_EQ(refusal("REGEDIT4\r\n[HKCU\\x]\r\n\"A\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n"),
              QStringLiteral("ファイル quil.reg の 3 行目を読めません: 16 進のバイトの並びが正しくありません"));
    EXPECT_EQ(refusal("Windows Registry Editor Version 5.00\r\n[HKCU\\x]\r\n\"A\"=\"\xE6\x97\r\n"),
              QStringLiteral("ファイル quil.reg は UTF-8 として正しくないバイトを含んでいます"));
    // Half of a UTF-16 pair inside a name could only be stored as another name;
    // a whole pair (an emoji) is a character like any other.
    const QString head = QStringLiteral("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"C");
    for (const QString &half : {QString(QChar(0xDA6F)), QString(QChar(0xDC00)), QString(QChar(0xDC00)) + QChar(0xDA6F)})
        EXPECT_EQ(refusal(test::utf16Export(head + half + QStringLiteral("unt\"=dword:0000002a\n"))),
                  QStringLiteral("ファイル quil.reg は UTF-16 として正しくない文字を含んでいます"));
    EXPECT_EQ(parseRegExport(test::utf16Export(head + QStringLiteral("\U0001F600unt\"=dword:0000002a\n")),
                             QStringLiteral("quil.reg"))
                  .keys.at(0)
                  .values.at(0)
                  .name,
              QStringLiteral("C\U0001F600unt"));
}

TEST(RegExportRefusals, NoBytesCrashOrHangTheReader) {
    static const char alphabet[] = "[]\"\\=@:,;()-hexdwordHKCU0123456789abcdef\r\n \x82\xa0\x95\x5c";
    QRandomGenerator rng(4242);
    for (int round = 0; round < 300; ++round) {
        QByteArray noise(int(rng.bounded(300)), '\0');
        for (char &ch : noise)
            ch = alphabet[rng.bounded(int(sizeof alphabet) - 1)];
        const QByteArray headers[] = {"REGEDIT4\r\n[HKCU\\a]\r\n", "Windows Registry Editor Version 5.00\r\n"};
        const QByteArray file = headers[round % 2] + noise;
        try {
            parse(round % 3 ? file : utf16Export(QString::fromLatin1(file)));
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(kName)) << e.message().toStdString();
        }
    }
}

class RegExportFile : public EnvTest {};

TEST_F(RegExportFile, FilesThatCannotBeReadAreNamed) {
    EXPECT_EQ(errorOf([] { readRegExport("missing.reg"); }), "ファイル missing.reg を開けません");
    EXPECT_EQ(errorOf([&] { readRegExport(env->cwd()); }), QStringLiteral("ファイル %1 を開けません").arg(env->cwd()));
    // A FIFO is refused before it is opened, which would wait for a writer.
    const QString fifo = env->cwd() + "/pipe.reg";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(errorOf([&] { readRegExport(fifo); }),
              QStringLiteral("'%1' は通常のファイルではないので読み込めません (FIFO や装置は読みません)。").arg(fifo));
    const QString path = env->writeFile("ok.reg", "REGEDIT4\r\n[HKCU\\software\\KAV\\QUIL]\r\n\"A\"=\"1\"\r\n");
    EXPECT_EQ(readRegExport(path).keys.size(), 1);
}
