// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Registry.h"
#include "tests/support/OtherUser.h"
#include "tests/support/TestEnv.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quil;

namespace {

const QString kQuil = QStringLiteral("software\\KAV\\QUIL");

class RegistryStore : public test::EnvTest {
protected:
    QString path() const { return env->cwd() + "/registry.reg"; }
    QByteArray bytes() const { return env->readFile(path()); }
    void write(const QByteArray &content) const { env->writeFile("registry.reg", content); }
};


} // namespace

TEST_F(RegistryStore, FirstWriteMakesAReadableRegedit4FileOnlyTheUserCanRead) {
    RegistryFile file(path());
    EXPECT_FALSE(file.keyExists(kQuil));
    EXPECT_FALSE(QFile::exists(path())); // reading creates nothing
    file.setValue(kQuil, "InstallVer", RegValue::string("4.00"));
    EXPECT_EQ(bytes(), QByteArray("REGEDIT4\n"
                                  "\n"
                                  "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                  "\"InstallVer\"=\"4.00\"\n"
                                  "\n"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Keys are found by every prefix and without regard to case.
    EXPECT_TRUE(file.keyExists("SOFTWARE\\kav"));
    EXPECT_TRUE(file.keyExists("\\software\\KAV\\QUIL\\"));
    EXPECT_FALSE(file.keyExists("software\\KA"));
    EXPECT_EQ(file.value("Software\\Kav\\Quil", "installver")->text, "4.00");
}

TEST_F(RegistryStore, EveryValueTypeSurvivesARoundTrip) {
    RegistryFile file(path());
    QByteArray binary;
    for (int i = 0; i < 300; ++i)
        binary += char(i * 7);
    const QString tricky = QStringLiteral("C:\\path \"quoted\" 日本語 ～①");
    file.setValue(kQuil, "Text", RegValue::string(tricky));
    file.setValue(kQuil, "Empty", RegValue::string(QString()));
    file.setValue(kQuil, "Lines", RegValue::string("one\r\ntwo"));
    file.setValue(kQuil, "Number", RegValue::number(0x2a));
    file.setValue(kQuil, "Big", RegValue::number(0xFFFFFFFFu));
    file.setValue(kQuil, "Expand", RegValue{RegType::ExpandString, QStringLiteral("%HOME%\\ドキュメント"), 0, {}});
    file.setValue(kQuil, "Blob", RegValue{RegType::Binary, {}, 0, binary});
    file.setValue(kQuil, "NoBytes", RegValue{RegType::Binary, {}, 0, {}});
    file.setValue(kQuil, QString(), RegValue::string("default"));

    RegistryFile again(path());
    EXPECT_EQ(again.value(kQuil, "Text")->text, tricky);
    EXPECT_EQ(again.value(kQuil, "Empty")->type, RegType::String);
    EXPECT_EQ(again.value(kQuil, "Empty")->text, QString());
    EXPECT_EQ(again.value(kQuil, "Lines")->text, "one\r\ntwo");
    EXPECT_EQ(again.value(kQuil, "Lines")->type, RegType::String);
    EXPECT_EQ(again.value(kQuil, "Number")->type, RegType::DWord);
    EXPECT_EQ(again.value(kQuil, "Number")->dword, 0x2au);
    EXPECT_EQ(again.value(kQuil, "Big")->dword, 0xFFFFFFFFu);
    EXPECT_EQ(again.value(kQuil, "Expand")->type, RegType::ExpandString);
    EXPECT_EQ(again.value(kQuil, "Expand")->text, QStringLiteral("%HOME%\\ドキュメント"));
    EXPECT_EQ(again.value(kQuil, "Blob")->type, RegType::Binary);
    EXPECT_EQ(again.value(kQuil, "Blob")->data, binary);
    EXPECT_EQ(again.value(kQuil, "NoBytes")->data, QByteArray());
    EXPECT_EQ(again.value(kQuil, QString())->text, "default");

    // The forms a person reads and types.
    const QByteArray text = bytes();
    EXPECT_TRUE(text.contains("\"Number\"=dword:0000002a\n"));
    EXPECT_TRUE(text.contains("\"Text\"=\"C:\\\\path \\\"quoted\\\" " + QStringLiteral("日本語 ～①").toUtf8() + "\"\n"));
    EXPECT_TRUE(text.contains("\"Expand\"=hex(2):25,00,48,00"));
    EXPECT_TRUE(text.contains("\"Blob\"=hex:00,07,0e,"));
    EXPECT_TRUE(text.contains("@=\"default\"\n"));
    // Long hex lists are wrapped, no line runs on for ever.
    for (const QByteArray &line : text.split('\n'))
        EXPECT_LE(line.size(), 80) << line.constData();
}

TEST_F(RegistryStore, ChangingAValueRewritesItInPlace) {
    RegistryFile file(path());
    file.setValue(kQuil, "A", RegValue::string("1"));
    file.setValue(kQuil, "B", RegValue::string("2"));
    file.setValue(kQuil, "a", RegValue::number(5));
    EXPECT_EQ(bytes(), QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                  "\"A\"=dword:00000005\n\"B\"=\"2\"\n\n"));
    EXPECT_FALSE(file.deleteValue(kQuil, "missing"));
    EXPECT_FALSE(file.deleteValue("software\\nowhere", "A"));
    EXPECT_TRUE(file.deleteValue(kQuil, "a"));
    EXPECT_FALSE(file.value(kQuil, "A").has_value());
    EXPECT_EQ(file.value(kQuil, "B")->text, "2");
    // A new key gets its own section after the others.
    file.createKey("software\\Other");
    file.createKey("software\\other"); // already there: nothing added
    EXPECT_EQ(bytes(), QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n"
                                  "\"B\"=\"2\"\n\n[HKEY_CURRENT_USER\\software\\Other]\n\n"));
}

