// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ParadoxCheck.h"

#include "text/Error.h"

#include <climits>

namespace quil::paradox {
namespace {

// Offsets in the fixed header, as pxlib reads it.
constexpr int kRecordSize = 0x00, kHeaderSize = 0x02, kFileType = 0x04, kMaxTableSize = 0x05,
              kNumRecords = 0x06, kFileBlocks = 0x0C, kFirstBlock = 0x0E, kNumFields = 0x21,
              kEncryption1 = 0x25, kFileVersion = 0x39;
constexpr int kFixedHeader = 0x58;  // TPxHeader
constexpr int kEncryption2 = 0x5C;  // in the data header that follows from version 4.0 on
constexpr int kBlockHeader = 6;     // next, previous, size of the data
constexpr quint32 kEncryptionElsewhere = 0xFF00FF00;
// pxlib copies a field's name into a buffer of 300 bytes, its end included.
constexpr int kLongestName = 298;

quint16 u16(const QByteArray &b, qint64 at) {
    return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8);
}
quint32 u32(const QByteArray &b, qint64 at) {
    return quint32(u16(b, at)) | quint32(u16(b, at + 2)) << 16;
}
void put16(QByteArray &b, qint64 at, int v) {
    b[at] = char(v & 0xff);
    b[at + 1] = char((v >> 8) & 0xff);
}
// pxlib's own reading of the version byte: from 4.0 on a data header follows,
// and version 7 tables have a longer table name.
bool hasDataHeader(int version) { return version >= 5; }
int tableNameLength(int version) { return version == 12 ? 261 : 79; }

QString num(qint64 n) { return QString::number(n); }

[[noreturn]] void lie(const QString &name, const QString &reason) { throw Error(damaged(name, reason)); }

// Bytes a field of this type takes in a record, and whether the header's size
// fits the type; 0 for a type pxlib does not know.
int fieldLength(int type, int size, bool *sizeFits) {
    auto fixed = [&](int n) {
        *sizeFits = size == n;
        return n;
    };
    switch (type) {
    case 0x01: // alpha
    case 0x18: // bytes
        *sizeFits = size >= 1 && size <= 255;
        return size;
    case 0x02: // date
    case 0x04: // long integer
    case 0x14: // time
    case 0x16: // autoincrement
        return fixed(4);
    case 0x03: // short integer
        return fixed(2);
    case 0x05: // money
    case 0x06: // number
    case 0x15: // timestamp
        return fixed(8);
    case 0x09: // logical
        return fixed(1);
    case 0x0C: // memo
    case 0x0D: // binary
    case 0x0E: // formatted memo
    case 0x0F: // OLE
    case 0x10: // graphic
        // The data's first bytes and a reference of ten bytes into the memo file.
        *sizeFits = size >= 10 && size <= 255;
        return size;
    case 0x17: // BCD: its size is the digits after the point, its bytes are always 17
        *sizeFits = size <= 32;
        return 17;
    default:
        *sizeFits = false;
        return 0;
    }
}

} // namespace

QString notATable(const QString &name) { return QStringLiteral("ファイル %1 は Paradox の表ではありません").arg(name); }

QString damaged(const QString &name, const QString &reason) {
    return QStringLiteral("ファイル %1 は Paradox の表として壊れています: %2").arg(name, reason);
}

