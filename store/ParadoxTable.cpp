// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ParadoxTable.h"

#include "store/ParadoxCheck.h"
#include "store/ParadoxStream.h"
#include "text/Cp932.h"
#include "text/Error.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

namespace quil {
namespace {

using paradox::ByteStream;
using paradox::TableSource;
using paradox::TableStream;

// Julian day of pxlib's day 0: dates count days from 1 January of year 1.
constexpr qint64 kDayZero = 1721425;
constexpr double kDayMs = 86400000.0;
// A block of the memo file that holds several small memos.
constexpr qint64 kMemoBlock = 4096;

// The memo file beside the table: the same name with .MB, .mb or any case of it.
QString memoPath(const QString &path) {
    const QFileInfo info(path);
    const QString wanted = info.completeBaseName() + QStringLiteral(".MB");
    const QDir dir = info.dir();
    if (dir.exists(wanted))
        return dir.filePath(wanted);
    const QStringList found =
        dir.entryList({info.completeBaseName() + QStringLiteral(".mb")}, QDir::Files | QDir::Hidden | QDir::CaseSensitive);
    if (!found.isEmpty())
        return dir.filePath(found.first());
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden))
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return QString();
}

bool isMemoType(int type) { return type >= int(ParadoxType::Memo) && type <= int(ParadoxType::Graphic); }

bool allZero(const char *p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

quint32 le32(const char *p) {
    return quint32(quint8(p[0])) | quint32(quint8(p[1])) << 8 | quint32(quint8(p[2])) << 16
           | quint32(quint8(p[3])) << 24;
}

std::optional<QDate> dateOf(qint64 days) {
    if (days < 1 || days > 4000000)
        return std::nullopt;
    const QDate date = QDate::fromJulianDay(days + kDayZero);
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return std::nullopt;
    return date;
}

// Milliseconds since the start of day 0, as Paradox keeps a timestamp; the
// fraction of a second is dropped, as the register keeps seconds.
std::optional<QDateTime> timestampOf(double ms) {
    if (!std::isfinite(ms) || ms < 0)
        return std::nullopt;
    const double days = std::floor(ms / kDayMs);
    if (days > 4000000)
        return std::nullopt;
    const std::optional<QDate> date = dateOf(qint64(days));
    if (!date)
        return std::nullopt;
    const int seconds = std::min(86399, int(std::floor((ms - days * kDayMs) / 1000.0)));
    return QDateTime(*date, QTime(0, 0).addSecs(seconds));
}

} // namespace

QString paradoxTypeName(ParadoxType type) {
    switch (type) {
    case ParadoxType::Alpha: return QStringLiteral("英数字 (A)");
    case ParadoxType::Date: return QStringLiteral("日付 (D)");
    case ParadoxType::Short: return QStringLiteral("短整数 (S)");
    case ParadoxType::Long: return QStringLiteral("長整数 (I)");
    case ParadoxType::Money: return QStringLiteral("金額 ($)");
    case ParadoxType::Number: return QStringLiteral("数値 (N)");
    case ParadoxType::Logical: return QStringLiteral("論理 (L)");
    case ParadoxType::Memo: return QStringLiteral("メモ (M)");
    case ParadoxType::Binary: return QStringLiteral("バイナリ (B)");
    case ParadoxType::FormattedMemo: return QStringLiteral("書式付きメモ (F)");
    case ParadoxType::Ole: return QStringLiteral("OLE (O)");
    case ParadoxType::Graphic: return QStringLiteral("グラフィック (G)");
    case ParadoxType::Time: return QStringLiteral("時刻 (T)");
    case ParadoxType::Timestamp: return QStringLiteral("タイムスタンプ (@)");
    case ParadoxType::AutoIncrement: return QStringLiteral("自動インクリメント (+)");
    case ParadoxType::Bcd: return QStringLiteral("BCD (#)");
    case ParadoxType::Bytes: return QStringLiteral("バイト (Y)");
    }
    return QString();
}

