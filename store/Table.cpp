// SPDX-License-Identifier: GPL-3.0-or-later
// The cursor: states, moves, the record buffer, events, bookmarks and locate.
#include "store/Table.h"

#include "store/FieldValues.h"
#include "store/ReadAhead.h"
#include "store/RowOrder.h"
#include "store/Sqlite.h"
#include "store/TableFile.h"
#include "text/DateText.h"
#include "text/Error.h"

#include <QHash>

#include <algorithm>
#include <utility>
#include <limits>
#include <map>

namespace quil {

using namespace values;

struct Table::Impl {
    explicit Impl(Table *table, QString fileName, std::vector<FieldDef> fields)
        : q(table), schema(std::move(fields)), file(std::move(fileName), schema) {}

    Table *q;
    std::vector<FieldDef> schema; // before `file`, which refers to it
    TableFile file;
    QHash<QString, int> fieldsByName;

    ReadAhead rows;
    int lastDirection = 1;
    sql::Statement insertRow, deleteRow;
    std::map<QByteArray, sql::Statement> updates; // by mask of changed columns
    bool active = false;
    bool wantExclusive = false;

    DataSetState state = DataSetState::Inactive;
    RowOrder order; // row ids and keys in stored order
    int cur = -1;
    bool bof = true, eof = true;
    StoredRow raw;      // the current record as read
    QVector<QVariant> buf;
    QByteArray decoded; // one byte per column, 1 = buf holds the value
    QByteArray dirty;   // one byte per column, 1 = changed since the fetch
    bool modified = false;

    int insertPos = -1;
    int savedCur = -1;
    bool savedBof = true, savedEof = true;
    quint64 newRecordGen = 0;
    qint64 nextRowid = 1;

    int controlsOff = 0;
    bool controlsMissed = false; // a notice was held back while controls were off

    bool editing() const { return state == DataSetState::Edit || state == DataSetState::Insert; }

    void requireActive() const {
        if (!active)
            throw Error(closedError());
    }

    int size() const { return order.size(); }

    void clearBuffer() {
        raw = StoredRow();
        buf = QVector<QVariant>(int(schema.size()));
        decoded = QByteArray(int(schema.size()), '\1');
        dirty = QByteArray(int(schema.size()), '\0');
    }

    // The stored record at a position; an invalid row when it is gone.
    StoredRow storedRecord(int pos) { return rows.fetch(order.id(pos), order.key(pos), lastDirection); }

    void loadCurrent() {
        if (cur < 0 || cur >= size()) {
            clearBuffer();
            return;
        }
        StoredRow row = storedRecord(cur);
        if (!row.valid()) {
            clearBuffer();
            return;
        }
        raw = std::move(row);
        const int n = int(schema.size());
        if (buf.size() != n)
            buf = QVector<QVariant>(n);
        else
            for (int i = 0; i < n; ++i)
                buf[i] = QVariant();
        decoded.fill('\0', n);
        dirty.fill('\0', n);
    }

    QVariant &value(int i) {
        if (!decoded[i]) {
            buf[i] = decode(raw, i, schema[size_t(i)]);
            decoded[i] = '\1';
        }
        materialize(schema[size_t(i)], buf[i]);
        return buf[i];
    }

    void fire(const std::function<void(Table &)> &handler) {
        if (!handler || !active)
            return;
        auto copy = handler; // a handler may replace itself
        copy(*q);
    }

    // Notices to bound controls; held back while controls are disabled.
    void emitRecordChanged() {
        if (controlsOff > 0)
            controlsMissed = true;
        else
            emit q->recordChanged();
    }
    void emitStateChanged() {
        if (controlsOff > 0)
            controlsMissed = true;
        else
            emit q->stateChanged();
    }
    void emitFieldChanged(int index) {
        if (controlsOff > 0)
            controlsMissed = true;
        else
            emit q->fieldChanged(index);
    }

    void notify(DataSetState before, bool record) {
        if (state != before)
            emitStateChanged();
        if (record)
            emitRecordChanged();
    }

    // --- connection ---------------------------------------------------------