qint64 tableBytes(const QByteArray &head, qint64 fileSize, const QString &name) {
    if (head.size() < kFixedHeader)
        throw Error(notATable(name));
    const int recordSize = u16(head, kRecordSize);
    const int headerSize = u16(head, kHeaderSize);
    const int fileType = quint8(head[kFileType]);
    const int maxTableSize = quint8(head[kMaxTableSize]);
    const int version = quint8(head[kFileVersion]);
    // Only tables (indexed or not); the index files .PX, .Xnn and .Ynn are no register.
    if ((fileType != 0 && fileType != 2) || maxTableSize < 1 || maxTableSize > 32 || version < 3 || version > 12
        || recordSize == 0 || headerSize < kFixedHeader)
        throw Error(notATable(name));
    const qint64 blockSize = qint64(maxTableSize) * 0x400;
    const qint64 blocks = u16(head, kFileBlocks);
    const qint64 total = headerSize + blocks * blockSize;
    // pxlib computes a block's offset in an int.
    if (total > INT_MAX)
        lie(name, QStringLiteral("見出しの %1 バイトと %2 個のブロック (1 個 %3 バイト) は、読める大きさを超えています")
                      .arg(num(headerSize), num(blocks), num(blockSize)));
    if (fileSize < total)
        lie(name, QStringLiteral("ファイルの長さ %1 バイトが、見出しの %2 バイトと %3 個のブロック (1 個 %4 バイト) に足りません")
                      .arg(num(fileSize), num(headerSize), num(blocks), num(blockSize)));
    return total;
}

int headerSize(const QByteArray &head) { return head.size() < kFixedHeader ? 0 : u16(head, kHeaderSize); }
int blockSize(const QByteArray &head) { return head.size() < kFixedHeader ? 0 : quint8(head[kMaxTableSize]) * 0x400; }

