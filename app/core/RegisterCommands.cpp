// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/RegisterCommands.h"

#include "store/Columns.h"
#include "text/Error.h"

namespace quil {
namespace {

// Where a forward walk begins.
struct WalkStart {
    Bookmark mark = 0;        // the record to return to
    bool testCurrent = false; // the current record is already past the start
    bool nothingAfter = false;
};

// A new record the reader has typed into is a record like any other: it is
// stored first, as the walk's first move would store it, so that the walk can
// come back to it. An untouched one is no record of the register: at the end
// nothing follows it; inserted before another record, the walk begins with
// that record.
WalkStart beginWalk(Table &t) {
    if (t.state() == DataSetState::Insert) {
        if (t.modified()) {
            t.post();
            return {t.bookmark(), false, false};
        }
        if (t.eof())
            return {0, false, true};
        t.cancel();
        return {t.bookmark(), true, false};
    }
    return {t.bookmark(), false, t.isEmpty()};
}

void returnTo(Table &t, Bookmark mark) {
    if (t.bookmarkValid(mark)) {
        t.gotoBookmark(mark);
        t.freeBookmark(mark);
    }
}

// The first record after the current one whose column matches; not found,
// the cursor stays where it was. One statement finds it, one move goes there.
Notice findForward(Table &t, const QString &column, const QString &text, bool contains) {
    const WalkStart start = beginWalk(t);
    if (!start.nothingAfter) {
        const int from = t.currentPosition() + (start.testCurrent ? 0 : 1);
        const int found = t.findFrom(from, column, text, contains);
        if (found >= 0) {
            t.moveBy(found - t.currentPosition());
            return {};
        }
    }
    // Back on the record the search began from, held in editing again.
    if (t.bookmarkValid(start.mark))
        t.gotoBookmark(start.mark);
    return notFoundNotice();
}

} // namespace

void Notice::show() const {
    if (!empty())
        MessageBox::show(text, caption, MsgButtons::Ok, icon);
}

Notice notFoundNotice() {
    return {QStringLiteral("見つかりませんでした"), QStringLiteral("検索エラー"), MsgIcon::Exclamation};
}

Notice findRecord(Table &t, const FindRequest &request) {
    if (request.byName && request.partial)
        return findForward(t, col::MBName, request.text, true);
    const bool found = request.byName ? t.locate(col::MBName, request.text, LocateOptions{true})
                                      : t.locate(col::MBID, request.text);
    return found ? Notice{} : notFoundNotice();
}

Notice findNextInState(Table &t, const QString &state) { return findForward(t, col::DeleteState, state, false); }

void setStateFromCurrent(Table &t, const QString &state) {
    const WalkStart start = beginWalk(t);
    if (start.nothingAfter)
        return;
    // Every record from here to the end gets the state, whatever it held:
    // one statement instead of a store per record.
    t.assignFrom(t.currentPosition(), col::DeleteState, state);
    if (t.bookmarkValid(start.mark))
        t.gotoBookmark(start.mark);
}

int deleteCancelledRecords(Table &t) {
    const Bookmark mark = t.bookmark();
    if (MessageBox::show(QStringLiteral("本当に削除してよろしいですか？　この操作は、取り消しが出来ません"),
                         QStringLiteral("「削除」の項目のデータベースより削除"), MsgButtons::OkCancel,
                         MsgIcon::Exclamation)
        == MsgAnswer::Cancel)
        return -1;
    Field &field = t.fieldByName(col::DeleteState);
    int deleted = 0;
    // Back to where the reader was; when that record went, the first.
    const auto goBack = [&] {
        if (t.bookmarkValid(mark))
            returnTo(t, mark);
        else
            t.first();
    };
    {
        Table::DisabledControls quiet(t);
        // With notices on, the notice writer commits before each of its boxes;
        // each deletion after it is then durable on its own, right after its
        // notice.
        Table::Walk walk(t);
        t.first();
        while (!t.eof() && t.state() != DataSetState::Insert) {
            if (field.asString() == state::Cancelled) {
                t.remove(); // the record that followed is tested next
                ++deleted;
            } else {
                t.next();
            }
        }
        goBack();
        try {
            walk.end();
        } catch (const Error &) {
            // Nothing of the walk is in the file: the cursor has read its rows
            // anew; it goes back to the reader's record as after a success.
            try {
                if (t.active())
                    goBack();
            } catch (const Error &) {
            }
            throw;
        }
    }
    return deleted;
}

bool emptyRegister(Table &t) {
    if (MessageBox::show(QStringLiteral("　この操作は、取り消しできません。\nそれでも、実行しますか？"),
                         QStringLiteral("データベース項目の全削除"), MsgButtons::OkCancel, MsgIcon::Exclamation)
        != MsgAnswer::Ok)
        return false;
    t.close();
    t.openExclusive();
    t.emptyTable();
    return true;
}

} // namespace quil