TEST_F(RegistryStore, AHandEditedFileIsReadAndItsOtherLinesKept) {
    const QByteArray edited =
        "REGEDIT4\r\n"
        "; settings of Quillet, edited by hand\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\software\\KAV\\QUIL]\r\n"
        "\"CNMCheck\"=\"0\"\r\n"
        "\r\n"
        "[hkey_current_user\\SOFTWARE\\kav\\quil]\r\n"
        "\"cnmcheck\" = \"0\"\r\n"
        "this line is nobody's\r\n"
        "\"Multi\"=hex(7):41,00,00,00,00,00\r\n"
        "\"Wrapped\"=hex:01,02,\\\r\n"
        "  03,04\r\n"
        "\"Broken\"=dword:xyz\r\n"
        "\"Expand\"=hex(2):34,00,2e,00,30,00,30,00,00,00\r\n"
        "\"CNMCheck\"=\"1\"\r\n";
    write(edited);
    RegistryFile file(path());
    // The last of two values with one name counts, as on an import.
    EXPECT_EQ(file.value(kQuil, "CNMCheck")->text, "1");
    EXPECT_EQ(file.value(kQuil, "Wrapped")->data, QByteArray::fromHex("01020304"));
    EXPECT_EQ(file.value(kQuil, "Multi")->type, RegType::Binary);
    EXPECT_EQ(file.value(kQuil, "Expand")->text, "4.00");
    EXPECT_FALSE(file.value(kQuil, "Broken").has_value());

    file.setValue(kQuil, "InstallVer", RegValue::string("4.00"));
    const QByteArray after = bytes();
    for (const char *kept : {"; settings of Quillet, edited by hand", "[HKEY_LOCAL_MACHINE\\software\\KAV\\QUIL]",
                             "this line is nobody's", "\"Broken\"=dword:xyz", "\"cnmcheck\" = \"0\"",
                             "\"Wrapped\"=hex:01,02,\\\r\n  03,04", "\"Multi\"=hex(7):41,00,00,00,00,00"})
        EXPECT_TRUE(after.contains(kept)) << kept;
    EXPECT_TRUE(after.startsWith("REGEDIT4\r\n"));
    EXPECT_TRUE(after.contains("\"CNMCheck\"=\"1\"\r\n\"InstallVer\"=\"4.00\"\r\n"));
    // The other branch's value is not ours and not touched.
    EXPECT_TRUE(file.deleteValue(kQuil, "CNMCheck"));
    EXPECT_FALSE(file.value(kQuil, "CNMCheck").has_value()); // both copies gone
    EXPECT_TRUE(bytes().contains("[HKEY_LOCAL_MACHINE\\software\\KAV\\QUIL]\r\n\"CNMCheck\"=\"0\"\r\n"));
}

