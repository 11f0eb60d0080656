// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

namespace quil {

class Table;
namespace sql {
class Database;
}

enum class FieldType { String, Integer, SmallInt, DateTime, Boolean };
enum class DataSetState { Inactive, Browse, Edit, Insert };

struct FieldDef {
    QString name;     // the Japanese column name, exactly
    FieldType type;
    int size = 0;     // CP932 bytes, for String columns
};

// One column of the current record buffer. Getters read the buffer; setters
// write it and mark the record modified. Setting a field while the table is
// not in edit or insert state is an error.
class Field {
public:
    Field(Table &table, int index, FieldDef def);

    const QString &fieldName() const { return m_def.name; }
    FieldType dataType() const { return m_def.type; }
    int size() const { return m_def.size; }
    int index() const { return m_index; }
    Table &table() const { return m_table; }

    bool isNull() const;
    // Text form: an ID is plain decimal, a date the plain text form, a
    // Boolean "True"/"False"; null gives empty text.
    QString asString() const;
    // Display form: dates as "yyyy/MM/dd hh:mm:ss"; otherwise asString().
    QString displayText() const;
    int asInteger() const;          // null reads 0
    QDateTime asDateTime() const;   // null reads an invalid value
    bool asBoolean() const;         // null reads false
    QVariant value() const;         // null is an invalid QVariant

    // "From text": empty text empties the column. Integer columns take a whole
    // decimal number (leading blanks and a sign allowed, nothing after the
    // digits), otherwise "'%s' は項目 '%s' に適した整数値ではありません".
    // Date columns take the plain text form, otherwise
    // "'%s' は日付または時刻ではありません". Text is cut to the column's width
    // without splitting a double-byte character.
    void setAsString(const QString &text);
    // "As a value": the general value conversion. Empty or unconvertible text
    // given to a number or date column fails with "バリアントの型変換が不正です".
    void setValue(const QVariant &value);
    void setAsInteger(int value);
    void setAsDateTime(const QDateTime &value);
    void setAsBoolean(bool value);
    void clear();

private:
    Table &m_table;
    int m_index;
    FieldDef m_def;
};

using Bookmark = qint64; // 0 = no bookmark

struct LocateOptions {
    bool caseInsensitive = false;
};

// A cursor over one SQLite table with the behaviour of a classic desktop
// dataset: states, one record buffer with a modified flag, moves that store a
// changed record and abandon an untouched one, bookmarks, locate and record
// events. Stored order is a hidden ordering key.
class Table : public QObject {
    Q_OBJECT
public:
    Table(QString fileName, std::vector<FieldDef> schema, QObject *parent = nullptr);
    ~Table() override;

    // The directory is set by the data module; the file is directory/fileName.
    // ":memory:" keeps the table in memory for the life of this object (no
    // file, no lock). Refused while the table is open.
    void setDirectory(const QString &dir);
    QString directory() const;
    QString fileName() const;
    QString filePath() const;

    // Creates the file with its schema when missing (0600); true when it was created.
    bool createIfMissing();

    // Open for shared use; fires afterScroll when the table holds records.
    // Throws quil::Error with the engine's message when it cannot be opened;
    // the table then stays closed.
    void open();
    void close();
    bool active() const;
    void setActive(bool on);
    // Closes and reopens for exclusive use without waiting; fails with a clear
    // error when another process has the table open, and the table then stays
    // closed. Once exclusive, later opens ask for exclusive use again.
    void openExclusive();
    bool exclusive() const;
    // Removes every row at once; no per-record events. Needs exclusive use.
    void emptyTable();

    DataSetState state() const;
    bool modified() const;
    void setModified(bool on = true);

    // Moves. Each first stores a changed record or abandons an untouched one.
    void first();
    void last();
    void next();
    void prior();
    // Moves by this many records (negative: backwards), stopping at either
    // end, with one afterScroll. Returns the distance actually moved.
    int moveBy(int distance);
    bool eof() const;
    bool bof() const;
    int recordCount() const;
    bool isEmpty() const;
    // 1-based position of the current record, 0 when none.
    int recNo() const;
    // 0-based position of the current record in stored order; for a new
    // record, the position it takes when stored; -1 when closed or empty.
    int currentPosition() const;

    // What a move does first, without moving: bound controls hand over what
    // was typed, a changed record is stored and an untouched one abandoned,
    // so a new record nobody typed into leaves no trace.
    void checkBrowseMode();

    void append();  // new record at the end: onNewRecord, then afterScroll
    void insert();  // new record before the current one
    // Begin editing; on an empty table this begins a new record instead.
    // Does nothing in edit or insert state.
    void edit();
    void post();
    void cancel();  // abandoning a new record fires afterScroll
    // Deletes the current record: beforeDelete, the deletion, afterDelete,
    // afterScroll. On a new record not yet stored it only abandons it.
    // An error from beforeDelete aborts the deletion.
    void remove();

    // Taking a bookmark has no side effect: the record and the state stay as
    // they are. 0 when there is no stored current record (a new record not
    // yet stored has none). Going to a bookmark is a move: it stores or
    // abandons first. Going to bookmark 0 does nothing.
    Bookmark bookmark() const;
    bool bookmarkValid(Bookmark b) const;
    void gotoBookmark(Bookmark b);
    void freeBookmark(Bookmark b);

    // Moves to the first row (stored order) whose column equals the value.
    // Text columns compare as text (optionally ignoring case); integer columns
    // compare as numbers ("00123" finds 123). False leaves the cursor.
    bool locate(const QString &column, const QVariant &value, LocateOptions options = {});

