// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/OtherUser.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TestEnv.h"
#include "text/Error.h"
#include "text/TextList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quil;

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

// Sets a file's times (not following a link) to some seconds ago.
void age(const char *name, int seconds) {
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, name, times, AT_SYMLINK_NOFOLLOW), 0) << name;
}



class TextListFiles : public test::EnvTest {};

// A file of root's in a folder every user may write, the way a shared
// folder or a careless umask leaves one.
class AnotherUsersFile : public test::EnvTest {
protected:
    void SetUp() override {
        test::EnvTest::SetUp();
        if (::geteuid() != 0)
            GTEST_SKIP() << "only root can act as another user here";
        ASSERT_TRUE(test::openToEveryone(env->root(), env->cwd()));
    }
    // Exit codes of the child's attempt.
    enum { Refused = 0, Written = 1, OtherError = 2 };
    template <typename F> static int attempt(F &&write) {
        return test::runAsNobody([&] {
            const QString err = test::errorOf(write);
            if (err.isEmpty())
                return int(Written);
            return err.contains(QStringLiteral("を作成できません")) ? int(Refused) : int(OtherError);
        });
    }
};

} // namespace

TEST(TextList, EveryKindOfLineBreakEndsALine) {
    using textlist::splitLines;
    EXPECT_EQ(splitLines(QStringLiteral("a\r\nb\nc\rd")), (QStringList{"a", "b", "c", "d"}));
    // A break at the very end starts no further line; a blank line before it does count.
    EXPECT_EQ(splitLines(QStringLiteral("a\r\n")), QStringList{"a"});
    EXPECT_EQ(splitLines(QStringLiteral("a\r\n\r\n")), (QStringList{"a", ""}));
    EXPECT_EQ(splitLines(QStringLiteral("\r\n")), QStringList{""});
    EXPECT_EQ(splitLines(QString()), QStringList());
    // LF then CR are two breaks; CR CR LF are two.
    EXPECT_EQ(splitLines(QStringLiteral("\n\r")), (QStringList{"", ""}));
    EXPECT_EQ(splitLines(QStringLiteral("a\r\r\nb")), (QStringList{"a", "", "b"}));
    // The last line without a break counts.
    EXPECT_EQ(splitLines(QStringLiteral("x\ny")), (QStringList{"x", "y"}));
}

TEST(TextList, NulEndsTheText) {
    QString text = QStringLiteral("a\r\nb");
    text += QChar(0);
    text += QStringLiteral("c\r\nd");
    EXPECT_EQ(textlist::splitLines(text), (QStringList{"a", "b"}));
    EXPECT_EQ(textlist::splitBytes(QByteArray("one\r\n\0two", 9)), QStringList{"one"});
    EXPECT_EQ(textlist::splitBytes(QByteArray("\0abc", 4)), QStringList());
}

TEST(TextList, BytesAreSplitThenDecodedAsShiftJis) {
    // ソ (83 5C) ends in a backslash byte and メ (83 81) has a lead-like
    // trail; neither may disturb the split.
    const QByteArray bytes = hex("835c") + "\r\n" + hex("8381") + "\n" + hex("b1") + "\r";
    EXPECT_EQ(textlist::splitBytes(bytes), (QStringList{"ソ", "メ", "ｱ"}));
}