TEST_F(RegistryStore, AnExistingFileKeepsItsLineEndsAndItsModeAlsoBehindALink) {
    // Copied from Windows: CR LF, readable by others, kept in another folder.
    QDir().mkdir("shared");
    env->writeFile("shared/registry.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\r\n"
                                          "\"CNMCheck\"=\"0\"\r\n\r\n");
    ASSERT_EQ(::chmod("shared/registry.reg", 0644), 0);
    ASSERT_TRUE(QFile::link("shared/registry.reg", "registry.reg"));
    RegistryFile file(path());
    file.setValue(kQuil, "InstallVer", RegValue::string("4.00"));
    QByteArray binary(40, '\x5a');
    file.setValue(kQuil, "Data", RegValue{RegType::Binary, {}, 0, binary});
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_EQ(env->readFile("shared/registry.reg"),
              QByteArray("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\r\n"
                         "\"CNMCheck\"=\"0\"\r\n\"InstallVer\"=\"4.00\"\r\n"
                         "\"Data\"=hex:" + QByteArray("5a,").repeated(22) + "\\\r\n"
                         "  " + QByteArray("5a,").repeated(17) + "5a\r\n\r\n"));
    EXPECT_EQ(test::fileMode("shared/registry.reg"), 0644);
    EXPECT_EQ(file.value(kQuil, "Data")->data, binary);

    // A file with LF stays with LF.
    ASSERT_TRUE(QFile::remove("registry.reg"));
    write("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"CNMCheck\"=\"0\"\n");
    RegistryFile(path()).setValue(kQuil, "CNMCheck", RegValue::string("1"));
    EXPECT_EQ(bytes(), QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"CNMCheck\"=\"1\"\n"));
}

TEST_F(RegistryStore, AnotherUsersSettingsFileIsNeverReplaced) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can act as another user here";
    ASSERT_TRUE(test::openToEveryone(env->root(), env->cwd()));
    const QByteArray before = "REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"CNMCheck\"=\"0\"\n";
    write(before);
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0644), 0);
    const QString p = path();
    const int code = test::runAsNobody([&] {
        RegistryFile file(p);
        if (!file.value(kQuil, "CNMCheck"))
            return 3; // could not even read it
        const QString err = test::errorOf([&] { file.setValue(kQuil, "CNMCheck", RegValue::string("1")); });
        return err == QStringLiteral("ファイル %1 を作成できません").arg(p) ? 0 : err.isEmpty() ? 1 : 2;
    });
    EXPECT_EQ(code, 0) << "1: replaced, 2: another error";
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(test::fileOwner(p), 0);
    EXPECT_EQ(test::fileMode(p), 0644);
}

TEST_F(RegistryStore, AFileWithoutHeaderOrInAnotherEncodingStillReads) {
    write("[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"InstallVer\"=\"3.9\"");
    RegistryFile file(path());
    EXPECT_EQ(file.value(kQuil, "InstallVer")->text, "3.9");
    file.setValue(kQuil, "CNMCheck", RegValue::string("1"));
    EXPECT_TRUE(bytes().startsWith("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"InstallVer\"=\"3.9\"\n"));

    // A Unicode export of the Windows registry editor.
    const QString unicode = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                           "[HKEY_CURRENT_USER\\Software\\KAV\\QUIL]\r\n\"InstallVer\"=\"4.00\"\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char *>(unicode.utf16()), unicode.size() * 2);
    write(utf16);
    EXPECT_EQ(file.value(kQuil, "InstallVer")->text, "4.00");
}

