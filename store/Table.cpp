#include "store/Table.h"

#include "platform/DataDirs.h"

#include "store/Sqlite.h"
#include "text/Cp932.h"
#include "text/DateText.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <map>
#include <unordered_map>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quil {
namespace {

const QString kMemory = QStringLiteral(":memory:");
const QString kOrderColumn = QStringLiteral("_sort_key");
constexpr int kBatch = 64;

QString closedError() { return QStringLiteral("データセットが閉じています"); }
QString notEditingError() { return QStringLiteral("データセットが編集モードでも挿入モードでもありません"); }
QString variantError() { return QStringLiteral("バリアントの型変換が不正です"); }

QString sqlType(FieldType t) {
    switch (t) {
    case FieldType::String:
    case FieldType::DateTime:
        return QStringLiteral("TEXT");
    case FieldType::Integer:
    case FieldType::SmallInt:
    case FieldType::Boolean:
        return QStringLiteral("INTEGER");
    }
    return QStringLiteral("TEXT");
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// A whole decimal number: leading blanks, an optional sign, ASCII digits, and
// (when allowed) trailing blanks. Fails on anything else or beyond 64 bits.
bool parseDecimal(const QString &text, bool trailingBlanks, qint64 &out) {
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    qsizetype digitsStart = i;
    quint64 value = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        unsigned digit = text[i].unicode() - u'0';
        if (value > (quint64(std::numeric_limits<qint64>::max()) - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++i;
    }
    if (i == digitsStart)
        return false;
    if (trailingBlanks)
        while (i < n && isBlank(text[i]))
            ++i;
    if (i != n)
        return false;
    out = negative ? -qint64(value) : qint64(value);
    return true;
}

std::optional<bool> parseBool(const QString &text) {
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1"))
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

QString rangeError(qint64 v, const FieldDef &def) {
    return QStringLiteral("%1 は項目 '%2' に適した値ではありません。範囲は %3 から %4 です")
        .arg(v)
        .arg(def.name)
        .arg(std::numeric_limits<qint16>::min())
        .arg(std::numeric_limits<qint16>::max());
}

// Range of a number column; `textForm` picks the error of a text conversion.
QVariant checkedInteger(const FieldDef &def, qint64 v, const QString &source, bool textForm) {
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max()) {
        if (textForm)
            throw Error(QStringLiteral("'%1' は項目 '%2' に適した整数値ではありません").arg(source, def.name));
        throw Error(variantError());
    }
    if (def.type == FieldType::SmallInt
        && (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max()))
        throw Error(rangeError(v, def));
    return QVariant(int(v));
}

QVariant cutText(const FieldDef &def, const QString &text) {
    if (text.isEmpty())
        return QVariant();
    // No character takes more than two bytes, so short text needs no count.
    const bool fits = def.size <= 0 || text.size() * 2 <= def.size;
    QString t = fits ? text : cp932::cutToWidth(text, def.size);
    return t.isEmpty() ? QVariant() : QVariant(t);
}

// The "from text" conversion of a column.
QVariant fromText(const FieldDef &def, const QString &text) {
    if (text.isEmpty())
        return QVariant();
    switch (def.type) {
    case FieldType::String:
        return cutText(def, text);
    case FieldType::Integer:
    case FieldType::SmallInt: {
        qint64 v = 0;
        if (!parseDecimal(text, false, v))
            throw Error(QStringLiteral("'%1' は項目 '%2' に適した整数値ではありません").arg(text, def.name));
        return checkedInteger(def, v, text, true);
    }
    case FieldType::DateTime: {
        auto dt = datetext::parse(text);
        if (!dt)
            throw Error(QStringLiteral("'%1' は日付または時刻ではありません").arg(text));
        return QVariant(*dt);
    }
    case FieldType::Boolean: {
        auto b = parseBool(text);
        if (!b)
            throw Error(QStringLiteral("'%1' は項目 '%2' に適したブール値ではありません").arg(text, def.name));
        return QVariant(*b);
    }
    }
    return QVariant();
}

QString textOf(const FieldDef &def, const QVariant &v) {
    if (!v.isValid())
        return QString();
    switch (def.type) {
    case FieldType::String:
        return v.toString();
    case FieldType::Integer:
    case FieldType::SmallInt:
        return QString::number(v.toLongLong());
    case FieldType::DateTime:
        return datetext::plain(v.toDateTime());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    return QString();
}

bool isNumeric(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

std::optional<QDateTime> parseDateValue(const QString &text) {
    QString t = text.trimmed();
    if (auto dt = datetext::parse(t))
        return dt;
    QDateTime iso = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!iso.isValid())
        iso = QDateTime::fromString(t, Qt::ISODate);
    if (iso.isValid())
        return iso;
    return std::nullopt;
}

// The "as a value" conversion of a column.
QVariant fromVariant(const FieldDef &def, const QVariant &value) {
    if (!value.isValid() || value.isNull())
        return QVariant();
    const int type = value.typeId();
    switch (def.type) {
    case FieldType::String:
        if (type == QMetaType::Bool)
            return cutText(def, value.toBool() ? QStringLiteral("True") : QStringLiteral("False"));
        if (type == QMetaType::QDateTime)
            return cutText(def, datetext::plain(value.toDateTime()));
        if (type == QMetaType::QDate)
            return cutText(def, datetext::plain(value.toDate().startOfDay()));
        if (!value.canConvert<QString>())
            throw Error(variantError());
        return cutText(def, value.toString());
    case FieldType::Integer:
    case FieldType::SmallInt: {
        if (type == QMetaType::Bool)
            return checkedInteger(def, value.toBool() ? 1 : 0, QString(), false);
        if (type == QMetaType::Double || type == QMetaType::Float) {
            double d = value.toDouble();
            if (!std::isfinite(d) || std::fabs(d) > 9.0e15)
                throw Error(variantError());
            return checkedInteger(def, qRound64(d), QString(), false);
        }
        if (isNumeric(value)) {
            if (type == QMetaType::ULongLong && value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
                throw Error(variantError());
            return checkedInteger(def, value.toLongLong(), QString(), false);
        }
        if (type == QMetaType::QString || type == QMetaType::QByteArray || type == QMetaType::QChar) {
            qint64 v = 0;
            if (!parseDecimal(value.toString(), true, v))
                throw Error(variantError());
            return checkedInteger(def, v, QString(), false);
        }
        throw Error(variantError());
    }
    case FieldType::DateTime: {
        if (type == QMetaType::QDateTime) {
            QDateTime dt = value.toDateTime();
            return dt.isValid() ? QVariant(dt) : QVariant();
        }
        if (type == QMetaType::QDate)
            return QVariant(value.toDate().startOfDay());
        if (type == QMetaType::QString || type == QMetaType::QByteArray) {
            if (auto dt = parseDateValue(value.toString()))
                return QVariant(*dt);
        }
        throw Error(variantError());
    }
    case FieldType::Boolean: {
        if (type == QMetaType::Bool)
            return QVariant(value.toBool());
        if (isNumeric(value))
            return QVariant(value.toDouble() != 0.0);
        if (type == QMetaType::QString || type == QMetaType::QByteArray) {
            if (auto b = parseBool(value.toString().trimmed()))
                return QVariant(*b);
        }
        throw Error(variantError());
    }
    }
    return QVariant();
}

void bindValue(sql::Statement &s, int i, const FieldDef &def, const QVariant &v) {
    if (!v.isValid()) {
        s.bindNull(i);
        return;
    }
    switch (def.type) {
    case FieldType::String:
        s.bindText(i, v.toString());
        break;
    case FieldType::Integer:
    case FieldType::SmallInt:
        s.bindInt(i, v.toLongLong());
        break;
    case FieldType::DateTime:
        if (v.typeId() == QMetaType::QString)
            s.bindText(i, v.toString()); // still in the stored form
        else
            s.bindText(i, v.toDateTime().toString(Qt::ISODateWithMs));
        break;
    case FieldType::Boolean:
        s.bindInt(i, v.toBool() ? 1 : 0);
        break;
    }
}

QVariant readValue(const sql::Statement &s, int col, const FieldDef &def) {
    if (s.isNull(col))
        return QVariant();
    switch (def.type) {
    case FieldType::String:
        return QVariant(s.columnText(col));
    case FieldType::Integer:
    case FieldType::SmallInt:
        return QVariant(int(s.columnInt(col)));
    case FieldType::DateTime:
        // Kept in the stored form until read: a local date costs a time-zone
        // lookup, which a walk over many records need not pay.
        return QVariant(s.columnText(col));
    case FieldType::Boolean:
        return QVariant(s.columnInt(col) != 0);
    }
    return QVariant();
}

// Turns a date still in its stored form into its value.
void materialize(const FieldDef &def, QVariant &v) {
    if (def.type != FieldType::DateTime || v.typeId() != QMetaType::QString)
        return;
    const QString text = v.toString();
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid())
        dt = QDateTime::fromString(text, Qt::ISODate);
    v = dt.isValid() ? QVariant(dt) : QVariant();
}


// One stored record as read: its columns packed into one block, turned into
// values only when a field is read, so that walking costs little.
struct StoredRow {
    QByteArray bytes;
    QVarLengthArray<int, 16> offset; // column i spans offset[i]..offset[i + 1]
    QVarLengthArray<char, 16> kind;  // 'n' null, 'i' 64-bit integer, 't' UTF-8 text
    bool valid() const { return !kind.isEmpty(); }
};

bool isNumberColumn(FieldType t) {
    return t == FieldType::Integer || t == FieldType::SmallInt || t == FieldType::Boolean;
}

StoredRow readRow(const sql::Statement &s, int firstCol, const std::vector<FieldDef> &schema) {
    StoredRow row;
    const int n = int(schema.size());
    row.offset.resize(n + 1);
    row.kind.resize(n);
    row.bytes.reserve(256);
    for (int i = 0; i < n; ++i) {
        const int c = firstCol + i;
        row.offset[i] = int(row.bytes.size());
        if (s.isNull(c)) {
            row.kind[i] = 'n';
        } else if (isNumberColumn(schema[size_t(i)].type)) {
            qint64 v = s.columnInt(c);
            row.kind[i] = 'i';
            row.bytes.append(reinterpret_cast<const char *>(&v), sizeof v);
        } else {
            int size = 0;
            const char *p = s.columnRaw(c, size);
            row.kind[i] = 't';
            row.bytes.append(p, size);
        }
    }
    row.offset[n] = int(row.bytes.size());
    return row;
}

QVariant decode(const StoredRow &row, int i, const FieldDef &def) {
    const char *p = row.bytes.constData() + row.offset[i];
    const int size = row.offset[i + 1] - row.offset[i];
    switch (row.kind[i]) {
    case 'i': {
        qint64 v = 0;
        std::memcpy(&v, p, sizeof v);
        return def.type == FieldType::Boolean ? QVariant(v != 0) : QVariant(int(v));
    }
    case 't':
        return QVariant(QString::fromUtf8(p, size)); // a date stays in its stored form
    default:
        return QVariant();
    }
}

} // namespace

// ---------------------------------------------------------------------------

struct Table::Impl {
    Table *q;
    QString dir;
    QString fileName;
    std::vector<FieldDef> schema;
    QString tableName; // quoted
    QString columnList; // quoted, comma separated
    QHash<QString, int> fieldsByName;

    std::unique_ptr<sql::Database> db;
    sql::Statement fetchOne, fetchForward, fetchBackward, insertRow, deleteRow;
    // Records read ahead in the direction of the last move: every statement
    // outside a transaction pays for the file locks, so a walk reads a batch
    // of rows at once. Own changes drop their entry; close drops them all.
    std::unordered_map<qint64, StoredRow> readAhead;
    int lastDirection = 1;
    std::map<QByteArray, sql::Statement> updates; // by mask of changed columns
    int lockFd = -1;
    bool active = false;
    bool wantExclusive = false;
    bool exclusiveHeld = false;

    DataSetState state = DataSetState::Inactive;
    std::vector<qint64> ids;   // row ids in stored order
    std::vector<double> keys;  // their ordering keys
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

    int walkDepth = 0;
    bool inTxn = false;

    bool memory() const { return dir == kMemory; }
    bool editing() const { return state == DataSetState::Edit || state == DataSetState::Insert; }
    QString where() const { return fileName; }

    void requireActive() const {
        if (!active)
            throw Error(closedError());
    }

    int size() const { return int(ids.size()); }

    void clearBuffer() {
        raw = StoredRow();
        buf = QVector<QVariant>(int(schema.size()));
        decoded = QByteArray(int(schema.size()), '\1');
        dirty = QByteArray(int(schema.size()), '\0');
    }

    void readInto(sql::Statement &st) {
        while (st.step())
            readAhead[st.columnInt(0)] = readRow(st, 1, schema);
        st.reset();
    }

    // The stored record at a position, with the next ones in the direction
    // of travel; an invalid row when it is gone.
    StoredRow storedRecord(int pos) {
        const qint64 id = ids[size_t(pos)];
        auto it = readAhead.find(id);
        if (it != readAhead.end())
            return it->second;
        if (readAhead.size() > 4 * size_t(kBatch))
            readAhead.clear();
        sql::Statement &batch = lastDirection >= 0 ? fetchForward : fetchBackward;
        batch.bindDouble(1, keys[size_t(pos)]);
        readInto(batch);
        it = readAhead.find(id);
        if (it == readAhead.end()) { // keys out of step with another process
            fetchOne.bindInt(1, id);
            readInto(fetchOne);
            it = readAhead.find(id);
            if (it == readAhead.end())
                return StoredRow();
        }
        return it->second;
    }

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

    void notify(DataSetState before, bool record) {
        if (state != before)
            emit q->stateChanged();
        if (record)
            emit q->recordChanged();
    }

    // --- schema and connection ---------------------------------------------

    void createSchema(sql::Database &d) {
        QStringList cols;
        for (const auto &f : schema)
            cols << sql::quoteIdent(f.name) + u' ' + sqlType(f.type);
        cols << sql::quoteIdent(kOrderColumn) + QStringLiteral(" REAL NOT NULL");
        d.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(tableName, cols.join(QStringLiteral(", "))));
        QString indexName = sql::quoteIdent(QFileInfo(fileName).completeBaseName() + QStringLiteral("_order"));
        d.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(%3)")
                   .arg(indexName, tableName, sql::quoteIdent(kOrderColumn)));
    }

    // Column count of the table in the file; 0 when it has none.
    int storedColumns(sql::Database &d, bool *matches) {
        auto st = d.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(tableName));
        QStringList names;
        while (st.step())
            names << st.columnText(1);
        bool ok = names.size() == int(schema.size()) + 1;
        for (int i = 0; ok && i < int(schema.size()); ++i)
            ok = names[i] == schema[size_t(i)].name;
        ok = ok && names.last() == kOrderColumn;
        if (matches)
            *matches = ok;
        return int(names.size());
    }