struct ParadoxTable::Impl {
    QString name;
    std::unique_ptr<TableSource> source; // what pxlib reads; it must outlive the document
    paradox::Layout layout;
    std::optional<QByteArray> memo;
    std::unique_ptr<ByteStream> memoStream;
    std::unique_ptr<pxstream_t> stream;   // the memo file as pxlib reads it
    QString memoName;
    pxdoc_t *doc = nullptr;
    std::vector<ParadoxField> fields;
    std::vector<int> offsets, lengths;
    QByteArray record;
    int count = 0;
    QString pxError;              // pxlib's last error, for a message that needs it
    // Once opened, pxlib reads the table stream straight, not through the
    // FILE it was opened with; that one is put back before it is let go of.
    TableStream table;
    pxstream_t fileStream{};
    bool swapped = false;
    // The first record of each block pxlib lists, and the list itself.
    std::vector<int> blockStarts;
    pxpindex_t *blockList = nullptr;
    int blockListLength = 0;

    ~Impl() {
        if (!doc)
            return;
        if (swapped)
            *doc->px_stream = fileStream;
        // The memo stream is the program's own; PX_delete would let go of the
        // memo document's stream but not of the document.
        if (doc->px_blob) {
            doc->px_blob->mb_stream = nullptr;
            PX_delete_blob(doc->px_blob);
            doc->px_blob = nullptr;
        }
        PX_delete(doc);
    }

    static void onError(pxdoc_t *, int type, const char *message, void *data) {
        if (type != PX_Warning && data)
            static_cast<Impl *>(data)->pxError = QString::fromUtf8(message);
    }

    // Checks the source, and reads the header and the block heads of the chain.
    void check(const QString &what) {
        const QByteArray head = readAt(0, paradox::kPeekBytes);
        const qint64 total = paradox::tableBytes(head, source->size(), what);
        const QByteArray header = readAt(0, std::min<qint64>(paradox::headerSize(head), total));
        const qint64 headerSize = paradox::headerSize(head);
        const qint64 blockSize = paradox::blockSize(head);
        layout = paradox::check(header, source->size(), [&](int block) {
            return readAt(headerSize + qint64(block - 1) * blockSize, 6, true);
        }, what);
    }
    QByteArray readAt(qint64 at, qint64 n, bool apart = false) {
        QByteArray bytes(qsizetype(n), Qt::Uninitialized);
        bytes.truncate(qsizetype(apart ? source->readApart(at, bytes.data(), n) : source->readAt(at, bytes.data(), n)));
        if (source->error)
            throw paradox::cannotRead(name, source->error);
        return bytes;
    }
    // A read of pxlib's that failed or found the file cut after it was checked.
    void requireWhole() const {
        if (source->error || table.shortRead)
            throw paradox::cannotRead(name, source->error);
    }
    void open();
    void openMemo();
    QVariant value(int field);
    QString alpha(int field) const;
    QVariant memoValue(int field);
    int position = -1; // of the record read last
    void requireRecord(int field) const;
    [[noreturn]] void badValue(int field) const {
        throw Error(QStringLiteral("ファイル %1 の %2 件目の列「%3」の値が正しくありません")
                        .arg(name, QString::number(position + 1), fields[size_t(field)].name));
    }
};