    void prepareStatements() {
        QStringList params;
        for (size_t i = 0; i < schema.size(); ++i)
            params << QStringLiteral("?%1").arg(i + 2);
        sql::Database &db = file.db();
        const QString order = sql::quoteIdent(TableFile::orderColumn());
        rows.prepare(db, file.tableName(), file.columnList(), order, schema);
        deleteRow = db.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(file.tableName()));
        // Never reuse the id of a deleted row, so a stale bookmark stays invalid.
        insertRow = db.prepare(
            QStringLiteral("INSERT INTO %1 (rowid, %2, %3) VALUES ((SELECT max(ifnull(max(rowid), 0) + 1, ?1) FROM %1), "
                           "%4, ?%5)")
                .arg(file.tableName(), file.columnList(), order, params.join(QStringLiteral(", ")))
                .arg(schema.size() + 2));
    }

    void finalizeStatements() {
        rows.finalize();
        insertRow = sql::Statement();
        deleteRow = sql::Statement();
        updates.clear();
    }

    QString closeConnection() {
        finalizeStatements();
        QString err = file.disconnect();
        active = false;
        return err;
    }

    void resetCursor() {
        state = DataSetState::Inactive;
        order.clear();
        cur = -1;
        bof = eof = true;
        modified = false;
        clearBuffer();
    }

    // After a rollback the rows in memory may be ahead of the file: read
    // them anew and stay on the current record, or go to the first when it
    // is not in the file. What the reader typed into the buffer stays.
    void resync() {
        if (!active)
            return;
        const DataSetState before = state;
        const bool inserting = state == DataSetState::Insert;
        const qint64 curId = !inserting && cur >= 0 && cur < size() ? order.id(cur) : 0;
        const qint64 savedId = inserting && savedCur >= 0 && savedCur < size() ? order.id(savedCur) : 0;
        rows.clear();
        nextRowid = std::max(nextRowid, file.readOrder(order) + 1);
        if (inserting) {
            const int i = savedId ? order.indexOf(savedId) : -1;
            savedCur = i >= 0 ? i : (order.empty() ? -1 : 0);
            insertPos = std::clamp(insertPos, 0, size());
            return;
        }
        const int index = curId ? order.indexOf(curId) : -1;
        if (index >= 0) {
            cur = index;
            if (!dirty.contains('\1'))
                loadCurrent();
            emitRecordChanged();
            return;
        }
        cur = order.empty() ? -1 : 0;
        bof = true;
        eof = order.empty();
        state = DataSetState::Browse;
        modified = false;
        loadCurrent();
        notify(before, true);
        fire(q->afterScroll);
    }

    // Never throws: a cursor that cannot be read anew is closed, which every
    // later command reports, rather than left showing rows that are not there.
    void resyncOrClose() noexcept {
        try {
            resync();
            return;
        } catch (...) {
        }
        try {
            closeConnection();
        } catch (...) {
        }
        resetCursor();
        try {
            emitStateChanged();
            emitRecordChanged();
        } catch (...) {
        }
    }

    // --- storing ------------------------------------------------------------

    void renumber() {
        sql::Database &db = file.db();
        db.exec(QStringLiteral("SAVEPOINT quil_renumber"));
        try {
            auto st = db.prepare(QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE rowid = ?2")
                                     .arg(file.tableName(), sql::quoteIdent(TableFile::orderColumn())));
            for (int i = 0; i < size(); ++i) {
                st.bindDouble(1, double(i + 1));
                st.bindInt(2, order.id(i));
                st.run();
            }
            db.exec(QStringLiteral("RELEASE quil_renumber"));
        } catch (...) {
            try {
                db.exec(QStringLiteral("ROLLBACK TO quil_renumber"));
                db.exec(QStringLiteral("RELEASE quil_renumber"));
            } catch (const Error &) {
            }
            throw;
        }
        for (int i = 0; i < size(); ++i)
            order.setKey(i, double(i + 1));
        rows.clear();
    }

    double keyFor(int pos) {
        if (order.empty())
            return 1.0;
        if (pos >= size())
            return order.key(size() - 1) + 1.0;
        if (pos <= 0)
            return order.key(0) - 1.0;
        double mid = (order.key(pos - 1) + order.key(pos)) / 2;
        if (mid <= order.key(pos - 1) || mid >= order.key(pos)) {
            renumber();
            mid = (order.key(pos - 1) + order.key(pos)) / 2;
        }
        return mid;
    }

