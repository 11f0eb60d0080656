// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/TableFile.h"

#include "platform/DataDirs.h"
#include "store/FieldValues.h"
#include "store/ParadoxCheck.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quil {
namespace {

// PRAGMA user_version of a file this program made: 1 adds the side values,
// 2 the side tables of the file's owner (the magazine table's lists), 3 the
// IMAP mailboxes' positions among them. The side tables' statements make
// only what is missing, so a file of 2 gets the positions' table alone.
constexpr int kSideValuesVersion = 1;
constexpr int kSideTablesVersion = 3;
const QString kSideTable = QStringLiteral("quil_side");

// The engine could not make or size its shared-memory file (-shm), which a
// full disk refuses.
bool sharedMemoryRefused(sql::Database &d) {
    const int code = sqlite3_extended_errcode(d.handle());
    return code == SQLITE_IOERR_SHMSIZE || code == SQLITE_IOERR_SHMOPEN || code == SQLITE_IOERR_SHMMAP
        || d.lastFailureWasDiskFull();
}

// The old Windows program's table, copied over ours by a reader who
// expected that to work: it is left as it is and named, never opened as a
// database (which would only say "file is not a database").
bool isParadoxTable(const QString &file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(paradox::kPeekBytes);
    if (head.isEmpty() || head.startsWith(QByteArrayLiteral("SQLite format 3")))
        return false;
    const QString name = QFileInfo(file).fileName();
    try {
        paradox::tableBytes(head, f.size(), name);
        return true;
    } catch (const Error &e) {
        // A Paradox table cut short is still one.
        return e.message() != paradox::notATable(name);
    }
}

} // namespace

const QString &TableFile::memoryName() {
    static const QString name = QStringLiteral(":memory:");
    return name;
}

const QString &TableFile::orderColumn() {
    static const QString name = QStringLiteral("_sort_key");
    return name;
}

TableFile::TableFile(QString fileName, const std::vector<FieldDef> &schema)
    : m_fileName(std::move(fileName)), m_schema(schema) {
    QString base = QFileInfo(m_fileName).completeBaseName();
    m_tableName = sql::quoteIdent(base.isEmpty() ? QStringLiteral("records") : base);
    QStringList cols;
    for (const auto &f : m_schema)
        cols << sql::quoteIdent(f.name);
    m_columnList = cols.join(QStringLiteral(", "));
}

void TableFile::setDirectory(const QString &dir) {
    if (memory())
        m_db.reset();
    m_dir = dir;
}

QString TableFile::path() const {
    if (memory())
        return memoryName();
    if (m_dir.isEmpty())
        return m_fileName;
    return QDir(m_dir).filePath(m_fileName);
}

void TableFile::createSchema(sql::Database &d) const {
    QStringList cols;
    for (const auto &f : m_schema)
        cols << sql::quoteIdent(f.name) + u' ' + values::sqlType(f.type);
    cols << sql::quoteIdent(orderColumn()) + QStringLiteral(" REAL NOT NULL");
    d.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(m_tableName, cols.join(QStringLiteral(", "))));
    QString indexName = sql::quoteIdent(QFileInfo(m_fileName).completeBaseName() + QStringLiteral("_order"));
    d.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2(%3)")
               .arg(indexName, m_tableName, sql::quoteIdent(orderColumn())));
}

int TableFile::storedColumns(sql::Database &d, bool *matches) const {
    auto st = d.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(m_tableName));
    QStringList names;
    while (st.step())
        names << st.columnText(1);
    bool ok = names.size() == int(m_schema.size()) + 1;
    for (int i = 0; ok && i < int(m_schema.size()); ++i)
        ok = names[i] == m_schema[size_t(i)].name;
    ok = ok && names.last() == orderColumn();
    if (matches)
        *matches = ok;
    return int(names.size());
}