TEST(TextList, JoinAndNormaliseWriteCrLf) {
    EXPECT_EQ(textlist::joinCrLf({"a", "", "b"}), QStringLiteral("a\r\n\r\nb\r\n"));
    EXPECT_EQ(textlist::joinCrLf({}), QString());
    EXPECT_EQ(textlist::normalizeLineBreaks(QStringLiteral("a\nb\rc\r\nd")), QStringLiteral("a\r\nb\r\nc\r\nd"));
    EXPECT_EQ(textlist::normalizeLineBreaks(QStringLiteral("\r\r\n\n")), QStringLiteral("\r\n\r\n\r\n"));
    EXPECT_EQ(textlist::normalizeLineBreaks(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST_F(TextListFiles, WrittenFilesAreShiftJisWithCrLfAfterEveryLine) {
    textlist::writeFile("MADDRESS.ini", {"me@example.jp", "あ①～", "€"});
    EXPECT_EQ(env->readFile("MADDRESS.ini"),
              QByteArray("me@example.jp\r\n") + hex("82a087408160") + "\r\n?\r\n");
    EXPECT_EQ(textlist::readFile("MADDRESS.ini"), (QStringList{"me@example.jp", "あ①～", "?"}));
    // An empty list leaves an empty file, not a missing one.
    textlist::writeFile("MADDRESS.ini", {});
    EXPECT_TRUE(QFileInfo::exists("MADDRESS.ini"));
    EXPECT_EQ(env->readFile("MADDRESS.ini"), QByteArray());
    EXPECT_EQ(textlist::readFile("MADDRESS.ini"), QStringList());
}

TEST_F(TextListFiles, ReadingTakesLfOnlyAndUnterminatedFiles) {
    env->writeFile("in.txt", QByteArray("a\nb\r\nc"));
    EXPECT_EQ(textlist::readFile("in.txt"), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(textlist::readBytes("in.txt"), QByteArray("a\nb\r\nc"));
}

TEST_F(TextListFiles, RewritingReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    env->writeFile("Cancel.html", QByteArray(10000, 'x'));
    ::chmod("Cancel.html", 0640);
    textlist::writeFile("Cancel.html", {"short"});
    EXPECT_EQ(env->readFile("Cancel.html"), QByteArray("short\r\n"));
    EXPECT_EQ(QDir(env->cwd()).entryList(QDir::Files | QDir::Hidden), QStringList{"Cancel.html"});
    // The person's permissions on an existing file are kept.
    EXPECT_EQ(test::fileMode("Cancel.html"), 0640);
}

TEST_F(TextListFiles, AWriteRemovesTheTemporaryFilesThatKilledWritesOfTheSameFileLeft) {
    env->writeFile("export.csv", "old");
    // What a write killed half way leaves: a hidden file of our naming.
    for (const char *name : {".export.csv.aB3xYz", ".export.csv.000000"}) {
        env->writeFile(name, QByteArray(1000, 'x'));
        age(name, 3600);
    }
    // Not ours to take: a write going on now, one that holds its lock, other
    // names, a link and a folder of the same naming.
    env->writeFile(".export.csv.Fresh1", "live");
    env->writeFile(".export.csv.Locked", "live");
    age(".export.csv.Locked", 3600);
    const int held = ::open(".export.csv.Locked", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const QStringList others{".export.csv.abc12", ".export.csv.abc1234", ".export.csv.ab-123", ".other.csv.aB3xYz",
                             "export.csv.aB3xYz", ".export.csv.aB3xYz.bak"};
    for (const QString &name : others) {
        env->writeFile(name, "other");
        age(QFile::encodeName(name).constData(), 3600);
    }
    ASSERT_TRUE(QFile::link("export.csv", ".export.csv.Link12"));
    age(".export.csv.Link12", 3600);
    ASSERT_TRUE(QDir().mkdir(".export.csv.Dir123"));
    age(".export.csv.Dir123", 3600);

    textlist::writeBytes("export.csv", "new");
    ::close(held);
    EXPECT_EQ(env->readFile("export.csv"), QByteArray("new"));
    QStringList expected = others;
    expected << "export.csv" << ".export.csv.Fresh1" << ".export.csv.Locked" << ".export.csv.Link12"
             << ".export.csv.Dir123";
    expected.sort();
    QStringList left = QDir(env->cwd()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left, expected);

    // Another user's left-over is not ours to remove either.
    if (::geteuid() == 0) {
        env->writeFile(".export.csv.Nobody", "theirs");
        ASSERT_EQ(::chown(".export.csv.Nobody", test::kNobody, test::kNobody), 0);
        age(".export.csv.Nobody", 3600);
        textlist::writeBytes("export.csv", "again");
        EXPECT_TRUE(QFileInfo::exists(".export.csv.Nobody"));
    }
}

TEST_F(TextListFiles, WriteBytesSetsTheRequestedModeAndFollowsLinks) {
    textlist::writeBytes("secret", "pw", 0600);
    EXPECT_EQ(test::fileMode("secret"), 0600);
    EXPECT_EQ(env->readFile("secret"), QByteArray("pw"));

    env->writeFile("target.txt", "old");
    ASSERT_TRUE(QFile::link("target.txt", "link.txt"));
    textlist::writeFile("link.txt", {"new"});
    EXPECT_TRUE(QFileInfo("link.txt").isSymLink());
    EXPECT_EQ(env->readFile("target.txt"), QByteArray("new\r\n"));
}

TEST_F(TextListFiles, AFileItsOwnerMadeReadOnlyIsNeverReplaced) {
    env->writeFile("MADDRESS.ini", "kept@x\r\n");
    ASSERT_EQ(::chmod("MADDRESS.ini", 0444), 0);
    EXPECT_EQ(test::errorOf([] { textlist::writeFile("MADDRESS.ini", {"new@x"}); }),
              QStringLiteral("ファイル MADDRESS.ini を作成できません"));
    // An explicit mode (the settings file's way) does not get past it either.
    EXPECT_EQ(test::errorOf([] { textlist::writeBytes("MADDRESS.ini", "x", 0600); }),
              QStringLiteral("ファイル MADDRESS.ini を作成できません"));
    EXPECT_EQ(env->readFile("MADDRESS.ini"), QByteArray("kept@x\r\n"));
    EXPECT_EQ(test::fileMode("MADDRESS.ini"), 0444);
    EXPECT_EQ(QDir(env->cwd()).entryList(QDir::Files | QDir::Hidden), QStringList{"MADDRESS.ini"});

    // Only the owner's bit counts: others may write, the owner may not.
    env->writeFile("Cancel.html", "old");
    ASSERT_EQ(::chmod("Cancel.html", 0466), 0);
    EXPECT_FALSE(test::errorOf([] { textlist::writeFile("Cancel.html", {"new"}); }).isEmpty());
    EXPECT_EQ(env->readFile("Cancel.html"), QByteArray("old"));
    // Write permission alone is enough.
    ASSERT_EQ(::chmod("Cancel.html", 0200), 0);
    textlist::writeFile("Cancel.html", {"new"});
    EXPECT_EQ(env->readFile("Cancel.html"), QByteArray("new\r\n"));
    EXPECT_EQ(test::fileMode("Cancel.html"), 0200);
}

TEST_F(TextListFiles, AReadOnlyTargetBehindALinkIsNeverReplaced) {
    env->writeFile("target.txt", "old");
    ASSERT_EQ(::chmod("target.txt", 0400), 0);
    ASSERT_TRUE(QFile::link("target.txt", "link.txt"));
    EXPECT_EQ(test::errorOf([] { textlist::writeFile("link.txt", {"new"}); }),
              QStringLiteral("ファイル link.txt を作成できません"));
    EXPECT_EQ(env->readFile("target.txt"), QByteArray("old"));
    EXPECT_EQ(test::fileMode("target.txt"), 0400);
    EXPECT_TRUE(QFileInfo("link.txt").isSymLink());
}

TEST_F(AnotherUsersFile, IsNeitherReplacedNorAppendedTo) {
    for (const char *name : {"Cancel.html", "MADDRESS.ini", "export.csv", "CMag2.txt"})
        env->writeFile(name, "root's\r\n");
    for (const char *name : {"Cancel.html", "MADDRESS.ini", "export.csv", "CMag2.txt"})
        ASSERT_EQ(::chmod(name, 0644), 0);
    EXPECT_EQ(attempt([] { textlist::writeFile("Cancel.html", {"nobody's"}); }), Refused);
    EXPECT_EQ(attempt([] { textlist::writeFile("MADDRESS.ini", {"nobody's"}); }), Refused);
    EXPECT_EQ(attempt([] { textlist::writeBytes("export.csv", "nobody's", 0600); }), Refused);
    // An append fails the same way as a whole-file write.
    EXPECT_EQ(attempt([] { textlist::appendFile("CMag2.txt", {"nobody's"}); }), Refused);
    for (const char *name : {"Cancel.html", "MADDRESS.ini", "export.csv", "CMag2.txt"}) {
        EXPECT_EQ(env->readFile(name), QByteArray("root's\r\n")) << name;
        EXPECT_EQ(test::fileOwner(name), 0) << name;
        EXPECT_EQ(test::fileMode(name), 0644) << name;
    }
    // Behind a link the file it names decides.
    ASSERT_TRUE(QFile::link("Cancel.html", "link.html"));
    EXPECT_EQ(attempt([] { textlist::writeFile("link.html", {"nobody's"}); }), Refused);
    EXPECT_EQ(env->readFile("Cancel.html"), QByteArray("root's\r\n"));
    EXPECT_EQ(QDir(env->cwd()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 5)
        << "no temporary file is left";

    // Write permission for the other user is enough, and the file keeps its mode.
    ASSERT_EQ(::chmod("Cancel.html", 0646), 0);
    EXPECT_EQ(attempt([] { textlist::writeFile("Cancel.html", {"nobody's"}); }), Written);
    EXPECT_EQ(env->readFile("Cancel.html"), QByteArray("nobody's\r\n"));
    EXPECT_EQ(test::fileMode("Cancel.html"), 0646);
}

TEST_F(TextListFiles, RootKeepsTheOwnerAndModeOfAFileItReplaces) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can write another user's file here";
    env->writeFile("Cancel.html", "nobody's");
    ASSERT_EQ(::chown("Cancel.html", test::kNobody, test::kNobody), 0);
    ASSERT_EQ(::chmod("Cancel.html", 0640), 0);
    textlist::writeBytes("Cancel.html", "root's", 0600);
    EXPECT_EQ(env->readFile("Cancel.html"), QByteArray("root's"));
    struct stat st;
    ASSERT_EQ(::stat("Cancel.html", &st), 0);
    EXPECT_EQ(st.st_uid, test::kNobody);
    EXPECT_EQ(st.st_gid, test::kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "an existing file keeps its mode, whatever a new one would get";
}

TEST_F(TextListFiles, AChainOfLinksLeadsToTheFileAtItsEnd) {
    env->writeFile("target.txt", "old");
    ASSERT_EQ(::chmod("target.txt", 0604), 0);
    ASSERT_TRUE(QFile::link("target.txt", "middle.txt"));
    ASSERT_TRUE(QFile::link("middle.txt", "first.txt"));
    textlist::writeFile("first.txt", {"new"});
    EXPECT_TRUE(QFileInfo("first.txt").isSymLink());
    EXPECT_TRUE(QFileInfo("middle.txt").isSymLink()) << "the link in the middle stays a link";
    EXPECT_EQ(env->readFile("target.txt"), QByteArray("new\r\n"));
    EXPECT_EQ(test::fileMode("target.txt"), 0604);

    // A loop of links names no file; it is refused, not replaced.
    ASSERT_TRUE(QFile::link("loop-b", "loop-a"));
    ASSERT_TRUE(QFile::link("loop-a", "loop-b"));
    EXPECT_EQ(test::errorOf([] { textlist::writeFile("loop-a", {"x"}); }),
              QStringLiteral("ファイル loop-a を作成できません"));
    EXPECT_TRUE(QFileInfo("loop-a").isSymLink());
    EXPECT_TRUE(QFileInfo("loop-b").isSymLink());
}

TEST_F(TextListFiles, AppendingCreatesAndThenOnlyGrows) {
    textlist::appendFile("CMag2.txt", {"first"});
    textlist::appendFile("CMag2.txt", {"second", "あ"});
    textlist::appendFile("CMag2.txt", {});
    EXPECT_EQ(env->readFile("CMag2.txt"), QByteArray("first\r\nsecond\r\n") + hex("82a0") + "\r\n");
}

TEST_F(TextListFiles, AppendingWritesTheNewFileLinesOnlyWhenItCreatesTheFile) {
    textlist::appendFile("CMag2.txt", {"entry 1"}, {"title", ""});
    textlist::appendFile("CMag2.txt", {"entry 2"}, {"title", ""});
    EXPECT_EQ(env->readFile("CMag2.txt"), QByteArray("title\r\n\r\nentry 1\r\nentry 2\r\n"));
    // A file that is there, even empty, is only appended to.
    env->writeFile("CPubzine.txt", QByteArray());
    textlist::appendFile("CPubzine.txt", {"entry"}, {"title", ""});
    EXPECT_EQ(env->readFile("CPubzine.txt"), QByteArray("entry\r\n"));
}

TEST_F(TextListFiles, AppendedLinesStartOnTheirOwnLine) {
    env->writeFile("a.txt", "last line without end");
    textlist::appendFile("a.txt", {"new"});
    EXPECT_EQ(env->readFile("a.txt"), QByteArray("last line without end\r\nnew\r\n"));
    // A file ending in any line end is left as it ends.
    env->writeFile("lf.txt", "x\n");
    textlist::appendFile("lf.txt", {"new"});
    EXPECT_EQ(env->readFile("lf.txt"), QByteArray("x\nnew\r\n"));
    env->writeFile("cr.txt", "x\r");
    textlist::appendFile("cr.txt", {"new"});
    EXPECT_EQ(env->readFile("cr.txt"), QByteArray("x\rnew\r\n"));
}

TEST_F(TextListFiles, AppendingNeverTouchesAFileItsOwnerMadeReadOnly) {
    env->writeFile("CMag2.txt", "kept\r\n");
    ASSERT_EQ(::chmod("CMag2.txt", 0444), 0);
    EXPECT_EQ(test::errorOf([] { textlist::appendFile("CMag2.txt", {"new"}, {"title"}); }),
              QStringLiteral("ファイル CMag2.txt を作成できません"));
    EXPECT_EQ(env->readFile("CMag2.txt"), QByteArray("kept\r\n"));
    EXPECT_EQ(test::fileMode("CMag2.txt"), 0444);

    // Only the owner's bit counts, also behind a link.
    env->writeFile("target.txt", "old");
    ASSERT_EQ(::chmod("target.txt", 0466), 0);
    ASSERT_TRUE(QFile::link("target.txt", "link.txt"));
    EXPECT_EQ(test::errorOf([] { textlist::appendFile("link.txt", {"new"}); }),
              QStringLiteral("ファイル link.txt を作成できません"));
    EXPECT_EQ(env->readFile("target.txt"), QByteArray("old"));
    // Write permission alone is enough; the link is followed.
    ASSERT_EQ(::chmod("target.txt", 0200), 0);
    textlist::appendFile("link.txt", {"new"});
    EXPECT_EQ(env->readFile("target.txt"), QByteArray("old\r\nnew\r\n"));
    EXPECT_TRUE(QFileInfo("link.txt").isSymLink());
    EXPECT_EQ(test::fileMode("target.txt"), 0200);
}

TEST_F(TextListFiles, AMissingFileReadsAsNoLinesWhenThatIsAsked) {
    EXPECT_EQ(textlist::readFileIfExists("MADDRESS.ini"), QStringList());
    EXPECT_FALSE(QFileInfo::exists("MADDRESS.ini")); // reading creates nothing
    env->writeFile("MADDRESS.ini", "a@x\r\nb@x");
    EXPECT_EQ(textlist::readFileIfExists("MADDRESS.ini"), (QStringList{"a@x", "b@x"}));

    // Something that is there and cannot be read is still an error naming it.
    ASSERT_TRUE(QFile::remove("MADDRESS.ini"));
    QDir().mkdir("MADDRESS.ini");
    EXPECT_EQ(test::errorOf([] { textlist::readFileIfExists("MADDRESS.ini"); }),
              QStringLiteral("ファイル MADDRESS.ini を開けません"));
    ASSERT_TRUE(QFile::link("nowhere.ini", "dangling.ini"));
    EXPECT_TRUE(test::errorOf([] { textlist::readFileIfExists("dangling.ini"); }).contains("dangling.ini"));
    EXPECT_FALSE(test::errorOf([] { textlist::readFileIfExists(QString()); }).isEmpty());
}

TEST_F(TextListFiles, FileErrorsNameTheFile) {
    const QString missing = test::errorOf([] { textlist::readFile("MADDRESS.ini"); });
    EXPECT_TRUE(missing.contains("MADDRESS.ini")) << missing.toStdString();
    EXPECT_TRUE(missing.contains(QStringLiteral("開けません")));
    EXPECT_TRUE(test::errorOf([] { textlist::readBytes("nowhere.csv"); }).contains("nowhere.csv"));

    QDir().mkdir("folder");
    EXPECT_TRUE(test::errorOf([] { textlist::readFile("folder"); }).contains("folder"));
    EXPECT_TRUE(test::errorOf([] { textlist::writeFile("folder", {"x"}); }).contains("folder"));
    EXPECT_TRUE(test::errorOf([] { textlist::appendFile("folder", {"x"}); }).contains("folder"));

    const QString create = test::errorOf([] { textlist::writeFile("no/such/dir/Cancel.html", {"x"}); });
    EXPECT_TRUE(create.contains("no/such/dir/Cancel.html")) << create.toStdString();
    EXPECT_TRUE(create.contains(QStringLiteral("作成できません")));
    EXPECT_FALSE(test::errorOf([] { textlist::appendFile("no/such/dir/CMag2.txt", {"x"}); }).isEmpty());
    EXPECT_FALSE(test::errorOf([] { textlist::writeFile(QString(), {"x"}); }).isEmpty());
}

TEST_F(TextListFiles, AFullDiskIsNamedAndLeavesTheFileAsItWas) {
    test::SmallDisk disk(env->cwd() + QStringLiteral("/small"), 64);
    if (!disk.mounted())
        GTEST_SKIP() << disk.reason();
    const QString page = disk.path() + QStringLiteral("/Cancel.html");
    const QString notices = disk.path() + QStringLiteral("/CMag2.txt");
    textlist::writeFile(page, {QStringLiteral("前の頁")});
    textlist::appendFile(notices, {QStringLiteral("前の通知")});
    const QByteArray pageBefore = env->readFile(QStringLiteral("small/Cancel.html"));
    const QByteArray noticesBefore = env->readFile(QStringLiteral("small/CMag2.txt"));
    disk.fill();

    const QStringList big(2000, QStringLiteral("解除候補の一覧の一行"));
    const QString full = QStringLiteral("ディスクに空きがないため、ファイル %1 に書き込めません");
    EXPECT_EQ(test::errorOf([&] { textlist::writeFile(page, big); }), full.arg(page));
    EXPECT_EQ(test::errorOf([&] { textlist::appendFile(notices, big); }), full.arg(notices));
    EXPECT_EQ(env->readFile(QStringLiteral("small/Cancel.html")), pageBefore);
    EXPECT_EQ(env->readFile(QStringLiteral("small/CMag2.txt")), noticesBefore);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".filler", "Cancel.html", "CMag2.txt"}))
        << "no temporary file left behind";
}