    sql::Statement &updateFor(const QByteArray &mask) {
        auto it = updates.find(mask);
        if (it != updates.end())
            return it->second;
        QStringList sets;
        int param = 2;
        for (int i = 0; i < mask.size(); ++i)
            if (mask[i])
                sets << QStringLiteral("%1 = ?%2").arg(sql::quoteIdent(schema[size_t(i)].name)).arg(param++);
        auto st = file.db().prepare(
            QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?1").arg(file.tableName(), sets.join(QStringLiteral(", "))));
        return updates.emplace(mask, std::move(st)).first->second;
    }

    // Writes the buffer; the state becomes Browse. Throws, leaving the state
    // as it was, when the engine refuses.
    void store() {
        if (state == DataSetState::Insert) {
            int pos = std::clamp(insertPos, 0, size());
            double key = keyFor(pos);
            insertRow.bindInt(1, nextRowid);
            for (size_t i = 0; i < schema.size(); ++i)
                bindValue(insertRow, int(i) + 2, schema[i], buf[int(i)]);
            insertRow.bindDouble(int(schema.size()) + 2, key);
            insertRow.run();
            qint64 id = file.db().lastInsertRowid();
            nextRowid = id + 1;
            order.insert(pos, id, key);
            cur = pos;
            bof = eof = false;
        } else if (state == DataSetState::Edit && dirty.contains('\1')) {
            auto &st = updateFor(dirty);
            st.bindInt(1, order.id(cur));
            int param = 2;
            for (int i = 0; i < dirty.size(); ++i)
                if (dirty[i])
                    bindValue(st, param++, schema[size_t(i)], buf[i]);
            st.run();
            if (file.db().changes() == 0)
                throw Error(QStringLiteral("レコードが見つかりません。他のプロセスによって削除された可能性があります"));
            rows.drop(order.id(cur));
        }
        state = DataSetState::Browse;
        modified = false;
        dirty.fill('\0');
    }

    // Abandons the buffer. `scroll`: fire afterScroll when a new record was
    // abandoned (an explicit cancel; a move fires its own).
    void abandon(bool scroll) {
        DataSetState before = state;
        if (before == DataSetState::Insert) {
            cur = savedCur < size() ? savedCur : size() - 1;
            bof = savedBof;
            eof = savedEof;
            if (order.empty())
                bof = eof = true;
        }
        state = DataSetState::Browse;
        modified = false;
        // An edit that changed nothing leaves the buffer as it was read.
        const bool changed = before == DataSetState::Insert || dirty.contains('\1');
        if (changed)
            loadCurrent();
        notify(before, changed);
        if (scroll && before == DataSetState::Insert)
            fire(q->afterScroll);
    }

    // Before a move and the like: controls hand over what was typed, then a
    // changed record is stored and an untouched one abandoned.
    void checkBrowseMode() {
        requireActive();
        // A handler reached from here may begin editing again; settle a few times.
        for (int round = 0; round < 3 && editing(); ++round) {
            emit q->updateRecordRequested();
            requireActive();
            if (!editing())
                break;
            if (modified) {
                DataSetState before = state;
                store();
                notify(before, false);
            } else {
                abandon(false);
            }
        }
    }

    void beginNew(bool atEnd) {
        DataSetState before = state;
        savedCur = cur;
        savedBof = bof;
        savedEof = eof;
        insertPos = atEnd ? size() : std::max(cur, 0);
        if (atEnd) {
            bof = false;
            eof = true;
        }
        state = DataSetState::Insert;
        clearBuffer();
        modified = false;
        const quint64 gen = ++newRecordGen;
        notify(before, true);
        try {
            fire(q->onNewRecord);
        } catch (...) {
            if (active && state == DataSetState::Insert && gen == newRecordGen)
                abandon(false);
            throw;
        }
        // Defaults set by the new-record handler do not make the record changed.
        if (active && state == DataSetState::Insert && gen == newRecordGen) {
            modified = false;
        }
        fire(q->afterScroll);
    }

    void moveTo(int index) {
        cur = index;
        loadCurrent();
        emitRecordChanged();
    }

    int fieldIndex(const QString &name) const {
        auto it = fieldsByName.constFind(name);
        if (it != fieldsByName.constEnd())
            return it.value();
        for (size_t i = 0; i < schema.size(); ++i)
            if (schema[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    }

    int requireField(const QString &name) const {
        int i = fieldIndex(name);
        if (i < 0)
            throw Error(QStringLiteral("フィールド '%1' が見つかりません").arg(name));
        return i;
    }
};

// ---------------------------------------------------------------------------

Table::Table(QString fileName, std::vector<FieldDef> schema, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(this, std::move(fileName), std::move(schema))) {
    for (const auto &f : d->schema)
        d->fieldsByName.insert(f.name, int(d->fieldsByName.size()));
    d->clearBuffer();
    for (size_t i = 0; i < d->schema.size(); ++i)
        m_fields.push_back(std::make_unique<Field>(*this, int(i), d->schema[i]));
}

Table::~Table() {
    try {
        close();
    } catch (...) {
        // The record could not be stored; the connection still has to go.
    }
    if (d->active || d->file.connected())
        d->closeConnection();
}

void Table::setDirectory(const QString &dir) {
    if (dir == d->file.directory())
        return;
    if (d->active)
        throw Error(QStringLiteral("開いているデータセットでは操作できません"));
    d->file.setDirectory(dir);
}

QString Table::directory() const { return d->file.directory(); }
QString Table::fileName() const { return d->file.fileName(); }
QString Table::filePath() const { return d->file.path(); }

bool Table::createIfMissing() { return d->file.createIfMissing(d->active); }

void Table::open() {
    if (d->active)
        return;
    d->file.connect(d->wantExclusive);
    try {
        d->prepareStatements();
        d->nextRowid = std::max(d->nextRowid, d->file.readOrder(d->order) + 1);
        d->file.resumeWalk();
    } catch (...) {
        d->closeConnection();
        d->resetCursor();
        throw;
    }
    d->active = true;
    d->state = DataSetState::Browse;
    d->cur = d->order.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->order.empty();
    d->modified = false;
    d->loadCurrent();
    d->emitStateChanged();
    d->emitRecordChanged();
    if (!d->order.empty())
        d->fire(afterScroll);
}

void Table::close() {
    if (!d->active)
        return;
    if (d->editing()) {
        emit updateRecordRequested();
        if (!d->active)
            return;
        if (d->editing() && d->modified)
            d->store(); // an error keeps the table open with the record intact
    }
    QString err = d->closeConnection();
    d->resetCursor();
    d->emitStateChanged();
    d->emitRecordChanged();
    if (!err.isEmpty())
        throw Error(err);
}

bool Table::active() const { return d->active; }

void Table::setActive(bool on) {
    if (on)
        open();
    else
        close();
}

void Table::openExclusive() {
    close();
    d->wantExclusive = true;
    try {
        open();
    } catch (...) {
        d->wantExclusive = false;
        throw;
    }
}

bool Table::exclusive() const { return d->active && d->file.exclusiveHeld(); }

void Table::emptyTable() {
    d->requireActive();
    if (!d->file.exclusiveHeld())
        throw Error(QStringLiteral("テーブル '%1' は排他的に開かれていないため、全件を削除できません").arg(filePath()));
    DataSetState before = d->state;
    d->file.db().exec(QStringLiteral("DELETE FROM %1").arg(d->file.tableName()));
    d->order.clear();
    d->rows.clear();
    d->cur = -1;
    d->bof = d->eof = true;
    d->state = DataSetState::Browse;
    d->modified = false;
    d->loadCurrent();
    d->notify(before, true);
}

DataSetState Table::state() const { return d->state; }
bool Table::modified() const { return d->modified; }
void Table::setModified(bool on) { d->modified = on; }

void Table::first() {
    d->checkBrowseMode();
    d->lastDirection = 1;
    d->bof = true;
    d->eof = d->order.empty();
    d->moveTo(d->order.empty() ? -1 : 0);
    d->fire(afterScroll);
}

void Table::last() {
    d->checkBrowseMode();
    d->lastDirection = -1;
    d->eof = true;
    d->bof = d->order.empty();
    d->moveTo(d->size() - 1);
    d->fire(afterScroll);
}

void Table::next() {
    d->checkBrowseMode();
    if (d->eof)
        return;
    d->lastDirection = 1;
    if (d->cur + 1 < d->size()) {
        d->bof = false;
        d->moveTo(d->cur + 1);
    } else {
        d->eof = true;
    }
    d->fire(afterScroll);
}

void Table::prior() {
    d->checkBrowseMode();
    if (d->bof)
        return;
    d->lastDirection = -1;
    if (d->cur > 0) {
        d->eof = false;
        d->moveTo(d->cur - 1);
    } else {
        d->bof = true;
    }
    d->fire(afterScroll);
}

int Table::moveBy(int distance) {
    d->checkBrowseMode();
    if (distance == 0 || d->order.empty())
        return 0;
    if ((distance > 0 && d->eof) || (distance < 0 && d->bof))
        return 0;
    d->lastDirection = distance > 0 ? 1 : -1;
    const qint64 wanted = qint64(d->cur) + distance;
    const int target = int(std::clamp<qint64>(wanted, 0, d->size() - 1));
    const int moved = target - d->cur;
    d->bof = wanted < 0;
    d->eof = wanted >= d->size();
    if (moved != 0)
        d->moveTo(target);
    d->fire(afterScroll);
    return moved;
}

bool Table::eof() const { return d->eof; }
bool Table::bof() const { return d->bof; }

int Table::recordCount() const {
    d->requireActive();
    return d->size();
}

bool Table::isEmpty() const { return recordCount() == 0; }

int Table::recNo() const {
    if (!d->active || d->state == DataSetState::Insert)
        return 0;
    return d->cur + 1;
}

int Table::currentPosition() const {
    if (!d->active)
        return -1;
    if (d->state == DataSetState::Insert)
        return std::clamp(d->insertPos, 0, d->size());
    return d->cur;
}

void Table::checkBrowseMode() { d->checkBrowseMode(); }

void Table::append() {
    d->checkBrowseMode();
    d->beginNew(true);
}

void Table::insert() {
    d->checkBrowseMode();
    d->beginNew(false);
}

void Table::edit() {
    d->requireActive();
    if (d->editing())
        return;
    if (d->order.empty()) {
        d->beginNew(true);
        return;
    }
    DataSetState before = d->state;
    d->state = DataSetState::Edit;
    d->modified = false;
    d->dirty.fill('\0');
    d->notify(before, false);
}

void Table::post() {
    d->requireActive();
    if (!d->editing())
        return;
    emit updateRecordRequested();
    d->requireActive();
    if (!d->editing())
        return;
    DataSetState before = d->state;
    d->store();
    d->notify(before, false);
}

void Table::cancel() {
    d->requireActive();
    if (d->editing())
        d->abandon(true);
}

void Table::remove() {
    d->requireActive();
    if (d->state == DataSetState::Insert) {
        d->abandon(true);
        return;
    }
    if (d->order.empty())
        throw Error(QStringLiteral("空のデータセットでは操作できません"));
    if (d->state == DataSetState::Edit)
        emit updateRecordRequested();
    // The handler sees the record as it stands, unsaved edits included; an
    // error from it leaves everything as it was.
    d->fire(beforeDelete);
    d->requireActive();
    if (d->state == DataSetState::Insert || d->cur < 0)
        return;
    const qint64 gone = d->order.id(d->cur);
    d->deleteRow.bindInt(1, gone);
    d->deleteRow.run();
    d->rows.drop(gone);
    DataSetState before = d->state;
    d->order.erase(d->cur);
    d->state = DataSetState::Browse;
    d->modified = false;
    if (d->order.empty()) {
        d->cur = -1;
        d->bof = d->eof = true;
    } else {
        d->cur = std::min(d->cur, d->size() - 1);
        d->bof = d->eof = false;
    }
    d->loadCurrent();
    d->notify(before, true);
    d->fire(afterDelete);
    d->fire(afterScroll);
}

Bookmark Table::bookmark() const {
    d->requireActive();
    // Taking a bookmark changes nothing: a new record not yet stored has none.
    if (d->state == DataSetState::Insert || d->cur < 0 || d->cur >= d->size())
        return 0;
    return d->order.id(d->cur);
}

bool Table::bookmarkValid(Bookmark b) const { return d->active && b != 0 && d->order.indexOf(b) >= 0; }

void Table::gotoBookmark(Bookmark b) {
    d->requireActive();
    if (b == 0)
        return;
    d->checkBrowseMode();
    int index = d->order.indexOf(b);
    if (index < 0)
        throw Error(QStringLiteral("ブックマークが無効です。レコードが見つかりません"));
    d->bof = d->eof = false;
    d->moveTo(index);
    d->fire(afterScroll);
}

void Table::freeBookmark(Bookmark) {}

bool Table::locate(const QString &column, const QVariant &value, LocateOptions options) {
    d->requireActive();
    const int fi = d->requireField(column);
    d->checkBrowseMode();
    const FieldDef &def = d->schema[size_t(fi)];
    QVariant wanted;
    if (value.isValid() && (def.type == FieldType::Integer || def.type == FieldType::SmallInt)
        && value.typeId() == QMetaType::QString) {
        // Text for a number column follows the typing rules: "00123" is 123.
        qint64 n = 0;
        const QString text = value.toString();
        if (!text.isEmpty()) {
            if (!parseDecimal(text, false, n) || n < std::numeric_limits<qint32>::min()
                || n > std::numeric_limits<qint32>::max())
                throw Error(QStringLiteral("'%1' は項目 '%2' に適した整数値ではありません").arg(text, def.name));
            wanted = QVariant(int(n));
        }
    } else if (def.type == FieldType::String) {
        wanted = value.isValid() && !value.toString().isEmpty()
                     ? QVariant(values::textOf(def, fromVariant(FieldDef{def.name, def.type, 0}, value)))
                     : QVariant();
    } else {
        wanted = fromVariant(def, value);
    }
    const bool fold = options.caseInsensitive && def.type == FieldType::String && wanted.isValid();
    const QString col = sql::quoteIdent(def.name);
    const QString cond = fold ? QStringLiteral("quil_same_folded(%1, ?1)").arg(col) : QStringLiteral("%1 IS ?1").arg(col);
    // The unary + keeps the engine from walking the ordering index row by
    // row: a scan with a sort of the few matches is far cheaper.
    auto st = d->file.db().prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 ORDER BY +%3, rowid")
                                       .arg(d->file.tableName(), cond, sql::quoteIdent(TableFile::orderColumn())));
    if (fold)
        st.bindText(1, wanted.toString());
    else
        bindValue(st, 1, def, wanted);
    int index = -1;
    while (index < 0 && st.step())
        index = d->order.indexOf(st.columnInt(0));
    if (index < 0)
        return false;
    d->bof = d->eof = false;
    d->moveTo(index);
    d->fire(afterScroll);
    return true;
}

namespace {
// Rows at or after a place in stored order: ordering key, then row id.
QString fromPlace(const QString &order) {
    return QStringLiteral("(%1 > ?1 OR (%1 = ?1 AND rowid >= ?2))").arg(order);
}
} // namespace

int Table::findFrom(int from, const QString &column, const QString &text, bool contains) const {
    d->requireActive();
    const int fi = d->requireField(column);
    if (from < 0)
        from = 0;
    if (from >= d->size() || (contains && text.isEmpty()))
        return -1;
    const QString col = sql::quoteIdent(d->schema[size_t(fi)].name);
    const QString order = sql::quoteIdent(TableFile::orderColumn());
    const QString cond = contains ? QStringLiteral("instr(%1, ?3) > 0").arg(col) : QStringLiteral("%1 = ?3").arg(col);
    auto st = d->file.db().prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 AND %3 ORDER BY +%4, rowid")
                                       .arg(d->file.tableName(), fromPlace(order), cond, order));
    st.bindDouble(1, d->order.key(from));
    st.bindInt(2, d->order.id(from));
    st.bindText(3, text);
    while (st.step()) {
        const int index = d->order.indexOf(st.columnInt(0));
        if (index >= from)
            return index;
    }
    return -1;
}

QString Table::textOf(int fieldIndex, const QVariant &value) const {
    if (fieldIndex < 0 || fieldIndex >= int(d->schema.size()))
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(fieldIndex));
    return values::textOf(d->schema[size_t(fieldIndex)], value);
}