TEST_F(RegistryStore, MalformedFilesNeverCrashTheReader) {
    const QByteArray cases[] = {
        "[", "]", "[]", "\"", "\"a", "\"a\"", "\"a\"=", "\"a\"=\"", "\"a\"=\"x\" junk", "\"a\"=hex:",
        "\"a\"=hex:0", "\"a\"=hex:1,,2", "\"a\"=hex:zz", "\"a\"=hex(:00", "\"a\"=hex(2)00", "\"a\"=hex(2):41,00,4",
        "\"a\"=hex:01,\\", "\"a\"=dword:", "\"a\"=dword:123456789", "@", "@=", "=\"x\"", QByteArray("\0\0\xff\xfe", 4),
        "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"a\"=hex:01,\\", "\xEF\xBB\xBF", "\xFF\xFE\x41",
    };
    for (const QByteArray &c : cases) {
        write("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n" + c + "\n");
        RegistryFile file(path());
        EXPECT_NO_THROW(file.value(kQuil, "a")) << c.constData();
        EXPECT_NO_THROW(file.setValue(kQuil, "b", RegValue::string("x"))) << c.constData();
        // What is written after a broken line must not be swallowed by it.
        EXPECT_EQ(file.value(kQuil, "b").value_or(RegValue()).text, "x") << c.constData();
        EXPECT_TRUE(bytes().contains(c.startsWith("\xEF") || c.startsWith("\xFF") ? QByteArray() : c))
            << c.constData();
    }
    // Random bytes, with and without a valid section in front.
    static const char alphabet[] = "[]\"\\=@:,()hexdword0123456789abcdef\r\n \x82\xa0";
    QRandomGenerator rng(12345);
    for (int round = 0; round < 60; ++round) {
        QByteArray noise(int(rng.bounded(400)), '\0');
        for (char &ch : noise)
            ch = alphabet[rng.bounded(int(sizeof alphabet) - 1)];
        write(round % 2 ? noise : "[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n" + noise);
        RegistryFile file(path());
        EXPECT_NO_THROW({
            file.value(kQuil, "a");
            file.setValue(kQuil, "z", RegValue::number(1));
        });
        EXPECT_EQ(file.value(kQuil, "z").value_or(RegValue()).dword, 1u) << noise.constData();
    }
}

TEST_F(RegistryStore, ATextValueWithUnknownEscapesKeepsItsBackslashes) {
    write("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"Path\"=\"C:\\dir\\file\"\n");
    EXPECT_EQ(RegistryFile(path()).value(kQuil, "Path")->text, "C:\\dir\\file");
}

TEST_F(RegistryStore, ATextEndsAtItsFirstNulAndReadsBackAsStored) {
    RegistryFile file(path());
    file.setValue(kQuil, "Plain", RegValue::string(QStringLiteral("4.00\0junk")));
    file.setValue(kQuil, "Lines", RegValue::string(QStringLiteral("a\r\nb\0\0")));
    RegValue expand;
    expand.type = RegType::ExpandString;
    expand.text = QStringLiteral("%TEMP%\0");
    file.setValue(kQuil, "Expand", expand);
    EXPECT_TRUE(bytes().contains("\"Plain\"=\"4.00\"\n"));
    EXPECT_EQ(file.value(kQuil, "Plain")->text, "4.00");
    EXPECT_EQ(file.value(kQuil, "Lines")->text, "a\r\nb");
    EXPECT_EQ(file.value(kQuil, "Expand")->text, "%TEMP%");
    EXPECT_EQ(file.value(kQuil, "Expand")->type, RegType::ExpandString);
}