void ParadoxTable::Impl::open() {
    doc = PX_new3(&Impl::onError, nullptr, nullptr, nullptr, this);
    if (!doc)
        throw std::bad_alloc();
    table = TableStream{source.get(), &layout};
    FILE *fp = paradox::openTableFile(table);
    if (!fp)
        throw std::bad_alloc();
    const int opened = PX_open_fp(doc, fp);
    // The document closes the stream from now on, as PX_open_file has it.
    if (doc->px_stream && doc->px_stream->s.fp == fp)
        doc->px_stream->close = px_true;
    else
        std::fclose(fp);
    requireWhole();
    if (opened < 0)
        throw Error(QStringLiteral("ファイル %1 を Paradox の表として開けません: %2").arg(name, pxError));

    // pxlib's reading of the header is the one that was checked.
    const int n = PX_get_num_fields(doc);
    bool same = n == int(layout.fields.size()) && PX_get_num_records(doc) == layout.recordCount
                && PX_get_recordsize(doc) == layout.recordSize;
    int offset = 0;
    for (int i = 0; same && i < n; ++i) {
        const pxfield_t *f = PX_get_field(doc, i);
        const paradox::Layout::Field &checked = layout.fields[size_t(i)];
        same = f && quint8(f->px_ftype) == checked.type && f->px_flen == checked.length && f->px_fname
               && QByteArray(f->px_fname) == checked.name;
        if (!same)
            break;
        fields.push_back({cp932::decode(f->px_fname, qsizetype(std::strlen(f->px_fname))), ParadoxType(checked.type),
                          checked.size});
        offsets.push_back(offset);
        lengths.push_back(checked.length);
        offset += checked.length;
    }
    if (!same)
        throw Error(QStringLiteral("ファイル %1 を Paradox の表として開けません: %2")
                        .arg(name, QStringLiteral("pxlib reads another header")));
    count = layout.recordCount;
    record.resize(layout.recordSize);

    fileStream = *doc->px_stream;
    paradox::readDirectly(*doc->px_stream, table);
    swapped = true;

    // pxlib finds a record by walking its list of blocks from the first,
    // for every record; reading a table of many blocks that way takes time
    // in the square of its size. When its list is the checked chain, each
    // read starts the walk at the record's own block.
    auto *list = static_cast<pxpindex_t *>(doc->px_indexdata);
    bool listed = list && doc->px_indexdatalen >= int(layout.blocks.size());
    for (size_t j = 0; listed && j < layout.blocks.size(); ++j)
        listed = list[j].level == 1 && list[j].blocknumber == layout.blocks[j]
                 && list[j].numrecords == layout.blockRecords[j];
    if (listed) {
        blockList = list;
        blockListLength = doc->px_indexdatalen;
        int first = 0;
        for (int n : layout.blockRecords) {
            blockStarts.push_back(first);
            first += n;
        }
    }
}

void ParadoxTable::Impl::openMemo() {
    pxblob_t *blob = PX_new_blob(doc); // attached to the document
    if (!blob)
        throw std::bad_alloc();
    memoStream = std::make_unique<ByteStream>(ByteStream{memo->constData(), memo->size()});
    stream = std::make_unique<pxstream_t>();
    paradox::attachMemo(*blob, *stream, *memoStream);
}

// Without a target encoding PX_get_data_alpha gives a copy of these bytes,
// allocated and freed again for every field of every record.
QString ParadoxTable::Impl::alpha(int field) const {
    const char *p = record.constData() + offsets[size_t(field)];
    const int len = lengths[size_t(field)];
    const auto *nul = static_cast<const char *>(std::memchr(p, 0, size_t(len)));
    qsizetype n = nul ? nul - p : len;
    while (n > 0 && p[n - 1] == ' ')
        --n;
    return cp932::decode(p, n);
}