QList<QVector<QVariant>> Table::recordsWhere(const QString &column, const QString &text, QList<Bookmark> *rows) const {
    d->requireActive();
    const int fi = d->requireField(column);
    auto st = d->file.db().prepare(QStringLiteral("SELECT %1, rowid FROM %2 WHERE %3 = ?1 ORDER BY +%4, rowid")
                                       .arg(d->file.columnList(), d->file.tableName(),
                                            sql::quoteIdent(d->schema[size_t(fi)].name),
                                            sql::quoteIdent(TableFile::orderColumn())));
    st.bindText(1, text);
    QList<QVector<QVariant>> out;
    const int n = int(d->schema.size());
    while (st.step()) {
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i) {
            row[i] = readValue(st, i, d->schema[size_t(i)]);
            materialize(d->schema[size_t(i)], row[i]);
        }
        out << row;
        if (rows)
            *rows << st.columnInt(n);
    }
    return out;
}

void Table::assignFrom(int from, const QString &column, const QString &text) {
    d->requireActive();
    const int fi = d->requireField(column);
    const QVariant value = fromText(d->schema[size_t(fi)], text);
    d->checkBrowseMode();
    if (from < 0)
        from = 0;
    if (from >= d->size())
        return;
    auto st = d->file.db().prepare(QStringLiteral("UPDATE %1 SET %2 = ?3 WHERE %3")
                                       .arg(d->file.tableName(), sql::quoteIdent(d->schema[size_t(fi)].name),
                                            fromPlace(sql::quoteIdent(TableFile::orderColumn()))));
    st.bindDouble(1, d->order.key(from));
    st.bindInt(2, d->order.id(from));
    bindValue(st, 3, d->schema[size_t(fi)], value);
    st.run();
    d->rows.clear();
    d->loadCurrent();
    d->emitRecordChanged();
}

