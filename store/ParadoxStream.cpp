// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ParadoxStream.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quil::paradox {
namespace {

Error cannotOpen(const QString &path, int err) {
    return Error(QStringLiteral("ファイル %1 を開けません").arg(path), Error::Kind::General, err);
}

// Up to `n` bytes at `at`; fewer only at the end of the file or after a
// failure, whose errno goes to `error`.
qint64 preadAll(int fd, qint64 at, char *into, qint64 n, int &error) {
    qint64 done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, into + done, size_t(n - done), off_t(at + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            error = errno;
        if (r <= 0)
            break;
        done += r;
    }
    return done;
}

class MemorySource : public TableSource {
public:
    explicit MemorySource(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    qint64 size() const override { return m_bytes.size(); }
    qint64 readAt(qint64 at, char *into, qint64 n) override {
        const qint64 got = std::max<qint64>(0, std::min(n, m_bytes.size() - at));
        if (got > 0)
            std::memcpy(into, m_bytes.constData() + at, size_t(got));
        return got;
    }

private:
    QByteArray m_bytes;
};

// pxlib reads a record at a time, so a table of 150 MB is never held whole.
class FileSource : public TableSource {
public:
    explicit FileSource(int fd) : m_fd(fd), m_size(fileSize(fd)), m_window(kWindow, Qt::Uninitialized) {}
    ~FileSource() override { ::close(m_fd); }
    qint64 size() const override { return m_size; }
    qint64 readAt(qint64 at, char *into, qint64 n) override {
        if (n > kWindow / 4)
            return preadAll(m_fd, at, into, n, error);
        if (at < m_at || at + n > m_at + m_length) {
            m_at = at;
            m_length = preadAll(m_fd, at, m_window.data(), kWindow, error);
        }
        const qint64 got = std::max<qint64>(0, std::min(n, m_at + m_length - at));
        if (got > 0)
            std::memcpy(into, m_window.constData() + (at - m_at), size_t(got));
        return got;
    }
    qint64 readApart(qint64 at, char *into, qint64 n) override { return preadAll(m_fd, at, into, n, error); }

private:
    static constexpr qint64 kWindow = qint64(1) << 20;

    int m_fd;
    qint64 m_size;
    QByteArray m_window;
    qint64 m_at = 0, m_length = 0;
};

// Puts the checked header and block heads over what was read.
void overlay(const Layout &l, qint64 from, char *into, qint64 n) {
    const qint64 header = l.header.size();
    if (from < header)
        std::memcpy(into, l.header.constData() + from, size_t(std::min(n, header - from)));
    if (from + n <= header)
        return;
    const qint64 first = from < header ? 1 : (from - header) / l.blockSize + 1;
    const qint64 last = std::min<qint64>((from + n - 1 - header) / l.blockSize + 1, l.fileBlocks);
    for (qint64 b = first; b <= last; ++b) {
        const QByteArray &head = l.blockHeads[size_t(b)];
        if (head.isEmpty())
            continue;
        const qint64 start = header + (b - 1) * l.blockSize;
        const qint64 lo = std::max(start, from), hi = std::min(start + head.size(), from + n);
        if (lo < hi)
            std::memcpy(into + (lo - from), head.constData() + (lo - start), size_t(hi - lo));
    }
}

TableStream &tableOf(pxstream_t *s) { return *static_cast<TableStream *>(s->s.stream); }
size_t tableRead(pxdoc_t *, pxstream_t *s, size_t n, void *into) {
    return size_t(tableOf(s).read(static_cast<char *>(into), qint64(n)));
}
int tableSeek(pxdoc_t *, pxstream_t *s, long offset, int whence) { return tableOf(s).seek(offset, whence); }
long tableTell(pxdoc_t *, pxstream_t *s) { return long(tableOf(s).at); }
size_t tableWrite(pxdoc_t *, pxstream_t *, size_t, void *) { return 0; }

ssize_t cookieRead(void *c, char *into, size_t n) {
    return ssize_t(static_cast<TableStream *>(c)->read(into, qint64(n)));
}
int cookieSeek(void *c, off64_t *offset, int whence) {
    auto *t = static_cast<TableStream *>(c);
    if (t->seek(*offset, whence) < 0)
        return -1;
    *offset = t->at;
    return 0;
}
int cookieClose(void *) { return 0; }

ByteStream &bytesOf(pxstream_t *stream) { return *static_cast<ByteStream *>(stream->s.stream); }
size_t bytesRead(pxstream_t *stream, size_t count, void *into) {
    ByteStream &m = bytesOf(stream);
    const qint64 n = std::max<qint64>(0, std::min<qint64>(qint64(count), m.size - m.at));
    if (n > 0)
        std::memcpy(into, m.data + m.at, size_t(n));
    m.at += n;
    return size_t(n);
}
int bytesSeek(pxstream_t *stream, long offset, int whence) {
    ByteStream &m = bytesOf(stream);
    const qint64 to = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m.at : m.size) + qint64(offset);
    if (to < 0 || to > m.size)
        return -1;
    m.at = to;
    return 0;
}
size_t blobRead(pxblob_t *, pxstream_t *s, size_t n, void *into) { return bytesRead(s, n, into); }
int blobSeek(pxblob_t *, pxstream_t *s, long offset, int whence) { return bytesSeek(s, offset, whence); }
long blobTell(pxblob_t *, pxstream_t *s) { return long(bytesOf(s).at); }
size_t blobWrite(pxblob_t *, pxstream_t *, size_t, void *) { return 0; }
size_t streamRead(pxdoc_t *, pxstream_t *s, size_t n, void *into) { return bytesRead(s, n, into); }
int streamSeek(pxdoc_t *, pxstream_t *s, long offset, int whence) { return bytesSeek(s, offset, whence); }
long streamTell(pxdoc_t *, pxstream_t *s) { return long(bytesOf(s).at); }
size_t streamWrite(pxdoc_t *, pxstream_t *, size_t, void *) { return 0; }

} // namespace