QVariant ParadoxTable::Impl::value(int field) {
    char *p = record.data() + offsets[size_t(field)];
    const int len = lengths[size_t(field)];
    switch (fields[size_t(field)].type) {
    case ParadoxType::Alpha: {
        const QString text = alpha(field);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case ParadoxType::Short: {
        short v = 0;
        if (PX_get_data_short(doc, p, len, &v) <= 0)
            return QVariant();
        return int(v);
    }
    case ParadoxType::Long:
    case ParadoxType::AutoIncrement: {
        // pxlib's own test for an empty long integer reads beyond it.
        if (allZero(p, len))
            return QVariant();
        long v = 0;
        PX_get_data_long(doc, p, len, &v);
        return int(v);
    }
    case ParadoxType::Logical: {
        char v = 0;
        if (PX_get_data_byte(doc, p, len, &v) <= 0)
            return QVariant();
        return v != 0;
    }
    case ParadoxType::Timestamp: {
        double ms = 0;
        if (allZero(p, len) || PX_get_data_double(doc, p, len, &ms) <= 0)
            return QVariant();
        const std::optional<QDateTime> t = timestampOf(ms);
        if (!t)
            badValue(field);
        return *t;
    }
    case ParadoxType::Date:
    case ParadoxType::Time: {
        if (allZero(p, len))
            return QVariant();
        long v = 0;
        PX_get_data_long(doc, p, len, &v);
        if (fields[size_t(field)].type == ParadoxType::Time) {
            if (v < 0 || v >= long(kDayMs))
                badValue(field);
            return QTime::fromMSecsSinceStartOfDay(int(v));
        }
        const std::optional<QDate> date = dateOf(v);
        if (!date)
            badValue(field);
        return *date;
    }
    case ParadoxType::Money:
    case ParadoxType::Number: {
        double v = 0;
        if (PX_get_data_double(doc, p, len, &v) <= 0)
            return QVariant();
        return v;
    }
    case ParadoxType::Bcd: {
        if (p[0] == 0)
            return QVariant();
        // pxlib keeps what it allocated when the digits disagree with the field.
        if ((quint8(p[0]) & 0x3f) != fields[size_t(field)].size)
            badValue(field);
        char *digits = nullptr;
        if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char *>(p), fields[size_t(field)].size, &digits) <= 0
            || !digits)
            badValue(field);
        const QString text = QString::fromLatin1(digits);
        doc->free(doc, digits);
        return text;
    }
    case ParadoxType::Bytes: {
        QByteArray out(len, Qt::Uninitialized);
        char *into = out.data();
        if (PX_get_data_bytes(doc, p, len, &into) <= 0)
            return QVariant();
        return out;
    }
    case ParadoxType::Memo:
    case ParadoxType::Binary:
    case ParadoxType::FormattedMemo:
    case ParadoxType::Ole:
    case ParadoxType::Graphic:
        return memoValue(field);
    }
    return QVariant();
}

// A memo's first bytes stay in the record, then a reference of ten bytes:
// where it lies in the memo file (offset and index), its length and a
// modification number. pxlib allocates what the length says and reads from
// where the reference says, so both are held to the memo file first.
QVariant ParadoxTable::Impl::memoValue(int field) {
    const ParadoxField &f = fields[size_t(field)];
    char *p = record.data() + offsets[size_t(field)];
    const int len = lengths[size_t(field)];
    const int leader = len - 10;
    const bool graphic = f.type == ParadoxType::Graphic;
    const quint32 size = le32(p + leader + 4);
    const qint64 length = graphic ? qint64(size) - 8 : qint64(size); // graphics count 8 bytes more
    if (size == 0 || length <= 0)
        return QVariant();
    if (length > leader) {
        auto outside = [&] {
            throw Error(QStringLiteral("ファイル %1 の %2 件目の列「%3」のメモが、メモのファイル %4 の中にありません")
                            .arg(name, QString::number(position + 1), f.name, memoName));
        };
        if (!memo)
            throw Error(QStringLiteral("ファイル %1 の %2 件目の列「%3」のメモを読むには、メモのファイル %4 が要ります")
                            .arg(name, QString::number(position + 1), f.name, memoName));
        const quint32 ref = le32(p + leader);
        const qint64 offset = qint64(ref & 0xffffff00u);
        const int index = int(ref & 0xff);
        const qint64 have = memo->size();
        if (offset == 0 || offset + 12 > have)
            outside();
        const int kind = quint8(memo->at(offset));
        if (kind == 2) { // one memo over whole blocks, after a header of its own
            if (offset + (graphic ? 17 : 9) + length > have)
                outside();
        } else if (kind == 3) { // a block of small memos with a table of them
            const qint64 entry = offset + 12 + qint64(index) * 5;
            if (offset + kMemoBlock > have || entry + 5 > have
                || qint64(quint8(memo->at(entry))) * 16 + qint64(size) > kMemoBlock)
                outside();
        } else {
            // pxlib gives no data and no error for a block of another kind.
            outside();
        }
    }
    int modification = 0, got = 0;
    char *data = nullptr;
    const int read = graphic ? PX_get_data_graphic(doc, p, len, &modification, &got, &data)
                             : PX_get_data_blob(doc, p, len, &modification, &got, &data);
    if (read <= 0 || !data || got <= 0) {
        if (data)
            doc->free(doc, data);
        throw Error(QStringLiteral("ファイル %1 の %2 件目の列「%3」のメモが、メモのファイル %4 の中にありません")
                        .arg(name, QString::number(position + 1), f.name, memoName));
    }
    QByteArray bytes(data, got);
    doc->free(doc, data);
    if (f.type != ParadoxType::Memo)
        return bytes;
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    return bytes.isEmpty() ? QVariant() : QVariant(cp932::decode(bytes));
}

