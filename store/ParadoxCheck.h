// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What pxlib trusts in a Paradox table, checked on the file's bytes before
// pxlib is given them. pxlib believes the header's sizes and counts and
// follows the chain of data blocks as the file gives it: a file that lies
// there makes it read past what it was given, find records in the wrong
// place or follow the chain forever. Internal to the Paradox reader.
#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace quil::paradox {

// The fixed header and the data header after it: enough to size the file.
constexpr int kPeekBytes = 0x78;

struct Layout {
    int fileVersionId = 0; // 3 .. 12
    int headerSize = 0;
    int blockSize = 0;     // bytes of one data block
    int fileBlocks = 0;
    int recordSize = 0;
    int recordCount = 0;
    int recordsPerBlock = 0;
    qint64 tableBytes = 0; // header and blocks: all that pxlib reads
    // The blocks that hold records, in the chain's order as pxlib is given
    // it, and the records each holds.
    std::vector<int> blocks, blockRecords;
    // What pxlib is to read of the header and of each block's own header
    // (indexed by the block's number, empty for a block off the chain):
    // the checked bytes, the chain without its empty blocks (see check()).
    QByteArray header;
    std::vector<QByteArray> blockHeads;
    struct Field {
        int type = 0;      // pxlib's type code
        int size = 0;      // as the header gives it (for BCD the digits after the point)
        int length = 0;    // bytes in a record
        QByteArray name;   // as stored, code page 932
    };
    std::vector<Field> fields;
};

// From the first kPeekBytes bytes (fewer for a short file) and the file's
// size: the bytes pxlib reads, header and data blocks. Throws quil::Error
// naming `name` for a file that is no Paradox table, one cut short of what
// its header says, and one too large for pxlib's offsets.
qint64 tableBytes(const QByteArray &head, qint64 fileSize, const QString &name);

// The header's length and the size of a block in bytes, from the first
// bytes tableBytes() took.
int headerSize(const QByteArray &head);
int blockSize(const QByteArray &head);

// The six bytes at the start of a data block (its next and previous block
// and the size of its records), by the block's number from 1.
using BlockHead = std::function<QByteArray(int block)>;

// Checks the table from its header (headerSize() bytes), the file's size and
// the heads of its blocks, and returns its layout; throws quil::Error naming
// `name` and what is wrong: no Paradox table, a password-protected one, a
// header that lies about its length, its fields, its record size or count,
// or a chain of blocks that leaves the file, loops or holds another number
// of records than the header says.
// Blocks of the chain that hold no record are taken out of it in the
// layout's header and block heads: pxlib would count such a block as
// thousands of records (and say so on standard error), so a record after it
// would be looked for in the wrong place. The records are not touched.
Layout check(const QByteArray &header, qint64 fileSize, const BlockHead &blockHead, const QString &name);

// The Japanese errors of the reader, also for the reader's own use.
QString notATable(const QString &name);
QString damaged(const QString &name, const QString &reason);

} // namespace quil::paradox