QStringList Table::columnTexts(const QString &column) const {
    d->requireActive();
    const int fi = d->requireField(column);
    const FieldDef &def = d->schema[size_t(fi)];
    auto st = d->file.db().prepare(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3, rowid")
                                       .arg(sql::quoteIdent(def.name), d->file.tableName(),
                                            sql::quoteIdent(TableFile::orderColumn())));
    QStringList out;
    while (st.step()) {
        QVariant v = readValue(st, 0, def);
        materialize(def, v);
        out << values::textOf(def, v);
    }
    return out;
}

QList<Bookmark> Table::bookmarks() const {
    d->requireActive();
    QList<Bookmark> out;
    out.reserve(d->size());
    for (int i = 0; i < d->size(); ++i)
        out << d->order.id(i);
    return out;
}

bool Table::containsValue(const QString &column, const QVariant &value) const {
    d->requireActive();
    const int fi = d->requireField(column);
    const FieldDef &def = d->schema[size_t(fi)];
    QVariant wanted = fromVariant(FieldDef{def.name, def.type, 0}, value);
    auto st = d->file.db().prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 IS ?1 LIMIT 1")
                                       .arg(d->file.tableName(), sql::quoteIdent(def.name)));
    bindValue(st, 1, def, wanted);
    return st.step();
}