std::unique_ptr<sql::Database> TableFile::openConnection(const QString &file) const {
    if (file != memoryName() && isParadoxTable(file))
        throw Error(QStringLiteral("%1 は以前の Windows 版の Paradox の表なので、開かずにそのままにしています。"
                                   "読みこむには、このファイルをほかのフォルダに移してから "
                                   "quillet-cli import-paradox で読みこむか、「ファイルから読みこみ」で"
                                   "「Paradox テーブル(*.db)」として読みこんでください")
                        .arg(QDir::toNativeSeparators(file)));
    auto db = std::make_unique<sql::Database>(file, sql::Database::Mode::ReadWrite, m_fileName);
    try {
        configure(*db);
        return db;
    } catch (const Error &) {
        if (!sharedMemoryRefused(*db))
            throw;
    }
    // Exclusive locking mode keeps the index in this process's memory; it
    // must be chosen before the first read.
    db = std::make_unique<sql::Database>(file, sql::Database::Mode::ReadWrite, m_fileName);
    db->exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
    configure(*db);
    return db;
}

void TableFile::upgrade(sql::Database &d) const {
    int version = 0;
    {
        auto st = d.prepare(QStringLiteral("PRAGMA user_version"));
        if (st.step())
            version = int(st.columnInt(0));
    }
    const int target = m_sideSchema.isEmpty() ? kSideValuesVersion : kSideTablesVersion;
    if (version >= target)
        return;
    try {
        // One transaction: an older file gets all it lacks, or nothing.
        d.exec(QStringLiteral("BEGIN IMMEDIATE"));
        d.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)").arg(kSideTable));
        for (const QString &statement : m_sideSchema)
            d.exec(statement);
        d.exec(QStringLiteral("PRAGMA user_version = %1").arg(target));
        d.exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        // Read-only or full: the register is still read; the next open that
        // can write adds what is missing.
        try {
            d.exec(QStringLiteral("ROLLBACK"));
        } catch (const Error &) {
        }
    }
}

QString TableFile::sideValue(const QString &key) {
    if (!m_db)
        return {};
    sql::Statement st;
    try {
        st = m_db->prepare(QStringLiteral("SELECT value FROM %1 WHERE key = ?1").arg(kSideTable));
    } catch (const Error &) {
        return {}; // an older file, not yet upgraded
    }
    st.bindText(1, key);
    if (!st.step())
        return {};
    return st.columnText(0);
}

void TableFile::setSideValue(const QString &key, const QString &value) {
    if (!m_db)
        throw Error(QStringLiteral("データセットが閉じています"));
    m_db->exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)").arg(kSideTable));
    auto st = m_db->prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (key, value) VALUES (?1, ?2)").arg(kSideTable));
    st.bindText(1, key);
    st.bindText(2, value);
    st.run();
}

void TableFile::configure(sql::Database &d) {
    d.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    d.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    d.exec(QStringLiteral("PRAGMA wal_autocheckpoint=10000"));
    // Room for a large register, so that a second walk reads no page twice.
    d.exec(QStringLiteral("PRAGMA cache_size=-65536"));
}

bool TableFile::createIfMissing(bool open) {
    if (memory()) {
        if (m_db)
            return false;
        m_db = std::make_unique<sql::Database>(QString(), sql::Database::Mode::Memory, m_fileName);
        createSchema(*m_db);
        upgrade(*m_db);
        return true;
    }
    if (!m_dir.isEmpty())
        ensureDirectory(m_dir);
    const QString file = path();
    const QByteArray native = QFile::encodeName(file);
    bool fresh = false;
    if (!QFileInfo::exists(file)) {
        int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            throw Error(QStringLiteral("ファイル '%1' を作成できません: %2")
                            .arg(file, QString::fromLocal8Bit(strerror(errno))));
        if (fd >= 0) {
            ::fchmod(fd, 0600);
            ::close(fd);
            fresh = true;
        }
    }
    if (!fresh && open)
        return false;
    std::unique_ptr<sql::Database> db = openConnection(file);
    if (storedColumns(*db, nullptr) > 0)
        return false;
    createSchema(*db);
    upgrade(*db);
    return true;
}

