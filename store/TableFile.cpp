#include "store/TableFile.h"

#include "platform/DataDirs.h"
#include "store/FieldValues.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quil {

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
    sql::Database db(file, sql::Database::Mode::ReadWrite, m_fileName);
    configure(db);
    if (storedColumns(db, nullptr) > 0)
        return false;
    createSchema(db);
    return true;
}

void TableFile::connect(bool exclusive) {
    if (memory()) {
        if (!m_db) {
            m_db = std::make_unique<sql::Database>(QString(), sql::Database::Mode::Memory, m_fileName);
            createSchema(*m_db);
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
        m_db = std::make_unique<sql::Database>(file, sql::Database::Mode::ReadWrite, m_fileName);
        configure(*m_db);
        bool matches = false;
        storedColumns(*m_db, &matches);
        if (!matches)
            throw Error(QStringLiteral("テーブル '%1' の構造が正しくありません").arg(file));
    } catch (...) {
        m_db.reset();
        ::close(fd);
        throw;
    }
    m_lockFd = fd;
    m_exclusive = exclusive;
}

QString TableFile::endTransaction() {
    if (!m_inTxn)
        return QString();
    m_inTxn = false;
    try {
        m_db->exec(QStringLiteral("COMMIT"));
    } catch (const Error &e) {
        try {
            m_db->exec(QStringLiteral("ROLLBACK"));
        } catch (const Error &) {
        }
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

void TableFile::enterWalk(bool begin) {
    ++m_walkDepth;
    if (begin && m_db && !m_inTxn) {
        try {
            m_db->exec(QStringLiteral("BEGIN"));
            m_inTxn = true;
        } catch (...) {
            --m_walkDepth;
            throw;
        }
    }
}

QString TableFile::leaveWalk() {
    if (--m_walkDepth > 0 || !m_inTxn)
        return QString();
    return endTransaction();
}

void TableFile::resumeWalk() {
    if (m_walkDepth > 0 && m_db && !m_inTxn) {
        m_db->exec(QStringLiteral("BEGIN"));
        m_inTxn = true;
    }
}

} // namespace quil
