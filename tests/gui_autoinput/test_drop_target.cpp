// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/DropFiles.h"
#include "autoinput/DropText.h"
#include "platform/MessageBox.h"
#include "text/Cp932.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFrame>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

using namespace NuvraOLE;

namespace {

struct Fired {
    QString event;
    QObject *sender;
    TShiftState shift;
    int x, y;
};

// Records every event of a component.
struct Recorder {
    QList<Fired> fired;
    void attach(TCustomDropTarget &c) {
        c.OnDragEnter = [this](QObject *s, TShiftState sh, int x, int y) { fired.append({"enter", s, sh, x, y}); };
        c.OnDragOver = [this](QObject *s, TShiftState sh, int x, int y) { fired.append({"over", s, sh, x, y}); };
        c.OnDragLeave = [this](QObject *s) { fired.append({"leave", s, {}, 0, 0}); };
        c.OnDrop = [this](QObject *s, TShiftState sh, int x, int y) { fired.append({"drop", s, sh, x, y}); };
    }
    QStringList names() const {
        QStringList n;
        for (const Fired &f : fired)
            n << f.event;
        return n;
    }
};

struct Outcome {
    bool accepted;
    Qt::DropAction action;
};

// One drag event as Qt's drag machinery delivers it to a widget.
Outcome send(QWidget *to, QEvent::Type type, const QMimeData *data, QPoint pos = {5, 5},
             Qt::KeyboardModifiers mods = Qt::NoModifier, Qt::MouseButtons buttons = Qt::LeftButton,
             Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction) {
    if (type == QEvent::DragLeave) {
        QDragLeaveEvent e;
        QCoreApplication::sendEvent(to, &e);
        return {e.isAccepted(), Qt::IgnoreAction};
    }
    if (type == QEvent::DragEnter) {
        QDragEnterEvent e(pos, actions, data, buttons, mods);
        QCoreApplication::sendEvent(to, &e);
        return {e.isAccepted(), e.dropAction()};
    }
    if (type == QEvent::DragMove) {
        QDragMoveEvent e(pos, actions, data, buttons, mods);
        QCoreApplication::sendEvent(to, &e);
        return {e.isAccepted(), e.dropAction()};
    }
    QDropEvent e(QPointF(pos), actions, data, buttons, mods);
    QCoreApplication::sendEvent(to, &e);
    return {e.isAccepted(), e.dropAction()};
}

std::unique_ptr<QMimeData> textData(const QString &text) {
    auto m = std::make_unique<QMimeData>();
    m->setText(text);
    return m;
}

std::unique_ptr<QMimeData> fileData(const QStringList &paths) {
    auto m = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    m->setUrls(urls);
    return m;
}

class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        quil::MessageBox::setTestMode(true);
        quil::MessageBox::clearShown();
        host = std::make_unique<QWidget>();
        host->setGeometry(100, 50, 300, 200);
        memo = new QPlainTextEdit(host.get());
        memo->setGeometry(0, 100, 300, 100);
        panel = new QFrame(host.get());
        panel->setGeometry(0, 0, 300, 100);
        host->show();
    }
    std::unique_ptr<QWidget> host;
    QPlainTextEdit *memo = nullptr;
    QFrame *panel = nullptr;
};

} // namespace