ParadoxTable::ParadoxTable(const QString &path) : d(std::make_unique<Impl>()) {
    d->name = path;
    d->source = paradox::fileSource(paradox::openRegular(path));
    d->check(path);
    bool needsMemo = false;
    for (const paradox::Layout::Field &f : d->layout.fields)
        needsMemo |= isMemoType(f.type);
    if (needsMemo) {
        const QString memo = memoPath(path);
        d->memoName = memo.isEmpty() ? QFileInfo(path).dir().filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".MB"))
                                     : memo;
        if (!memo.isEmpty())
            d->memo = paradox::readWhole(memo);
    }
    d->open();
    if (d->memo)
        d->openMemo();
}

ParadoxTable::ParadoxTable(const QByteArray &bytes, const QString &name, const QByteArray *memo)
    : d(std::make_unique<Impl>()) {
    d->name = name;
    d->source = paradox::memorySource(bytes);
    d->check(name);
    d->memoName = QFileInfo(name).completeBaseName() + QStringLiteral(".MB");
    if (memo)
        d->memo = *memo;
    d->open();
    if (d->memo)
        d->openMemo();
}

ParadoxTable::~ParadoxTable() = default;

const QString &ParadoxTable::name() const { return d->name; }
const std::vector<ParadoxField> &ParadoxTable::fields() const { return d->fields; }
int ParadoxTable::recordCount() const { return d->count; }

int ParadoxTable::fieldIndex(const QString &name) const {
    for (size_t i = 0; i < d->fields.size(); ++i)
        if (d->fields[i].name == name)
            return int(i);
    return -1;
}

void ParadoxTable::read(int position) {
    d->position = -1;
    if (position < 0 || position >= d->count)
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(position));
    d->pxError.clear();
    int recno = position;
    if (d->blockList) {
        const size_t j = size_t(std::upper_bound(d->blockStarts.begin(), d->blockStarts.end(), position)
                                - d->blockStarts.begin() - 1);
        d->doc->px_indexdata = d->blockList + j;
        d->doc->px_indexdatalen = d->blockListLength - int(j);
        recno = position - d->blockStarts[j];
    }
    const char *read = PX_get_record(d->doc, recno, d->record.data());
    if (d->blockList) {
        d->doc->px_indexdata = d->blockList;
        d->doc->px_indexdatalen = d->blockListLength;
    }
    d->requireWhole();
    if (!read)
        throw Error(QStringLiteral("ファイル %1 の %2 件目のレコードを読めません: %3")
                        .arg(d->name, QString::number(position + 1), d->pxError));
    d->position = position;
}

void ParadoxTable::Impl::requireRecord(int field) const {
    if (position < 0)
        throw Error(QStringLiteral("レコードが見つかりません。他のプロセスによって削除された可能性があります"));
    if (field < 0 || size_t(field) >= fields.size())
        throw Error(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(field));
}

QVariant ParadoxTable::value(int field) const {
    d->requireRecord(field);
    return d->value(field);
}

QString ParadoxTable::text(int field) const {
    d->requireRecord(field);
    if (d->fields[size_t(field)].type == ParadoxType::Alpha)
        return d->alpha(field);
    return d->value(field).toString();
}

QVector<QVariant> ParadoxTable::record(int position) {
    read(position);
    QVector<QVariant> values;
    values.reserve(qsizetype(d->fields.size()));
    for (size_t i = 0; i < d->fields.size(); ++i)
        values.append(d->value(int(i)));
    return values;
}

} // namespace quil
