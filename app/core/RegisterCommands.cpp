#include "app/core/RegisterCommands.h"

#include "store/Columns.h"

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

// Steps forward from the current record to the first that `matches`; not
// found, the cursor returns to where it was.
template <typename Match> Notice findForward(Table &t, Match matches) {
    Table::DisabledControls quiet(t);
    Table::Walk walk(t);
    const WalkStart start = beginWalk(t);
    if (!start.nothingAfter) {
        if (start.testCurrent && matches())
            return {};
        for (;;) {
            t.next();
            if (t.eof())
                break;
            if (matches())
                return {};
        }
    }
    returnTo(t, start.mark);
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
    if (request.byName && request.partial) {
        Field &name = t.fieldByName(col::MBName);
        const QString &text = request.text;
        return findForward(t, [&] {
            const QString value = name.asString();
            return !text.isEmpty() && !value.isEmpty() && value.contains(text, Qt::CaseSensitive);
        });
    }
    const bool found = request.byName ? t.locate(col::MBName, request.text, LocateOptions{true})
                                      : t.locate(col::MBID, request.text);
    return found ? Notice{} : notFoundNotice();
}

Notice findNextInState(Table &t, const QString &state) {
    Field &field = t.fieldByName(col::DeleteState);
    return findForward(t, [&] { return field.asString() == state; });
}

void setStateFromCurrent(Table &t, const QString &state) {
    Field &field = t.fieldByName(col::DeleteState);
    Table::DisabledControls quiet(t);
    Table::Walk walk(t);
    const WalkStart start = beginWalk(t);
    if (start.nothingAfter)
        return;
    while (!t.eof()) {
        t.edit();
        field.setAsString(state);
        t.next(); // stores the change
    }
    returnTo(t, start.mark);
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
    {
        Table::DisabledControls quiet(t);
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
        // Back to where the reader was; when that record went, the first.
        if (t.bookmarkValid(mark))
            returnTo(t, mark);
        else
            t.first();
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