TEST_F(DropTargetTest, TextIsReadOnEnterAndEventsCarryScreenCoordinates) {
    TOLEDropText drop;
    drop.SetTarget(memo);
    Recorder rec;
    rec.attach(drop);
    // A NUL ends the text, as on the clipboard of the original desktop.
    auto data = textData(QStringLiteral("件名：テスト\r\n本文") + QChar(0) + "tail");

    // Real drags reach a text area through its viewport.
    QWidget *vp = memo->viewport();
    Outcome enter = send(vp, QEvent::DragEnter, data.get(), {7, 9});
    EXPECT_TRUE(enter.accepted);
    EXPECT_EQ(drop.Text, quil::cp932::encode(QStringLiteral("件名：テスト\r\n本文")));
    send(vp, QEvent::DragMove, data.get(), {8, 9});
    Outcome dropped = send(vp, QEvent::Drop, data.get(), {8, 10});
    EXPECT_TRUE(dropped.accepted);
    EXPECT_EQ(dropped.action, Qt::CopyAction);

    ASSERT_EQ(rec.names(), (QStringList{"enter", "over", "drop"}));
    const QPoint global = vp->mapToGlobal(QPoint(8, 10));
    EXPECT_EQ(rec.fired[2].sender, &drop);
    EXPECT_EQ(rec.fired[2].x, global.x());
    EXPECT_EQ(rec.fired[2].y, global.y());
    EXPECT_NE(QPoint(8, 10), global); // really converted, not the local point
    // The component took the drop; the text area did not insert it itself.
    EXPECT_TRUE(memo->toPlainText().isEmpty());

    // Sent to the text area itself, the drag is taken the same way.
    rec.fired.clear();
    auto second = textData("second");
    EXPECT_TRUE(send(memo, QEvent::DragEnter, second.get()).accepted);
    EXPECT_TRUE(send(memo, QEvent::Drop, second.get()).accepted);
    EXPECT_EQ(drop.Text, QByteArray("second"));
    EXPECT_EQ(rec.names(), (QStringList{"enter", "drop"}));
}

TEST_F(DropTargetTest, DragWithoutTheComponentsDataIsRefusedWithNoEvent) {
    TOLEDropFiles files;
    files.SetTarget(panel);
    Recorder rec;
    rec.attach(files);
    const QStringList three{"/tmp/a b.txt", "/tmp/z.eml", "/tmp/m.txt"};
    auto fdata = fileData(three);
    EXPECT_TRUE(send(panel, QEvent::DragEnter, fdata.get()).accepted);
    // The list is there already during the drag, in the drag's order.
    EXPECT_EQ(files.Files, three);
    send(panel, QEvent::Drop, fdata.get());
    rec.fired.clear();

    // Text over a file target: no-drop effect, no event, previous list kept.
    auto tdata = textData("text");
    Outcome o = send(panel, QEvent::DragEnter, tdata.get());
    EXPECT_FALSE(o.accepted);
    EXPECT_EQ(o.action, Qt::IgnoreAction);
    EXPECT_FALSE(files.Acceptable);
    o = send(panel, QEvent::DragMove, tdata.get());
    EXPECT_FALSE(o.accepted);
    send(panel, QEvent::DragLeave, tdata.get());
    o = send(panel, QEvent::Drop, tdata.get());
    EXPECT_FALSE(o.accepted);
    EXPECT_TRUE(rec.fired.isEmpty());
    EXPECT_EQ(files.Files, three);

    // Web addresses are no file list either.
    auto web = std::make_unique<QMimeData>();
    web->setUrls({QUrl("https://example.jp/")});
    EXPECT_FALSE(send(panel, QEvent::DragEnter, web.get()).accepted);

    // A text target refuses files and empties its text.
    TOLEDropText text;
    text.SetTarget(memo);
    Recorder trec;
    trec.attach(text);
    auto t1 = textData("old");
    send(memo->viewport(), QEvent::DragEnter, t1.get());
    trec.fired.clear();
    EXPECT_FALSE(send(memo->viewport(), QEvent::DragEnter, fdata.get()).accepted);
    EXPECT_TRUE(text.Text.isEmpty());
    EXPECT_FALSE(send(memo->viewport(), QEvent::Drop, fdata.get()).accepted);
    EXPECT_TRUE(trec.fired.isEmpty());
}