TEST_F(RegistryStore, LinesEndingInSeveralCarriageReturnsSettleAfterOneWrite) {
    write("REGEDIT4\r\r\n; note\r\r\r\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\r\r\n\"A\"=\"1\"\r\r\n");
    RegistryFile file(path());
    EXPECT_EQ(file.value(kQuil, "A")->text, "1");
    file.setValue(kQuil, "B", RegValue::string("2"));
    const QByteArray once = bytes();
    EXPECT_EQ(once, QByteArray("REGEDIT4\n; note\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"A\"=\"1\"\n\"B\"=\"2\"\n"));
    // Writing the same value again leaves the file byte for byte as it was.
    file.setValue(kQuil, "B", RegValue::string("2"));
    EXPECT_EQ(bytes(), once);
}

TEST_F(RegistryStore, AListLeftOpenAtTheEndNeitherSwallowsWhatIsWrittenAfterItNorChanges) {
    const QByteArray tails[] = {"\"a\"=hex:01,02\\", "\"a\"=hex:01,\\\n  02\\\\", "\"a\"=hex:01,\\", "\"a\"=hex(2):41,00,\\\\"};
    for (const QByteArray &tail : tails) {
        write("REGEDIT4\n\n[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n" + tail);
        RegistryFile file(path());
        const std::optional<RegValue> before = file.value(kQuil, "a");
        file.setValue(kQuil, "b", RegValue::string("x"));
        EXPECT_EQ(file.value(kQuil, "b").value_or(RegValue()).text, "x") << tail.constData();
        const std::optional<RegValue> after = file.value(kQuil, "a");
        EXPECT_EQ(after.has_value(), before.has_value()) << tail.constData();
        if (after && before) {
            EXPECT_EQ(after->data, before->data) << tail.constData();
        }
        const QByteArray once = bytes();
        file.setValue(kQuil, "b", RegValue::string("x"));
        EXPECT_EQ(bytes(), once) << tail.constData();
    }
    // A list open at the end of the file ends there.
    write("[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"a\"=hex:01,02\\");
    EXPECT_EQ(RegistryFile(path()).value(kQuil, "a").value_or(RegValue()).data, QByteArray("\x01\x02"));
}

TEST_F(RegistryStore, BlanksAroundThePartsOfAKeyDoNotCount) {
    write("REGEDIT4\n\n[ HKEY_CURRENT_USER\\software\\KAV\\QUIL ]\n\"A\"=\"1\"\n");
    RegistryFile file(path());
    EXPECT_EQ(file.value(kQuil, "A").value_or(RegValue()).text, "1");
    EXPECT_EQ(file.value(" software \\KAV\\ QUIL\\ ", "A").value_or(RegValue()).text, "1");
    // A value set under a key written with blanks reads back and joins the section.
    file.setValue("software\\KAV\\QUIL ", "B", RegValue::string("2"));
    file.setValue("Other ", "C", RegValue::string("3"));
    EXPECT_EQ(RegistryFile(path()).value("software\\KAV\\QUIL ", "B").value_or(RegValue()).text, "2");
    EXPECT_EQ(RegistryFile(path()).value("Other ", "C").value_or(RegValue()).text, "3");
    EXPECT_EQ(bytes(), QByteArray("REGEDIT4\n\n[ HKEY_CURRENT_USER\\software\\KAV\\QUIL ]\n\"A\"=\"1\"\n\"B\"=\"2\"\n\n"
                                  "[HKEY_CURRENT_USER\\Other]\n\"C\"=\"3\"\n\n"));
}