void TableFile::connect(bool exclusive) {
    if (memory()) {
        if (!m_db) {
            m_db = std::make_unique<sql::Database>(QString(), sql::Database::Mode::Memory, m_fileName);
            createSchema(*m_db);
            upgrade(*m_db);
        }
        m_exclusive = exclusive;
        return;
    }
    const QString file = path();
    const QByteArray native = QFile::encodeName(file);
    if (!QFileInfo::exists(file))
        throw Error(QStringLiteral("テーブル '%1' を開けません。ファイルが存在しません").arg(file));
    int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error(QStringLiteral("テーブル '%1' を開けません: %2").arg(file, QString::fromLocal8Bit(strerror(errno))));
    // The lock descriptor must outlive the engine's connection: closing any
    // descriptor of the file drops the engine's own POSIX locks.
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        if (exclusive)
            throw Error(QStringLiteral("テーブル '%1' は他のプロセスが使用中のため、排他的に開けません").arg(file));
        throw Error(QStringLiteral("テーブル '%1' は他のプロセスが排他的に使用中のため、開けません").arg(file));
    }
    try {
        m_db = openConnection(file);
        bool matches = false;
        storedColumns(*m_db, &matches);
        if (!matches)
            throw Error(QStringLiteral("テーブル '%1' の構造が正しくありません").arg(file));
        upgrade(*m_db);
    } catch (...) {
        m_db.reset();
        ::close(fd);
        throw;
    }
    m_lockFd = fd;
    m_exclusive = exclusive;
}

void TableFile::beginTransaction() {
    m_db->exec(m_writingWalk ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    m_inTxn = true;
}

void TableFile::commitTransaction() {
    if (!m_inTxn)
        return;
    m_inTxn = false;
    // A failed statement may have made the engine roll the whole
    // transaction back; committing then would report success for nothing.
    if (sqlite3_get_autocommit(m_db->handle()))
        throw Error(QStringLiteral("データベース '%1' への変更は、途中のエラーのため保存されていません").arg(path()));
    try {
        m_db->exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        try {
            m_db->exec(QStringLiteral("ROLLBACK"));
        } catch (const Error &) {
        }
        throw;
    }
}

QString TableFile::endTransaction() {
    try {
        commitTransaction();
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

QString TableFile::disconnect() {
    QString err;
    if (m_db)
        err = endTransaction();
    if (!memory()) {
        m_db.reset();
        if (m_lockFd >= 0)
            ::close(m_lockFd);
        m_lockFd = -1;
    }
    m_exclusive = false;
    return err;
}

qint64 TableFile::readOrder(RowOrder &order) {
    order.clear();
    auto count = m_db->prepare(QStringLiteral("SELECT count(*) FROM %1").arg(m_tableName));
    if (count.step())
        order.reserve(int(count.columnInt(0)));
    auto st = m_db->prepare(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY %1, rowid")
                                .arg(sql::quoteIdent(orderColumn()), m_tableName));
    qint64 maxId = 0;
    while (st.step()) {
        qint64 id = st.columnInt(0);
        order.pushBack(id, st.columnDouble(1));
        maxId = std::max(maxId, id);
    }
    return maxId;
}

void TableFile::enterWalk(bool begin, bool writing) {
    if (++m_walkDepth == 1) {
        m_writingWalk = writing;
        m_perStatement = false;
    }
    if (begin && m_db && !m_inTxn && !m_perStatement) {
        try {
            beginTransaction();
        } catch (...) {
            --m_walkDepth;
            throw;
        }
    }
}

void TableFile::leaveWalk() {
    if (m_walkDepth == 0 || --m_walkDepth > 0)
        return;
    m_perStatement = false;
    if (m_db)
        commitTransaction();
}

void TableFile::resumeWalk() {
    if (m_walkDepth > 0 && m_db && !m_inTxn && !m_perStatement)
        beginTransaction();
}

void TableFile::commitForWait() {
    if (m_walkDepth > 0)
        m_perStatement = true;
    if (m_db)
        commitTransaction();
}

} // namespace quil