TEST_F(DropTargetTest, EffectFollowsCursorsWhateverTheSourceAllows) {
    TOLEDropText drop;
    drop.SetTarget(memo);
    auto data = textData("x");
    struct Case {
        Qt::KeyboardModifiers mods;
        Qt::DropAction expected;
    };
    const Case cases[] = {
        {Qt::NoModifier, Qt::CopyAction},
        {Qt::ShiftModifier, Qt::MoveAction},
        {Qt::ControlModifier | Qt::ShiftModifier, Qt::LinkAction},
        {Qt::ControlModifier, Qt::CopyAction},
        {Qt::AltModifier, Qt::CopyAction},
        {Qt::ControlModifier | Qt::AltModifier, Qt::CopyAction},
        {Qt::AltModifier | Qt::ShiftModifier, Qt::CopyAction},
        {Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, Qt::CopyAction},
    };
    for (const Case &c : cases) {
        // The source offers only copy; the table decides regardless.
        Outcome o = send(memo, QEvent::DragEnter, data.get(), {5, 5}, c.mods, Qt::LeftButton, Qt::CopyAction);
        EXPECT_EQ(o.action, c.expected) << int(c.mods);
        o = send(memo, QEvent::DragMove, data.get(), {5, 5}, c.mods, Qt::LeftButton, Qt::CopyAction);
        EXPECT_EQ(o.action, c.expected) << int(c.mods);
    }

    // Cursors are copied, not shared; "none" refuses the drop but events fire.
    TDropCursors mine;
    mine.None = dcNone;
    mine.Shift = dcLink;
    drop.SetCursors(&mine);
    mine.Shift = dcCopy;
    EXPECT_EQ(drop.Cursors()->Shift, dcLink);
    Recorder rec;
    rec.attach(drop);
    Outcome o = send(memo, QEvent::DragMove, data.get(), {5, 5}, Qt::ShiftModifier);
    EXPECT_EQ(o.action, Qt::LinkAction);
    o = send(memo->viewport(), QEvent::DragEnter, data.get());
    EXPECT_FALSE(o.accepted);
    EXPECT_EQ(o.action, Qt::IgnoreAction);
    EXPECT_EQ(rec.names(), (QStringList{"over", "enter"}));

    // Only another cursor table can be assigned.
    QTimer other;
    try {
        drop.SetCursors(&other);
        FAIL() << "assigning a QTimer succeeded";
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("QTimerをTDropCursorsに代入できません。"));
    }
    // A component of ours is named without its namespace.
    TOLEDropText component;
    try {
        drop.SetCursors(&component);
        FAIL() << "assigning a TOLEDropText succeeded";
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("TOLEDropTextをTDropCursorsに代入できません。"));
    }
    EXPECT_EQ(drop.Cursors()->Shift, dcLink);
}

