// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"
#include "tests/support/TestEnv.h"
#include "text/Error.h"

#include <stdexcept>

using namespace quil;

namespace {

// Runs a part of a test with test mode off and a fake backend, and puts the
// test hooks back afterwards whatever happens.
class LiveBackend {
public:
    explicit LiveBackend(MessageBox::Backend backend) {
        MessageBox::setTestMode(false);
        MessageBox::setBackend(std::move(backend));
    }
    ~LiveBackend() {
        MessageBox::setBackend(nullptr);
        MessageBox::setTestMode(true);
    }
};

class MessageBoxes : public test::EnvTest {};

} // namespace

TEST_F(MessageBoxes, TestModeAnswersWithTheFirstButtonAndRecordsTheBox) {
    EXPECT_EQ(MessageBox::show("t1", "c1", MsgButtons::Ok, MsgIcon::Information), MsgAnswer::Ok);
    EXPECT_EQ(MessageBox::show("t2", "c2", MsgButtons::OkCancel, MsgIcon::Exclamation), MsgAnswer::Ok);
    EXPECT_EQ(MessageBox::show("t3", "c3", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::Yes);
    const auto &shown = MessageBox::shown();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[1].text, "t2");
    EXPECT_EQ(shown[1].caption, "c2");
    EXPECT_EQ(shown[1].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(shown[1].icon, MsgIcon::Exclamation);
    EXPECT_EQ(shown[2].answer, MsgAnswer::Yes);
    MessageBox::clearShown();
    EXPECT_TRUE(MessageBox::shown().isEmpty());
}

TEST_F(MessageBoxes, QueuedAnswersAreUsedInOrderOnePerBox) {
    MessageBox::setNextAnswer(MsgAnswer::No);
    MessageBox::setNextAnswer(MsgAnswer::Cancel);
    EXPECT_EQ(MessageBox::show("q", "c", MsgButtons::YesNo, MsgIcon::Information), MsgAnswer::No);
    EXPECT_EQ(MessageBox::show("d", "c", MsgButtons::OkCancel, MsgIcon::Exclamation), MsgAnswer::Cancel);
    EXPECT_EQ(MessageBox::show("e", "c", MsgButtons::YesNo, MsgIcon::Information), MsgAnswer::Yes);
    ASSERT_EQ(MessageBox::shown().size(), 3);
    EXPECT_EQ(MessageBox::shown()[0].answer, MsgAnswer::No);
    EXPECT_EQ(MessageBox::shown()[1].answer, MsgAnswer::Cancel);
}

TEST_F(MessageBoxes, AnswersLeftFromAnEarlierTestDoNotLeakIntoTheNext) {
    MessageBox::setNextAnswer(MsgAnswer::No);
    MessageBox::setTestMode(true); // what each test's set-up does
    EXPECT_EQ(MessageBox::show("q", "c", MsgButtons::YesNo, MsgIcon::Information), MsgAnswer::Yes);
}

TEST_F(MessageBoxes, TheBackendShowsBoxesOnlyOutsideTestMode) {
    int calls = 0;
    MessageBox::setBackend([&](const ShownMessage &) {
        ++calls;
        return MsgAnswer::No;
    });
    MessageBox::show("x", "c", MsgButtons::YesNo, MsgIcon::Information);
    EXPECT_EQ(calls, 0);
    MessageBox::setBackend(nullptr);
    {
        ShownMessage seen;
        LiveBackend live([&](const ShownMessage &m) {
            seen = m;
            ++calls;
            return MsgAnswer::No;
        });
        EXPECT_EQ(MessageBox::show("本文", "題", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::No);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(seen.text, QStringLiteral("本文"));
        EXPECT_EQ(seen.caption, QStringLiteral("題"));
        EXPECT_EQ(seen.icon, MsgIcon::Question);
        // A queued answer still comes first and shows nothing.
        MessageBox::setNextAnswer(MsgAnswer::Yes);
        EXPECT_EQ(MessageBox::show("y", "c", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::Yes);
        EXPECT_EQ(calls, 1);
    }
}

TEST_F(MessageBoxes, FileDialogsTakeTheNextNamesAndCountWhatWasShown) {
    int calls = 0;
    FileDialog::setBackend([&](const QString &, const QString &, bool, const QString &) {
        ++calls;
        return QStringLiteral("/from/dialog");
    });
    FileDialog::setNextFileName("a.csv");
    FileDialog::setNextFileName(QString());
    EXPECT_EQ(FileDialog::getOpenFileName("開く", "CSV (*.csv)"), "a.csv");
    EXPECT_EQ(FileDialog::getSaveFileName("保存", "CSV (*.csv)"), QString()); // cancelled
    // No next name in test mode: cancelled, and no real dialog.
    EXPECT_EQ(FileDialog::getOpenFileName("開く", "CSV (*.csv)"), QString());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(FileDialog::shownCount(), 3);
    FileDialog::reset();
    EXPECT_EQ(FileDialog::shownCount(), 0);
    {
        LiveBackend live(nullptr);
        EXPECT_EQ(FileDialog::getSaveFileName("保存", "CSV (*.csv)"), "/from/dialog");
        EXPECT_EQ(calls, 1);
    }
    FileDialog::setBackend(nullptr);
    FileDialog::reset();
}

TEST_F(MessageBoxes, ANameTypedWithoutSuffixTakesTheDefaultOne) {
    FileDialog::setNextFileName("register");
    FileDialog::setNextFileName("register.txt");
    FileDialog::setNextFileName("archive.v1");
    EXPECT_EQ(FileDialog::getSaveFileName("保存", "CSV (*.csv)", "csv"), "register.csv");
    EXPECT_EQ(FileDialog::getSaveFileName("保存", "CSV (*.csv)", "csv"), "register.txt");
    EXPECT_EQ(FileDialog::getSaveFileName("保存", "CSV (*.csv)", "csv"), "archive.v1");
    // Opening: the suffix only where the file typed does not exist but that one does.
    env->writeFile("data.csv", "x");
    env->writeFile("plain", "x");
    FileDialog::setNextFileName(env->cwd() + "/data");
    FileDialog::setNextFileName(env->cwd() + "/plain");
    FileDialog::setNextFileName(env->cwd() + "/none");
    EXPECT_EQ(FileDialog::getOpenFileName("開く", "CSV (*.csv)", "csv"), env->cwd() + "/data.csv");
    EXPECT_EQ(FileDialog::getOpenFileName("開く", "CSV (*.csv)", "csv"), env->cwd() + "/plain");
    EXPECT_EQ(FileDialog::getOpenFileName("開く", "CSV (*.csv)", "csv"), env->cwd() + "/none");
    FileDialog::reset();
}

TEST(ErrorDisplay, FullStopIsAddedWhenTheLastCharacterSortsAfterIt) {
    EXPECT_EQ(errorText(QStringLiteral("開けません。")), QStringLiteral("開けません。."));
    EXPECT_EQ(errorText("closed dataset"), "closed dataset.");
    EXPECT_EQ(errorText("Wait!"), "Wait!");
    EXPECT_EQ(errorText("done."), "done.");
    EXPECT_EQ(errorText("a-"), "a-");   // '-' sorts before '.'
    EXPECT_EQ(errorText("a/"), "a/.");  // '/' sorts after
    EXPECT_EQ(errorText("(x)"), "(x)");
    EXPECT_EQ(errorText("1"), "1.");
    EXPECT_EQ(errorText(QString()), QString());
}

TEST_F(MessageBoxes, ShowErrorUsesTheErrorBoxCaptionedWithTheTitle) {
    EXPECT_EQ(applicationTitle(), "Quillet");
    showError(QStringLiteral("テーブルが開いていません"));
    ASSERT_EQ(MessageBox::shown().size(), 1);
    const ShownMessage &m = MessageBox::shown()[0];
    EXPECT_EQ(m.text, QStringLiteral("テーブルが開いていません."));
    EXPECT_EQ(m.caption, "Quillet");
    EXPECT_EQ(m.icon, MsgIcon::Error);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);

    setApplicationTitle("Other");
    showError("x");
    EXPECT_EQ(MessageBox::shown().last().caption, "Other");
    setApplicationTitle("Quillet");
}

TEST_F(MessageBoxes, GuardShowsEveryKindOfErrorAndKeepsWhatRanBefore) {
    int steps = 0;
    EXPECT_TRUE(guard([&] { ++steps; }));
    EXPECT_TRUE(MessageBox::shown().isEmpty());

    EXPECT_FALSE(guard([&] {
        ++steps;
        throw Error(QStringLiteral("'abc' は日付または時刻ではありません"));
        ++steps;
    }));
    EXPECT_EQ(steps, 2);
    ASSERT_EQ(MessageBox::shown().size(), 1);
    EXPECT_EQ(MessageBox::shown()[0].text, QStringLiteral("'abc' は日付または時刻ではありません."));
    EXPECT_EQ(MessageBox::shown()[0].icon, MsgIcon::Error);

    EXPECT_FALSE(guard([] { throw std::runtime_error("disk full"); }));
    EXPECT_EQ(MessageBox::shown().last().text, "disk full.");
    EXPECT_FALSE(guard([] { throw std::bad_alloc(); }));
    EXPECT_EQ(MessageBox::shown().last().text, QStringLiteral("メモリが不足しています."));
    EXPECT_FALSE(guard([] { throw 42; }));
    EXPECT_FALSE(MessageBox::shown().last().text.isEmpty());
    EXPECT_EQ(MessageBox::shown().last().caption, "Quillet");
    EXPECT_EQ(MessageBox::shown().size(), 4);
    // Nested handlers: the inner error is shown once, the outer goes on.
    EXPECT_TRUE(guard([&] { EXPECT_FALSE(guard([] { throw Error("inner"); })); }));
    EXPECT_EQ(MessageBox::shown().last().text, "inner.");
    EXPECT_TRUE(guard(nullptr));
}

TEST_F(MessageBoxes, GuardNeverLetsAnythingEscapeEvenFromTheDisplay) {
    LiveBackend live([](const ShownMessage &) -> MsgAnswer { throw std::runtime_error("no display"); });
    bool returned = false;
    EXPECT_NO_THROW(returned = guard([] { throw Error("x"); }));
    EXPECT_FALSE(returned);
}
