// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The streams through which pxlib reads a Paradox table and its memo file:
// the program's own, over the file or over bytes in memory. pxlib sees the
// header and the heads of the data blocks as they were checked
// (store/ParadoxCheck.h); only the records come from the file as it is.
// Internal to the Paradox reader.
#include "store/ParadoxCheck.h"
#include "text/Error.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <memory>

// pxlib's header is C without C++ guards.
extern "C" {
#include <paradox.h>
}

namespace quil::paradox {

// Opens a regular file for reading without waiting on a FIFO or a device;
// throws the file's error, or that it is no regular file.
int openRegular(const QString &path);
qint64 fileSize(int fd);
// A whole regular file (the memo file); throws as openRegular does.
QByteArray readWhole(const QString &path);
// "ファイル 'X' を読み込めませんでした。" with the system's reason.
Error cannotRead(const QString &path, int err);

// Where the table's bytes come from. Never throws: pxlib is C and calls it;
// a failure is kept (`error`) for the caller to report.
class TableSource {
public:
    virtual ~TableSource() = default;
    virtual qint64 size() const = 0;
    // Up to `n` bytes at `at`; fewer at the end, or after a failure.
    virtual qint64 readAt(qint64 at, char *into, qint64 n) = 0;
    // The same for a few bytes far from the others (the heads of blocks).
    virtual qint64 readApart(qint64 at, char *into, qint64 n) { return readAt(at, into, n); }
    int error = 0; // errno of a failed read
};

// The file, read a megabyte at a time; the source closes it.
std::unique_ptr<TableSource> fileSource(int fd);
std::unique_ptr<TableSource> memorySource(const QByteArray &bytes);

// The table as pxlib reads it: the source's bytes up to the layout's end,
// with its checked header and block heads laid over them. A file changed
// after the check changes no more than the values of its records; one cut
// short reads zeros and sets `shortRead`.
struct TableStream {
    TableSource *source = nullptr;
    const Layout *layout = nullptr;
    qint64 at = 0;
    bool shortRead = false;

    qint64 read(char *into, qint64 n);
    int seek(qint64 offset, int whence);
};

// A FILE over the stream, for PX_open_fp; closing it leaves the stream.
FILE *openTableFile(TableStream &table);
// pxlib's stream of the table, once opened, reads `table` directly: through
// the FILE every read asks where it is and seeks, at more cost than the read.
void readDirectly(pxstream_t &stream, TableStream &table);

// Bytes in memory as a stream.
struct ByteStream {
    const char *data;
    qint64 size;
    qint64 at = 0;
};

// Gives a memo document `bytes` as its memo file, through `stream`, rather
// than through PX_open_blob_fp: pxlib 0.6.8 reads the 12 bytes of each
// block's header there into a buffer of 9 on its stack, whatever the file.
// Reading a memo needs only the stream; what PX_open_blob_fp adds is for
// writing (the list of blocks, the modification count). The stream and the
// bytes must outlive the memo document's use; they are not its to free.
void attachMemo(pxblob_t &blob, pxstream_t &stream, ByteStream &bytes);

} // namespace quil::paradox