QVector<QVariant> Table::recordAt(int position) const {
    d->requireActive();
    if (position < 0 || position >= d->size())
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(position));
    const StoredRow row = d->storedRecord(position);
    QVector<QVariant> out(int(d->schema.size()));
    for (int i = 0; row.valid() && i < out.size(); ++i) {
        out[i] = decode(row, i, d->schema[size_t(i)]);
        materialize(d->schema[size_t(i)], out[i]);
    }
    return out;
}

QString Table::displayTextAt(int position, int fieldIndex) const {
    d->requireActive();
    if (position < 0 || position >= d->size())
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(position));
    if (fieldIndex < 0 || fieldIndex >= int(d->schema.size()))
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(fieldIndex));
    const FieldDef &def = d->schema[size_t(fieldIndex)];
    const StoredRow row = d->storedRecord(position);
    if (!row.valid())
        return QString();
    QVariant v = decode(row, fieldIndex, def);
    materialize(def, v);
    if (def.type == FieldType::DateTime)
        return v.isValid() ? datetext::display(v.toDateTime()) : QString();
    return values::textOf(def, v);
}

Field &Table::fieldByName(const QString &name) { return *m_fields[size_t(d->requireField(name))]; }

Field *Table::findField(const QString &name) {
    int i = d->fieldIndex(name);
    return i < 0 ? nullptr : m_fields[size_t(i)].get();
}