TEST_F(RegistryStore, NamesWithLineBreaksAreRefusedNotWritten) {
    RegistryFile file(path());
    EXPECT_THROW(file.setValue(kQuil, "bad\nname", RegValue::string("x")), Error);
    EXPECT_THROW(file.createKey("software\nevil"), Error);
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(RegistryStore, AFailedWriteIsAnErrorNamingTheFile) {
    env->writeFile("notadir", "x");
    RegistryFile file(env->cwd() + "/notadir/registry.reg");
    const QString message = test::errorOf([&] { file.setValue(kQuil, "A", RegValue::string("1")); });
    EXPECT_TRUE(message.contains("notadir/registry.reg")) << message.toStdString();
    QDir().mkdir("registry.reg");
    EXPECT_FALSE(test::errorOf([&] { RegistryFile(path()).value(kQuil, "A"); }).isEmpty());
}

TEST_F(RegistryStore, AReadOnlySettingsFileIsNotReplaced) {
    RegistryFile(path()).setValue(kQuil, "A", RegValue::string("1"));
    const QByteArray before = bytes();
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0400), 0);
    const QString message = test::errorOf([&] { RegistryFile(path()).setValue(kQuil, "A", RegValue::string("2")); });
    EXPECT_EQ(message, QStringLiteral("ファイル %1 を作成できません").arg(path()));
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(test::fileMode(path()), 0400);
    // Reading it still works.
    EXPECT_EQ(RegistryFile(path()).value(kQuil, "A")->text, "1");
}

TEST_F(RegistryStore, AWriteSurvivesTheProcessBeingKilledRightAfterIt) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RegistryFile file(path());
        file.setValue(kQuil, "CNMCheck", RegValue::string("0"));
        ::kill(::getpid(), SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(RegistryFile(path()).value(kQuil, "CNMCheck")->text, "0");
}

TEST_F(RegistryStore, AProcessKilledWhileWritingLeavesAWholeFile) {
    RegistryFile(path()).setValue(kQuil, "Fill", RegValue::string(QString(100000, u'a')));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        RegistryFile file(path());
        for (int i = 0;; ++i) {
            file.setValue(kQuil, "Fill", RegValue::string(QString(100000 + i, QChar(u'b' + i % 20))));
            if (::write(pipeFds[1], "x", 1) != 1)
                ::_exit(1);
        }
    }
    ::close(pipeFds[1]);
    // Let a few writes finish, then kill the writer in the middle of the next.
    char c;
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);

    const std::optional<RegValue> v = RegistryFile(path()).value(kQuil, "Fill");
    ASSERT_TRUE(v.has_value());
    const int n = int(v->text.size()) - 100000;
    ASSERT_GE(n, 4);
    EXPECT_EQ(v->text, QString(100000 + n, QChar(u'b' + n % 20)));
}

class RegistrySettings : public RegistryStore {
protected:
    void SetUp() override {
        RegistryStore::SetUp();
        file = std::make_unique<RegistryFile>(path());
    }
    std::unique_ptr<RegistryFile> file;
};

TEST_F(RegistrySettings, OpenKeyCreatesItAndSubkeysAreCreatedByTheFirstWrite) {
    Registry reg(*file);
    reg.openKey("\\software\\KAV");
    EXPECT_TRUE(file->keyExists("software\\KAV"));
    EXPECT_FALSE(file->keyExists(kQuil));
    EXPECT_EQ(reg.readText("QUIL", "InstallVer", "1.00"), "1.00");
    reg.writeText("QUIL", "InstallVer", "4.00");
    EXPECT_TRUE(file->keyExists(kQuil));
    EXPECT_EQ(file->value(kQuil, "InstallVer")->text, "4.00");
    EXPECT_EQ(reg.readText("QUIL", "InstallVer", "1.00"), "4.00");
    reg.releaseKey();
    // A relative path after release starts at the branch's root again.
    reg.openKey("software\\KAV");
    EXPECT_EQ(reg.readText("QUIL", "InstallVer", "x"), "4.00");
}

TEST_F(RegistrySettings, ReadingANonTextValueFailsNamingTheValue) {
    file->setValue(kQuil, "CNMCheck", RegValue::number(1));
    file->setValue(kQuil, "Blob", RegValue{RegType::Binary, {}, 0, "\x01"});
    file->setValue(kQuil, "Expand", RegValue{RegType::ExpandString, "1", 0, {}});
    Registry reg(*file);
    reg.openKey("\\software\\KAV");
    const QString message = test::errorOf([&] { reg.readText("QUIL", "CNMCheck", "1"); });
    EXPECT_TRUE(message.contains("CNMCheck")) << message.toStdString();
    EXPECT_THROW(reg.readBool("QUIL", "CNMCheck", true), Error);
    EXPECT_THROW(reg.readText("QUIL", "Blob", ""), Error);
    EXPECT_EQ(reg.readText("QUIL", "Expand", ""), "1");
    EXPECT_TRUE(reg.readBool("QUIL", "Expand", false));
}