int openRegular(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw cannotOpen(path, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw cannotOpen(path, err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(QStringLiteral("ファイル %1 は通常のファイルではないので読めません").arg(path));
    }
    return fd;
}

qint64 fileSize(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? qint64(st.st_size) : 0;
}

QByteArray readWhole(const QString &path) {
    const int fd = openRegular(path);
    QByteArray bytes(qsizetype(fileSize(fd)), Qt::Uninitialized);
    int error = 0;
    bytes.truncate(qsizetype(preadAll(fd, 0, bytes.data(), bytes.size(), error)));
    ::close(fd);
    if (error)
        throw cannotRead(path, error);
    return bytes;
}

Error cannotRead(const QString &path, int err) {
    return Error(QStringLiteral("ファイル '%1' を読み込めませんでした。").arg(path), Error::Kind::General, err);
}

std::unique_ptr<TableSource> fileSource(int fd) { return std::make_unique<FileSource>(fd); }
std::unique_ptr<TableSource> memorySource(const QByteArray &bytes) { return std::make_unique<MemorySource>(bytes); }

qint64 TableStream::read(char *into, qint64 n) {
    n = std::max<qint64>(0, std::min(n, layout->tableBytes - at));
    const qint64 got = source->readAt(at, into, n);
    if (got < n) {
        shortRead = true;
        std::memset(into + got, 0, size_t(n - got));
    }
    overlay(*layout, at, into, n);
    at += n;
    return n;
}

int TableStream::seek(qint64 offset, int whence) {
    const qint64 to = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? at : layout->tableBytes) + offset;
    if (to < 0 || to > layout->tableBytes)
        return -1;
    at = to;
    return 0;
}

FILE *openTableFile(TableStream &table) {
    return fopencookie(&table, "rb", cookie_io_functions_t{cookieRead, nullptr, cookieSeek, cookieClose});
}

void readDirectly(pxstream_t &stream, TableStream &table) {
    stream.s.stream = &table;
    stream.read = tableRead;
    stream.seek = tableSeek;
    stream.tell = tableTell;
    stream.write = tableWrite;
}

void attachMemo(pxblob_t &blob, pxstream_t &stream, ByteStream &bytes) {
    stream.type = pxfIOStream;
    stream.mode = pxfFileRead;
    stream.close = px_false;
    stream.s.stream = &bytes;
    stream.read = streamRead;
    stream.seek = streamSeek;
    stream.tell = streamTell;
    stream.write = streamWrite;
    blob.mb_stream = &stream;
    blob.read = blobRead;
    blob.seek = blobSeek;
    blob.tell = blobTell;
    blob.write = blobWrite;
}

} // namespace quil::paradox