    // The position of the first stored record at or after `from` (stored
    // order) whose text column equals `text` exactly, or with `contains`
    // holds it as a run of whole characters (empty text never matches);
    // -1 when none. One statement, no move, no event.
    int findFrom(int from, const QString &column, const QString &text, bool contains) const;
    // Sets a column from text ("from text", cut to its width) in every stored
    // record from a position to the end, in one statement. A record being
    // edited is stored (or abandoned) first; the current record is read
    // again and the controls told. No move, no per-record event.
    void assignFrom(int from, const QString &column, const QString &text);

    // The text form (as Field::asString gives it) of a value of a field.
    QString textOf(int fieldIndex, const QVariant &value) const;
    // Every stored record whose text column equals `text` exactly, in
    // stored order, one value per field. One statement, no move, no event.
    // `rows`, when given, receives each record's bookmark.
    QList<QVector<QVariant>> recordsWhere(const QString &column, const QString &text,
                                          QList<Bookmark> *rows = nullptr) const;

    // Read without moving the cursor or firing events; the record being
    // inserted is not among them.
    // The text form of a column for every stored record, in stored order.
    QStringList columnTexts(const QString &column) const;
    // The bookmark of every stored record, in stored order.
    QList<Bookmark> bookmarks() const;
    // True when a stored record holds exactly this value in the column.
    bool containsValue(const QString &column, const QVariant &value) const;
    // The stored record at a 0-based position, one value per field.
    QVector<QVariant> recordAt(int position) const;
    // The display form of one field of the stored record at a position, as
    // Field::displayText gives it for the current record.
    QString displayTextAt(int position, int fieldIndex) const;

    Field &fieldByName(const QString &name);  // throws "フィールド 'X' が見つかりません"
    Field *findField(const QString &name);
    Field &field(int index);
    int fieldCount() const;
    const std::vector<FieldDef> &schema() const;

    // While controls are disabled the bound controls hear nothing of moves
    // and changes (events still fire); enabling them again tells them once.
    // Calls nest.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const;
    // While controls are disabled, tells them of the current record once, as
    // enabling would, and leaves them disabled: a box about to speak of the
    // record shows over it.
    void showRecordToControls();
    class DisabledControls {
    public:
        explicit DisabledControls(Table &t) : m_table(t) { t.disableControls(); }
        ~DisabledControls() { m_table.enableControls(); }
        DisabledControls(const DisabledControls &) = delete;
        DisabledControls &operator=(const DisabledControls &) = delete;
    private:
        Table &m_table;
    };

    // A walk over many records runs inside one transaction, committed when
    // the walk ends, normally or by an error. A writing walk takes the write
    // lock when it begins (waiting a few seconds at most for another
    // process), so it cannot fail half-way for want of it; a reading walk
    // only sees the file as it stood when it began.
    class Walk {
    public:
        enum class Kind { Writing, Reading };
        explicit Walk(Table &t, Kind kind = Kind::Writing);
        // A walk left by an error is committed here, and a failure of that
        // commit is swallowed: the error on its way is the one reported.
        ~Walk();
        // Ends the walk normally: commits, and throws the commit's error.
        // After a failed commit the cursor reflects the file again: its rows
        // are read anew and it stands on the record it stood on, or on the
        // first when that one is not in the file.
        void end();
        Walk(const Walk &) = delete;
        Walk &operator=(const Walk &) = delete;
    private:
        Table &m_table;
        bool m_ended = false;
    };

    // Commits the running walk's transaction before the program waits for
    // the reader (a message box), so that no other program is kept waiting
    // on this one's lock meanwhile; the rest of the walk then stores each
    // change on its own, durable when it returns. Nothing outside a walk.
    // Throws the commit's error, with the cursor read anew as after end().
    void commitForWait();

    // A part of a walk that is stored whole or not at all (one mail of many).
    // Not kept, it is undone when it ends: its changes leave the file, a new
    // record it began is abandoned, and the cursor is read anew.
    class Part {
    public:
        explicit Part(Table &t);
        ~Part();
        void keep();
        Part(const Part &) = delete;
        Part &operator=(const Part &) = delete;
    private:
        Table &m_table;
        bool m_done = false;
    };

    // Small text values of the program's own, kept in the table's file
    // beside the records ("" when missing). Setting one outside a walk is
    // durable when it returns.
    QString sideValue(const QString &key) const;
    void setSideValue(const QString &key, const QString &value);
    // The owner's own tables beside the records, made when the file is opened
    // (refused while open). The connection for the store's code that reads
    // and writes them, inside the table's walks.
    void setSideSchema(const QStringList &statements);
    sql::Database &sideDatabase();

    // Record events (handlers of the data module). They may re-enter the table.
    std::function<void(Table &)> afterScroll;
    std::function<void(Table &)> onNewRecord;
    std::function<void(Table &)> beforeDelete;
    std::function<void(Table &)> afterDelete;

    // Raw buffer access for Field.
    const QVariant &bufferValue(int index) const;
    void setBufferValue(int index, const QVariant &value);

signals:
    // The whole current record changed (move, new record, cancel, open, close).
    void recordChanged();
    // One field of the buffer changed from code or from a control.
    void fieldChanged(int index);
    void stateChanged();
    // Sent before a post and before a move decides whether to store: bound
    // controls write what the reader has typed but not yet handed over.
    void updateRecordRequested();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    std::vector<std::unique_ptr<Field>> m_fields;
};

// Links bound controls to a table.
class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(Table *table = nullptr, QObject *parent = nullptr);
    Table *dataSet() const { return m_table; }
    void setDataSet(Table *table);
signals:
    void recordChanged();
    void fieldChanged(int index);
    void stateChanged();
    void updateRecordRequested();
private:
    Table *m_table = nullptr;
};

} // namespace quil