Field &Table::field(int index) {
    if (index < 0 || index >= int(m_fields.size()))
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index));
    return *m_fields[size_t(index)];
}

int Table::fieldCount() const { return int(m_fields.size()); }
const std::vector<FieldDef> &Table::schema() const { return d->schema; }

const QVariant &Table::bufferValue(int index) const {
    d->requireActive();
    if (index < 0 || index >= int(d->schema.size()))
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index));
    return d->value(index);
}

void Table::setBufferValue(int index, const QVariant &value) {
    if (!d->active || !d->editing())
        throw Error(notEditingError());
    if (index < 0 || index >= int(d->schema.size()))
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index));
    d->buf[index] = value;
    d->decoded[index] = '\1';
    d->dirty[index] = '\1';
    d->modified = true;
    d->emitFieldChanged(index);
}

void Table::disableControls() { ++d->controlsOff; }

void Table::enableControls() {
    if (d->controlsOff == 0 || --d->controlsOff > 0)
        return;
    if (!d->controlsMissed)
        return;
    d->controlsMissed = false;
    emit stateChanged();
    emit recordChanged();
}

bool Table::controlsDisabled() const { return d->controlsOff > 0; }

void Table::showRecordToControls() {
    if (d->controlsOff == 0)
        return;
    const int off = std::exchange(d->controlsOff, 0);
    struct Restore {
        Impl &d;
        int off;
        ~Restore() { d.controlsOff = off; }
    } restore{*d, off};
    emit stateChanged();
    emit recordChanged();
}