TEST_F(RegistrySettings, TrueFalseReadsWholeNumbersAndDefaultsOnAnythingElse) {
    Registry reg(*file);
    reg.openKey("\\software\\KAV");
    const struct {
        const char *text;
        bool isNumber;
        bool value;
    } cases[] = {
        {"0", true, false},    {"1", true, true},      {"7", true, true},        {"-1", true, true},
        {"+0", true, false},   {"  5", true, true},    {"00", true, false},      {"2147483647", true, true},
        {"-2147483648", true, true}, {"2147483648", false, false}, {"99999999999", false, false},
        {"word", false, false}, {"", false, false},    {"5 ", false, false},     {"1.0", false, false},
        {"0x1", false, false}, {"-", false, false},    {"１", false, false},
    };
    for (const auto &c : cases) {
        reg.writeText("QUIL", "CNMCheck", QString::fromUtf8(c.text));
        for (bool def : {false, true})
            EXPECT_EQ(reg.readBool("QUIL", "CNMCheck", def), c.isNumber ? c.value : def) << c.text;
    }
    reg.deleteValue("QUIL", "CNMCheck");
    EXPECT_TRUE(reg.readBool("QUIL", "CNMCheck", true));
    EXPECT_FALSE(reg.readBool("QUIL", "CNMCheck", false));
    EXPECT_FALSE(reg.readBool("NOKEY", "CNMCheck", false));

    reg.writeBool("QUIL", "PIPCheck", true);
    EXPECT_EQ(file->value(kQuil, "PIPCheck")->type, RegType::String);
    EXPECT_EQ(file->value(kQuil, "PIPCheck")->text, "1");
    reg.writeBool("QUIL", "PIPCheck", false);
    EXPECT_EQ(file->value(kQuil, "PIPCheck")->text, "0");
}

TEST_F(RegistrySettings, DeletingWhatIsMissingIsNoError) {
    Registry reg(*file);
    reg.openKey("\\software\\KAV");
    EXPECT_NO_THROW(reg.deleteValue("QUIL", "CNMCheck"));
    EXPECT_NO_THROW(reg.deleteValue("NOWHERE", "PIPCheck"));
    reg.writeText("QUIL", "CNMCheck", "1");
    reg.writeText("QUIL", "PIPCheck", "0");
    reg.deleteValue("QUIL", "CNMCheck");
    EXPECT_FALSE(file->value(kQuil, "CNMCheck").has_value());
    EXPECT_TRUE(file->value(kQuil, "PIPCheck").has_value());
}

TEST_F(RegistrySettings, OpeningAKeyInAnUnwritablePlaceIsReportedByTheFirstWrite) {
    env->writeFile("blocker", "x");
    RegistryFile blocked(env->cwd() + "/blocker/registry.reg");
    Registry reg(blocked);
    EXPECT_NO_THROW(reg.openKey("\\software\\KAV"));
    EXPECT_EQ(reg.readText("QUIL", "InstallVer", "1.00"), "1.00");
    EXPECT_THROW(reg.writeText("QUIL", "InstallVer", "4.00"), Error);
}

TEST_F(RegistrySettings, TheDefaultStoreIsTheFileInTheConfigFolder) {
    {
        Registry reg;
        reg.openKey("\\software\\KAV");
        reg.writeText("QUIL", "InstallVer", "4.00");
        reg.releaseKey();
    }
    const QByteArray text = env->readFile(env->configDir() + "/registry.reg");
    EXPECT_TRUE(text.contains("[HKEY_CURRENT_USER\\software\\KAV\\QUIL]\n\"InstallVer\"=\"4.00\"\n")) << text.constData();
}