TEST_F(DropTargetTest, ShiftStateFromModifiersAndButtons) {
    TOLEDropFiles drop;
    drop.SetTarget(panel);
    Recorder rec;
    rec.attach(drop);
    auto data = fileData({"/tmp/f"});
    send(panel, QEvent::DragEnter, data.get());
    rec.fired.clear();
    struct Case {
        Qt::KeyboardModifiers mods;
        Qt::MouseButtons buttons;
        TShiftState expected;
    };
    const Case cases[] = {
        {Qt::NoModifier, Qt::LeftButton, ssLeft},
        {Qt::ControlModifier | Qt::AltModifier, Qt::LeftButton, TShiftState(ssCtrl) | ssAlt | ssLeft},
        {Qt::ShiftModifier, Qt::RightButton | Qt::MiddleButton, TShiftState(ssShift) | ssRight | ssMiddle},
        {Qt::NoModifier, Qt::NoButton, TShiftState()},
    };
    for (const Case &c : cases)
        send(panel, QEvent::DragMove, data.get(), {5, 5}, c.mods, c.buttons);
    ASSERT_EQ(rec.fired.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(rec.fired[i].shift, cases[i].expected) << i;
    // Bits beyond the six keys are ignored; a double click is never reported.
    EXPECT_EQ(TCustomDropTarget::KeyStateToShiftState(0xFFFFFFFFu),
              TShiftState(ssShift) | ssAlt | ssCtrl | ssLeft | ssRight | ssMiddle);
}

TEST_F(DropTargetTest, ATargetTakesOneComponentOnly) {
    TOLEDropText first;
    first.SetTarget(memo);
    TOLEDropFiles second;
    try {
        second.SetTarget(memo);
        FAIL() << "second registration succeeded";
    } catch (const ECustomDropTarget &e) {
        EXPECT_EQ(e.message(), QStringLiteral("そのTargetは既に別のOLEDropTargetとして指定されています。\n"
                                              "DropTargetは二重に登録できません。"));
        EXPECT_EQ(e.FailedStep, 3);
        EXPECT_EQ(e.ResultCode, 0x80040101u);
    }
    EXPECT_EQ(second.Target(), nullptr);
    EXPECT_EQ(second.RegisteredHandle(), nullptr);
    EXPECT_EQ(TCustomDropTarget::registeredFor(memo), &first);

    // The first still works.
    Recorder rec;
    rec.attach(first);
    auto data = textData("t");
    send(memo, QEvent::DragEnter, data.get());
    send(memo, QEvent::Drop, data.get());
    EXPECT_EQ(rec.names(), (QStringList{"enter", "drop"}));

    // Moving the first frees the text area for the second; the panel keeps
    // its own drop setting when released.
    ASSERT_FALSE(panel->acceptDrops());
    first.SetTarget(panel);
    EXPECT_TRUE(panel->acceptDrops());
    second.SetTarget(memo);
    EXPECT_EQ(second.Target(), memo);
    first.SetTarget(nullptr);
    EXPECT_EQ(first.Target(), nullptr);
    EXPECT_EQ(TCustomDropTarget::registeredFor(panel), nullptr);
    EXPECT_FALSE(panel->acceptDrops());
    rec.fired.clear();
    send(panel, QEvent::DragEnter, data.get());
    EXPECT_TRUE(rec.fired.isEmpty());
}

TEST_F(DropTargetTest, TargetDestroyedFirstLeavesNothingRegistered) {
    auto drop = std::make_unique<TOLEDropFiles>();
    auto *target = new QFrame(host.get());
    drop->SetTarget(target);
    const QWidget *gone = target;
    delete target;
    EXPECT_EQ(drop->Target(), nullptr);
    EXPECT_EQ(drop->RegisteredHandle(), nullptr);
    EXPECT_EQ(TCustomDropTarget::registeredFor(gone), nullptr);
    // The component can be bound again and destroyed without trouble.
    drop->SetTarget(panel);
    EXPECT_EQ(drop->Target(), panel);
    drop.reset();
    EXPECT_EQ(TCustomDropTarget::registeredFor(panel), nullptr);
}

TEST_F(DropTargetTest, DestroyingTheComponentRevokes) {
    auto drop = std::make_unique<TOLEDropText>();
    Recorder rec;
    drop->SetTarget(memo);
    drop.reset();
    EXPECT_EQ(TCustomDropTarget::registeredFor(memo), nullptr);
    // Drags reach the text area's own handling again, and a new component
    // can take it.
    auto data = textData("t");
    send(memo, QEvent::DragEnter, data.get());
    TOLEDropText again;
    again.SetTarget(memo);
    rec.attach(again);
    send(memo, QEvent::DragEnter, data.get());
    EXPECT_EQ(rec.names(), QStringList{"enter"});
}

TEST_F(DropTargetTest, AFailingHandlerIsShownAndTheDragGoesOn) {
    TOLEDropText drop;
    drop.SetTarget(memo);
    drop.OnDrop = [](QObject *, TShiftState, int, int) { throw quil::Error(QStringLiteral("失敗しました")); };
    auto data = textData("t");
    send(memo, QEvent::DragEnter, data.get());
    Outcome o = send(memo, QEvent::Drop, data.get());
    EXPECT_TRUE(o.accepted);
    ASSERT_EQ(quil::MessageBox::shown().size(), 1);
    EXPECT_EQ(quil::MessageBox::shown()[0].icon, quil::MsgIcon::Error);
    EXPECT_TRUE(quil::MessageBox::shown()[0].text.startsWith(QStringLiteral("失敗しました")));
}