// ---------------------------------------------------------------------------

Table::Walk::Walk(Table &t, Kind kind) : m_table(t) {
    t.d->file.enterWalk(t.d->active, kind == Kind::Writing);
}

Table::Walk::~Walk() {
    try {
        end();
    } catch (...) {
        // The error on its way out of the walk is the one reported.
    }
}

void Table::Walk::end() {
    if (m_ended)
        return;
    m_ended = true;
    try {
        m_table.d->file.leaveWalk();
    } catch (...) {
        m_table.d->resyncOrClose();
        throw;
    }
}

void Table::commitForWait() {
    if (!d->active)
        return;
    try {
        d->file.commitForWait();
    } catch (...) {
        d->resyncOrClose();
        throw;
    }
}

Table::Part::Part(Table &t) : m_table(t) {
    t.d->requireActive();
    t.d->file.db().exec(QStringLiteral("SAVEPOINT quil_part"));
}

Table::Part::~Part() {
    if (m_done || !m_table.d->active)
        return;
    Impl &d = *m_table.d;
    try {
        d.file.db().exec(QStringLiteral("ROLLBACK TO quil_part"));
        d.file.db().exec(QStringLiteral("RELEASE quil_part"));
    } catch (...) {
        // Gone with a transaction the engine rolled back; the walk's end says so.
    }
    try {
        if (d.state == DataSetState::Insert)
            d.abandon(false);
    } catch (...) {
    }
    d.resyncOrClose();
}

void Table::Part::keep() {
    if (m_done)
        return;
    m_table.d->file.db().exec(QStringLiteral("RELEASE quil_part"));
    m_done = true;
}

void Table::setSideSchema(const QStringList &statements) {
    if (d->active)
        throw Error(QStringLiteral("開いているデータセットでは操作できません"));
    d->file.setSideSchema(statements);
}

sql::Database &Table::sideDatabase() {
    d->requireActive();
    return d->file.db();
}

QString Table::sideValue(const QString &key) const {
    d->requireActive();
    return d->file.sideValue(key);
}

void Table::setSideValue(const QString &key, const QString &value) {
    d->requireActive();
    d->file.setSideValue(key, value);
}

// ---------------------------------------------------------------------------

DataSource::DataSource(Table *table, QObject *parent) : QObject(parent) { setDataSet(table); }

void DataSource::setDataSet(Table *table) {
    if (m_table == table)
        return;
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    if (m_table) {
        connect(m_table, &Table::recordChanged, this, &DataSource::recordChanged);
        connect(m_table, &Table::fieldChanged, this, &DataSource::fieldChanged);
        connect(m_table, &Table::stateChanged, this, &DataSource::stateChanged);
        connect(m_table, &Table::updateRecordRequested, this, &DataSource::updateRecordRequested);
        connect(m_table, &QObject::destroyed, this, [this] { m_table = nullptr; });
    }
    emit recordChanged();
}

} // namespace quil