Layout check(const QByteArray &header, qint64 fileSize, const BlockHead &blockHead, const QString &name) {
    Layout l;
    l.tableBytes = tableBytes(header.left(kPeekBytes), fileSize, name);
    if (header.size() < headerSize(header))
        lie(name, QStringLiteral("見出しの長さ %1 バイトに、列の定義が収まっていません").arg(headerSize(header)));
    l.fileVersionId = quint8(header[kFileVersion]);
    l.headerSize = u16(header, kHeaderSize);
    l.blockSize = quint8(header[kMaxTableSize]) * 0x400;
    l.fileBlocks = u16(header, kFileBlocks);
    l.recordSize = u16(header, kRecordSize);
    const bool dataHeader = hasDataHeader(l.fileVersionId);
    const int fieldInfo = dataHeader ? kPeekBytes : kFixedHeader;
    if (l.headerSize < fieldInfo)
        lie(name, QStringLiteral("見出しの長さ %1 バイトに、列の定義が収まっていません").arg(l.headerSize));

    // Encrypted blocks take another way through pxlib; the register never had a password.
    quint32 encryption = u32(header, kEncryption1);
    if (encryption == kEncryptionElsewhere) {
        if (!dataHeader)
            lie(name, QStringLiteral("見出しが、ない部分を指しています"));
        encryption = u32(header, kEncryption2);
    }
    if (encryption != 0)
        throw Error(QStringLiteral("ファイル %1 はパスワードで保護されているため読めません").arg(name));

    const int fieldCount = u16(header, kNumFields);
    if (fieldCount < 1 || fieldCount > 255)
        lie(name, QStringLiteral("列の数 %1 が正しくありません").arg(fieldCount));
    // Field types and sizes, the table name's pointer and the names' pointers,
    // the table name, then the names themselves: all inside the header.
    const qint64 names = fieldInfo + qint64(fieldCount) * 2 + 4 + qint64(fieldCount) * 4;
    const qint64 tableName = names;
    const qint64 firstName = tableName + tableNameLength(l.fileVersionId);
    if (firstName > l.headerSize)
        lie(name, QStringLiteral("見出しの長さ %1 バイトに、列の定義が収まっていません").arg(l.headerSize));
    if (header.indexOf('\0', tableName) < 0 || header.indexOf('\0', tableName) >= firstName)
        lie(name, QStringLiteral("表の名前が見出しの中で終わっていません"));

    int lengths = 0;
    qint64 at = firstName;
    l.fields.resize(size_t(fieldCount));
    for (int i = 0; i < fieldCount; ++i) {
        Layout::Field &f = l.fields[size_t(i)];
        f.type = quint8(header[fieldInfo + 2 * i]);
        f.size = quint8(header[fieldInfo + 2 * i + 1]);
        const qint64 end = header.indexOf('\0', at);
        if (end < 0 || end >= l.headerSize || end - at > kLongestName)
            lie(name, QStringLiteral("%1 番目の列の名前が見出しの中で終わっていません").arg(i + 1));
        f.name = header.mid(at, end - at);
        at = end + 1;
        bool sizeFits = false;
        f.length = fieldLength(f.type, f.size, &sizeFits);
        if (f.length == 0)
            lie(name, QStringLiteral("%1 番目の列の型 (0x%2) は Paradox にない型です")
                          .arg(num(i + 1), QString::number(f.type, 16).rightJustified(2, u'0')));
        if (!sizeFits)
            lie(name, QStringLiteral("%1 番目の列の長さ %2 がその型に合いません").arg(num(i + 1), num(f.size)));
        lengths += f.length;
    }
    if (lengths != l.recordSize)
        lie(name, QStringLiteral("レコードの長さ %1 バイトが、列の長さの合計 %2 バイトと合いません")
                      .arg(num(l.recordSize), num(lengths)));
    l.recordsPerBlock = (l.blockSize - kBlockHeader) / l.recordSize;
    if (l.recordsPerBlock < 1)
        lie(name, QStringLiteral("レコードの長さ %1 バイトが、ブロックの大きさ %2 バイトに収まりません")
                      .arg(num(l.recordSize), num(l.blockSize)));

    const quint32 claimed = u32(header, kNumRecords);
    if (qint64(claimed) > qint64(l.fileBlocks) * l.recordsPerBlock)
        lie(name, QStringLiteral("見出しのレコード数 %1 は、%2 個のブロックに入りきりません").arg(num(claimed), num(l.fileBlocks)));

    // The chain of data blocks from the first: each block once, inside the
    // file, holding whole records; empty ones are left out of what pxlib sees.
    const int first = u16(header, kFirstBlock);
    if (first > l.fileBlocks)
        lie(name, QStringLiteral("最初のブロックの番号 %1 が、ブロックの数 %2 を超えています").arg(num(first), num(l.fileBlocks)));
    l.blockHeads.resize(size_t(l.fileBlocks) + 1);
    std::vector<int> holding; // blocks with records, in chain order
    qint64 records = 0;
    for (int block = first; block != 0;) {
        QByteArray &head = l.blockHeads[size_t(block)];
        if (!head.isEmpty())
            lie(name, QStringLiteral("ブロックのつながりがブロック %1 で輪になっています").arg(block));
        head = blockHead(block);
        if (head.size() < kBlockHeader)
            lie(name, QStringLiteral("ファイルの長さ %1 バイトが、見出しの %2 バイトと %3 個のブロック (1 個 %4 バイト) に足りません")
                          .arg(num(fileSize), num(l.headerSize), num(l.fileBlocks), num(l.blockSize)));
        const int next = u16(head, 0);
        const int data = qint16(u16(head, 4)); // (records - 1) * record size
        if (data != -l.recordSize) {
            if (data < 0 || data % l.recordSize != 0 || data / l.recordSize + 1 > l.recordsPerBlock)
                lie(name, QStringLiteral("ブロック %1 のレコードの数を示す値 %2 が正しくありません").arg(num(block), num(data)));
            records += data / l.recordSize + 1;
            holding.push_back(block);
            l.blockRecords.push_back(data / l.recordSize + 1);
        }
        if (next > l.fileBlocks)
            lie(name, QStringLiteral("ブロック %1 の次のブロックの番号 %2 が、ブロックの数 %3 を超えています")
                          .arg(num(block), num(next), num(l.fileBlocks)));
        block = next;
    }
    if (records != claimed)
        lie(name, QStringLiteral("見出しのレコード数 %1 が、ブロックにあるレコードの数 %2 と合いません").arg(num(claimed), num(records)));
    l.recordCount = int(claimed);

    l.header = header.left(l.headerSize);
    put16(l.header, kFirstBlock, holding.empty() ? 0 : holding.front());
    for (size_t i = 0; i < holding.size(); ++i)
        put16(l.blockHeads[size_t(holding[i])], 0, i + 1 < holding.size() ? holding[i + 1] : 0);
    l.blocks = holding;
    return l;
}

} // namespace quil::paradox