    void configure(sql::Database &d) {
        d.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        d.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        // Room for a large register, so that a second walk reads no page twice.
        d.exec(QStringLiteral("PRAGMA cache_size=-65536"));
    }

    void prepareStatements() {
        QStringList params;
        for (size_t i = 0; i < schema.size(); ++i)
            params << QStringLiteral("?%1").arg(i + 2);
        const QString order = sql::quoteIdent(kOrderColumn);
        fetchOne = db->prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ?1").arg(columnList, tableName));
        fetchForward = db->prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 >= ?1 ORDER BY %3, rowid LIMIT %4")
                                       .arg(columnList, tableName, order)
                                       .arg(kBatch));
        fetchBackward =
            db->prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 <= ?1 ORDER BY %3 DESC, rowid DESC LIMIT %4")
                            .arg(columnList, tableName, order)
                            .arg(kBatch));
        deleteRow = db->prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(tableName));
        // Never reuse the id of a deleted row, so a stale bookmark stays invalid.
        insertRow = db->prepare(
            QStringLiteral("INSERT INTO %1 (rowid, %2, %3) VALUES ((SELECT max(ifnull(max(rowid), 0) + 1, ?1) FROM %1), "
                           "%4, ?%5)")
                .arg(tableName, columnList, sql::quoteIdent(kOrderColumn), params.join(QStringLiteral(", ")))
                .arg(schema.size() + 2));
    }

    void finalizeStatements() {
        fetchOne = sql::Statement();
        fetchForward = sql::Statement();
        fetchBackward = sql::Statement();
        readAhead.clear();
        insertRow = sql::Statement();
        deleteRow = sql::Statement();
        updates.clear();
    }

    void readOrder() {
        ids.clear();
        keys.clear();
        auto st = db->prepare(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY %1, rowid")
                                  .arg(sql::quoteIdent(kOrderColumn), tableName));
        qint64 maxId = 0;
        while (st.step()) {
            qint64 id = st.columnInt(0);
            ids.push_back(id);
            keys.push_back(st.columnDouble(1));
            maxId = std::max(maxId, id);
        }
        nextRowid = std::max(nextRowid, maxId + 1);
    }

    void openConnection() {
        if (memory()) {
            if (!db) {
                db = std::make_unique<sql::Database>(QString(), sql::Database::Mode::Memory, where());
                createSchema(*db);
            }
            exclusiveHeld = wantExclusive;
            return;
        }
        const QString path = q->filePath();
        const QByteArray native = QFile::encodeName(path);
        if (!QFileInfo::exists(path))
            throw Error(QStringLiteral("テーブル '%1' を開けません。ファイルが存在しません").arg(path));
        int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw Error(QStringLiteral("テーブル '%1' を開けません: %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
        // The lock descriptor must outlive the engine's connection: closing any
        // descriptor of the file drops the engine's own POSIX locks.
        if (::flock(fd, (wantExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            ::close(fd);
            if (wantExclusive)
                throw Error(QStringLiteral("テーブル '%1' は他のプロセスが使用中のため、排他的に開けません").arg(path));
            throw Error(QStringLiteral("テーブル '%1' は他のプロセスが排他的に使用中のため、開けません").arg(path));
        }
        try {
            db = std::make_unique<sql::Database>(path, sql::Database::Mode::ReadWrite, where());
            configure(*db);
            bool matches = false;
            storedColumns(*db, &matches);
            if (!matches)
                throw Error(QStringLiteral("テーブル '%1' の構造が正しくありません").arg(path));
        } catch (...) {
            db.reset();
            ::close(fd);
            throw;
        }
        lockFd = fd;
        exclusiveHeld = wantExclusive;
    }

    // Ends the transaction of a running walk; returns its error, if any.
    QString endTransaction() {
        if (!inTxn)
            return QString();
        inTxn = false;
        try {
            db->exec(QStringLiteral("COMMIT"));
        } catch (const Error &e) {
            try {
                db->exec(QStringLiteral("ROLLBACK"));
            } catch (const Error &) {
            }
            return e.message();
        }
        return QString();
    }

    QString closeConnection() {
        QString err;
        if (db)
            err = endTransaction();
        finalizeStatements();
        if (!memory()) {
            db.reset();
            if (lockFd >= 0)
                ::close(lockFd);
            lockFd = -1;
        }
        exclusiveHeld = false;
        active = false;
        return err;
    }

    void resetCursor() {
        state = DataSetState::Inactive;
        ids.clear();
        keys.clear();
        cur = -1;
        bof = eof = true;
        modified = false;
        clearBuffer();
    }

    // --- storing ------------------------------------------------------------

    void renumber() {
        db->exec(QStringLiteral("SAVEPOINT quil_renumber"));
        try {
            auto st = db->prepare(QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE rowid = ?2")
                                      .arg(tableName, sql::quoteIdent(kOrderColumn)));
            for (size_t i = 0; i < ids.size(); ++i) {
                st.bindDouble(1, double(i + 1));
                st.bindInt(2, ids[i]);
                st.run();
            }
            db->exec(QStringLiteral("RELEASE quil_renumber"));
        } catch (...) {
            try {
                db->exec(QStringLiteral("ROLLBACK TO quil_renumber"));
                db->exec(QStringLiteral("RELEASE quil_renumber"));
            } catch (const Error &) {
            }
            throw;
        }
        for (size_t i = 0; i < keys.size(); ++i)
            keys[i] = double(i + 1);
    }

    double keyFor(int pos) {
        if (ids.empty())
            return 1.0;
        if (pos >= size())
            return keys.back() + 1.0;
        if (pos <= 0)
            return keys.front() - 1.0;
        double mid = (keys[size_t(pos - 1)] + keys[size_t(pos)]) / 2;
        if (mid <= keys[size_t(pos - 1)] || mid >= keys[size_t(pos)]) {
            renumber();
            mid = (keys[size_t(pos - 1)] + keys[size_t(pos)]) / 2;
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
        auto st = db->prepare(
            QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?1").arg(tableName, sets.join(QStringLiteral(", "))));
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
            qint64 id = db->lastInsertRowid();
            nextRowid = id + 1;
            ids.insert(ids.begin() + pos, id);
            keys.insert(keys.begin() + pos, key);
            cur = pos;
            bof = eof = false;
        } else if (state == DataSetState::Edit && dirty.contains('\1')) {
            auto &st = updateFor(dirty);
            st.bindInt(1, ids[size_t(cur)]);
            int param = 2;
            for (int i = 0; i < dirty.size(); ++i)
                if (dirty[i])
                    bindValue(st, param++, schema[size_t(i)], buf[i]);
            st.run();
            if (db->changes() == 0)
                throw Error(QStringLiteral("レコードが見つかりません。他のプロセスによって削除された可能性があります"));
            readAhead.erase(ids[size_t(cur)]);
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
            if (ids.empty())
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
        emit q->recordChanged();
    }

    int indexOf(qint64 id) const {
        auto it = std::find(ids.begin(), ids.end(), id);
        return it == ids.end() ? -1 : int(it - ids.begin());
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

Field::Field(Table &table, int index, FieldDef def) : m_table(table), m_index(index), m_def(std::move(def)) {}

bool Field::isNull() const { return !m_table.bufferValue(m_index).isValid(); }

QString Field::asString() const { return textOf(m_def, m_table.bufferValue(m_index)); }

QString Field::displayText() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (m_def.type == FieldType::DateTime)
        return v.isValid() ? datetext::display(v.toDateTime()) : QString();
    return textOf(m_def, v);
}

int Field::asInteger() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (!v.isValid())
        return 0;
    switch (m_def.type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        return v.toInt();
    case FieldType::Boolean:
        return v.toBool() ? 1 : 0;
    case FieldType::String: {
        qint64 n = 0;
        QString t = v.toString();
        if (!parseDecimal(t, false, n) || n < std::numeric_limits<qint32>::min()
            || n > std::numeric_limits<qint32>::max())
            throw Error(QStringLiteral("'%1' は有効な整数値ではありません").arg(t));
        return int(n);
    }
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

QDateTime Field::asDateTime() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (!v.isValid())
        return QDateTime();
    if (m_def.type == FieldType::DateTime)
        return v.toDateTime();
    if (m_def.type == FieldType::String) {
        if (auto dt = datetext::parse(v.toString()))
            return *dt;
        throw Error(QStringLiteral("'%1' は日付または時刻ではありません").arg(v.toString()));
    }
    throw Error(variantError());
}

bool Field::asBoolean() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (!v.isValid())
        return false;
    switch (m_def.type) {
    case FieldType::Boolean:
        return v.toBool();
    case FieldType::Integer:
    case FieldType::SmallInt:
        return v.toInt() != 0;
    case FieldType::String:
        if (auto b = parseBool(v.toString()))
            return *b;
        throw Error(QStringLiteral("'%1' は有効なブール値ではありません").arg(v.toString()));
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

QVariant Field::value() const { return m_table.bufferValue(m_index); }

namespace {
void requireEditing(const Table &t) {
    if (t.state() != DataSetState::Edit && t.state() != DataSetState::Insert)
        throw Error(notEditingError());
}
} // namespace

void Field::setAsString(const QString &text) {
    requireEditing(m_table);
    m_table.setBufferValue(m_index, fromText(m_def, text));
}

void Field::setValue(const QVariant &value) {
    requireEditing(m_table);
    m_table.setBufferValue(m_index, fromVariant(m_def, value));
}

void Field::setAsInteger(int value) {
    requireEditing(m_table);
    switch (m_def.type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        m_table.setBufferValue(m_index, checkedInteger(m_def, value, QString(), false));
        return;
    case FieldType::String:
        m_table.setBufferValue(m_index, cutText(m_def, QString::number(value)));
        return;
    case FieldType::Boolean:
        m_table.setBufferValue(m_index, QVariant(value != 0));
        return;
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

void Field::setAsDateTime(const QDateTime &value) {
    requireEditing(m_table);
    switch (m_def.type) {
    case FieldType::DateTime:
        m_table.setBufferValue(m_index, value.isValid() ? QVariant(value) : QVariant());
        return;
    case FieldType::String:
        m_table.setBufferValue(m_index, cutText(m_def, datetext::plain(value)));
        return;
    default:
        break;
    }
    throw Error(variantError());
}

void Field::setAsBoolean(bool value) {
    requireEditing(m_table);
    switch (m_def.type) {
    case FieldType::Boolean:
        m_table.setBufferValue(m_index, QVariant(value));
        return;
    case FieldType::String:
        m_table.setBufferValue(m_index, cutText(m_def, value ? QStringLiteral("True") : QStringLiteral("False")));
        return;
    case FieldType::Integer:
    case FieldType::SmallInt:
        m_table.setBufferValue(m_index, QVariant(value ? 1 : 0));
        return;
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

void Field::clear() {
    requireEditing(m_table);
    m_table.setBufferValue(m_index, QVariant());
}

// ---------------------------------------------------------------------------

Table::Table(QString fileName, std::vector<FieldDef> schema, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>()) {
    d->q = this;
    d->fileName = std::move(fileName);
    d->schema = std::move(schema);
    QString base = QFileInfo(d->fileName).completeBaseName();
    d->tableName = sql::quoteIdent(base.isEmpty() ? QStringLiteral("records") : base);
    QStringList cols;
    for (const auto &f : d->schema) {
        d->fieldsByName.insert(f.name, int(d->fieldsByName.size()));
        cols << sql::quoteIdent(f.name);
    }
    d->columnList = cols.join(QStringLiteral(", "));
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
    if (d->active || d->db)
        d->closeConnection();
}

void Table::setDirectory(const QString &dir) {
    if (dir == d->dir)
        return;
    if (d->active)
        throw Error(QStringLiteral("開いているデータセットでは操作できません"));
    if (d->memory())
        d->db.reset();
    d->dir = dir;
}

QString Table::directory() const { return d->dir; }
QString Table::fileName() const { return d->fileName; }

QString Table::filePath() const {
    if (d->memory())
        return kMemory;
    if (d->dir.isEmpty())
        return d->fileName;
    return QDir(d->dir).filePath(d->fileName);
}

bool Table::createIfMissing() {
    if (d->memory()) {
        if (d->db)
            return false;
        d->db = std::make_unique<sql::Database>(QString(), sql::Database::Mode::Memory, d->where());
        d->createSchema(*d->db);
        return true;
    }
    if (!d->dir.isEmpty())
        ensureDirectory(d->dir);
    const QString path = filePath();
    const QByteArray native = QFile::encodeName(path);
    bool fresh = false;
    if (!QFileInfo::exists(path)) {
        int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            throw Error(QStringLiteral("ファイル '%1' を作成できません: %2")
                            .arg(path, QString::fromLocal8Bit(strerror(errno))));
        if (fd >= 0) {
            ::fchmod(fd, 0600);
            ::close(fd);
            fresh = true;
        }
    }
    if (!fresh && d->active)
        return false;
    sql::Database db(path, sql::Database::Mode::ReadWrite, d->where());
    d->configure(db);
    if (d->storedColumns(db, nullptr) > 0)
        return false;
    d->createSchema(db);
    return true;
}

void Table::open() {
    if (d->active)
        return;
    d->openConnection();
    try {
        d->prepareStatements();
        d->readOrder();
        if (d->walkDepth > 0) {
            d->db->exec(QStringLiteral("BEGIN"));
            d->inTxn = true;
        }
    } catch (...) {
        d->closeConnection();
        d->resetCursor();
        throw;
    }
    d->active = true;
    d->state = DataSetState::Browse;
    d->cur = d->ids.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->ids.empty();
    d->modified = false;
    d->loadCurrent();
    emit stateChanged();
    emit recordChanged();
    if (!d->ids.empty())
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
    emit stateChanged();
    emit recordChanged();
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

bool Table::exclusive() const { return d->active && d->exclusiveHeld; }

void Table::emptyTable() {
    d->requireActive();
    if (!d->exclusiveHeld)
        throw Error(QStringLiteral("テーブル '%1' は排他的に開かれていないため、全件を削除できません").arg(filePath()));
    DataSetState before = d->state;
    d->db->exec(QStringLiteral("DELETE FROM %1").arg(d->tableName));
    d->ids.clear();
    d->keys.clear();
    d->readAhead.clear();
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
    d->eof = d->ids.empty();
    d->moveTo(d->ids.empty() ? -1 : 0);
    d->fire(afterScroll);
}

void Table::last() {
    d->checkBrowseMode();
    d->lastDirection = -1;
    d->eof = true;
    d->bof = d->ids.empty();
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
    if (d->ids.empty()) {
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
    if (d->ids.empty())
        throw Error(QStringLiteral("空のデータセットでは操作できません"));
    if (d->state == DataSetState::Edit)
        emit updateRecordRequested();
    // The handler sees the record as it stands, unsaved edits included; an
    // error from it leaves everything as it was.
    d->fire(beforeDelete);
    d->requireActive();
    if (d->state == DataSetState::Insert || d->cur < 0)
        return;
    const qint64 gone = d->ids[size_t(d->cur)];
    d->deleteRow.bindInt(1, gone);
    d->deleteRow.run();
    d->readAhead.erase(gone);
    DataSetState before = d->state;
    d->ids.erase(d->ids.begin() + d->cur);
    d->keys.erase(d->keys.begin() + d->cur);
    d->state = DataSetState::Browse;
    d->modified = false;
    if (d->ids.empty()) {
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
    d->checkBrowseMode();
    return d->cur >= 0 ? d->ids[size_t(d->cur)] : 0;
}

bool Table::bookmarkValid(Bookmark b) const { return d->active && b != 0 && d->indexOf(b) >= 0; }

void Table::gotoBookmark(Bookmark b) {
    d->requireActive();
    if (b == 0)
        return;
    d->checkBrowseMode();
    int index = d->indexOf(b);
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
        wanted = value.isValid() && !value.toString().isEmpty() ? QVariant(textOf(def, fromVariant(FieldDef{def.name, def.type, 0}, value)))
                                                                 : QVariant();
    } else {
        wanted = fromVariant(def, value);
    }
    const bool fold = options.caseInsensitive && def.type == FieldType::String;
    QString col = sql::quoteIdent(def.name);
    if (fold)
        col = QStringLiteral("quil_fold(%1)").arg(col);
    auto st = d->db->prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 IS ?1 ORDER BY %3, rowid")
                                 .arg(d->tableName, col, sql::quoteIdent(kOrderColumn)));
    if (fold && wanted.isValid())
        st.bindText(1, wanted.toString().toCaseFolded());
    else
        bindValue(st, 1, def, wanted);
    int index = -1;
    while (index < 0 && st.step())
        index = d->indexOf(st.columnInt(0));
    if (index < 0)
        return false;
    d->bof = d->eof = false;
    d->moveTo(index);
    d->fire(afterScroll);
    return true;
}

QStringList Table::columnTexts(const QString &column) const {
    d->requireActive();
    const int fi = d->requireField(column);
    auto st = d->db->prepare(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3, rowid")
                                 .arg(sql::quoteIdent(d->schema[size_t(fi)].name), d->tableName,
                                      sql::quoteIdent(kOrderColumn)));
    QStringList out;
    while (st.step()) {
        QVariant v = readValue(st, 0, d->schema[size_t(fi)]);
        materialize(d->schema[size_t(fi)], v);
        out << textOf(d->schema[size_t(fi)], v);
    }
    return out;
}

bool Table::containsValue(const QString &column, const QVariant &value) const {
    d->requireActive();
    const int fi = d->requireField(column);
    const FieldDef &def = d->schema[size_t(fi)];
    QVariant wanted = fromVariant(FieldDef{def.name, def.type, 0}, value);
    auto st = d->db->prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 IS ?1 LIMIT 1")
                                 .arg(d->tableName, sql::quoteIdent(def.name)));
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
    emit fieldChanged(index);
}

// ---------------------------------------------------------------------------

Table::Walk::Walk(Table &t) : m_table(t), m_began(true), m_uncaught(std::uncaught_exceptions()) {
    Impl &d = *t.d;
    ++d.walkDepth;
    if (d.active && !d.inTxn) {
        try {
            d.db->exec(QStringLiteral("BEGIN"));
            d.inTxn = true;
        } catch (...) {
            --d.walkDepth;
            throw;
        }
    }
}

Table::Walk::~Walk() noexcept(false) {
    Impl &d = *m_table.d;
    if (!m_began)
        return;
    if (--d.walkDepth > 0 || !d.inTxn)
        return;
    QString err = d.endTransaction();
    if (!err.isEmpty() && std::uncaught_exceptions() == m_uncaught)
        throw Error(err);
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
