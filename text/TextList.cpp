// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextList.h"

#include "text/Cp932.h"
#include "text/Error.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quil::textlist {
namespace {

// The window shows these texts as they are; the errno rides along for the
// command line, which gives the reason after them.
Error cannotOpen(const QString &path, int err) {
    return Error(QStringLiteral("ファイル %1 を開けません").arg(path), Error::Kind::General, err);
}
Error cannotCreate(const QString &path, int err) {
    return Error(QStringLiteral("ファイル %1 を作成できません").arg(path), Error::Kind::General, err);
}
Error cannotWrite(const QString &path, int err) {
    return Error(QStringLiteral("ファイル %1 に書き込めません").arg(path), Error::Kind::General, err);
}

// A failed write; a full disk says so, for the reader can mend that.
Error writeError(const QString &path, int err, Error otherwise) {
    if (err == ENOSPC || err == EDQUOT)
        return Error(QStringLiteral("ディスクに空きがないため、ファイル %1 に書き込めません").arg(path), Error::Kind::DiskFull);
    return otherwise;
}

template <typename Char, typename OnLine>
void splitRange(const Char *p, qsizetype n, OnLine onLine) {
    qsizetype start = 0;
    qsizetype i = 0;
    for (; i < n; ++i) {
        const auto c = p[i];
        if (c == 0)
            break;
        if (c == '\r' || c == '\n') {
            onLine(start, i);
            if (c == '\r' && i + 1 < n && p[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (i > start)
        onLine(start, i);
}

bool writeAll(int fd, const char *data, qsizetype size) {
    while (size > 0) {
        ssize_t w = ::write(fd, data, size_t(size));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        size -= w;
    }
    return true;
}

// Makes a new name in the file's folder durable.
void syncFolderOf(const QByteArray &nativePath) {
    const qsizetype slash = nativePath.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : nativePath.left(slash));
    int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// Whether the running user may change an existing file. The owner's bit
// counts first, because access() says yes to root for everything; access()
// then brings in the other users' bits, ACLs and read-only mounts, which a
// rename over the file would ignore.
// When not, errno says why.
bool mayWrite(const QByteArray &nativePath, const struct stat &st) {
    if (!(st.st_mode & S_IWUSR)) {
        errno = EACCES;
        return false;
    }
    return ::faccessat(AT_FDCWD, nativePath.constData(), W_OK, AT_EACCESS) == 0;
}

// The file a path names, links followed as the kernel would (at most 40).
// A link pointing nowhere gives the missing file it names; a loop gives an
// empty path.
QString followLinks(const QString &path) {
    QString p = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(p);
        if (!info.isSymLink())
            return p;
        p = info.symLinkTarget();
    }
    return QString();
}

// How a write names its temporary file: "." + name + "." + six letters or
// digits, as mkostemp fills them.
QByteArray temporaryPrefix(const QByteArray &base) { return "." + base + "."; }

bool isTemporaryName(const char *name, const QByteArray &prefix) {
    if (std::strncmp(name, prefix.constData(), size_t(prefix.size())) != 0)
        return false;
    const char *rest = name + prefix.size();
    int n = 0;
    for (; rest[n]; ++n) {
        const char c = rest[n];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return n == 6;
}

// A write killed half way leaves its temporary file behind. The next write
// of the same file removes those that are ours and plainly dead: regular
// files of our user, untouched for a minute and not locked. A live write
// holds an exclusive lock on its file until it closes it; the minute covers
// the moments before the lock is taken and after it is let go, and writers
// that take none.
constexpr time_t kStaleSeconds = 60;

void removeStaleTemporaries(const QByteArray &dir, const QByteArray &base) {
    DIR *d = ::opendir(dir.constData());
    if (!d)
        return;
    const int dfd = ::dirfd(d);
    const QByteArray prefix = temporaryPrefix(base);
    const time_t now = ::time(nullptr);
    while (const dirent *e = ::readdir(d)) {
        if (!isTemporaryName(e->d_name, prefix))
            continue;
        struct stat st;
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || st.st_uid != ::geteuid() || st.st_mtime > now - kStaleSeconds)
            continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held;
        if (::fstat(fd, &held) == 0 && held.st_dev == st.st_dev && held.st_ino == st.st_ino
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

QByteArray encodeLines(const QStringList &lines) {
    QByteArray out;
    for (const QString &line : lines) {
        out += cp932::encode(line);
        out += "\r\n";
    }
    return out;
}

} // namespace

QStringList splitLines(const QString &text) {
    QStringList lines;
    splitRange(text.constData(), text.size(), [&](qsizetype from, qsizetype to) {
        lines.append(text.mid(from, to - from));
    });
    return lines;
}

QStringList splitBytes(const QByteArray &bytes) {
    // CR, LF and NUL never occur inside a CP932 double-byte character, so the
    // bytes can be split before decoding.
    QStringList lines;
    splitRange(bytes.constData(), bytes.size(), [&](qsizetype from, qsizetype to) {
        lines.append(cp932::decode(bytes.constData() + from, to - from));
    });
    return lines;
}

QString joinCrLf(const QStringList &lines) {
    QString out;
    for (const QString &line : lines) {
        out += line;
        out += QLatin1String("\r\n");
    }
    return out;
}

QString normalizeLineBreaks(const QString &text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == u'\r') {
            out += QLatin1String("\r\n");
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray readBytes(const QString &path) {
    if (path.isEmpty())
        throw cannotOpen(path, ENOENT);
    // By hand rather than through QFile, so that the failure's errno is known.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw cannotOpen(path, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0)
        throw cannotOpen(path, errno);
    if (S_ISDIR(st.st_mode))
        throw cannotOpen(path, EISDIR);
    QByteArray bytes;
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(qsizetype(st.st_size));
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw cannotOpen(path, errno);
        }
        if (n == 0)
            break;
        bytes.append(buf, n);
    }
    return bytes;
}

QStringList readFile(const QString &path) { return splitBytes(readBytes(path)); }

QStringList readFileIfExists(const QString &path) {
    // lstat, so that a link pointing nowhere is reported rather than taken for no file.
    struct stat st;
    if (!path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT)
        return {};
    return readFile(path);
}

void writeFile(const QString &path, const QStringList &lines) { writeBytes(path, encodeLines(lines)); }

void appendFile(const QString &path, const QStringList &lines, const QStringList &newFileLines) {
    if (path.isEmpty())
        throw cannotOpen(path, ENOENT);
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    bool created = false;
    int fd = -1;
    if (::stat(native.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw cannotOpen(path, EISDIR);
        // Same rule as a whole-file write.
        if (!mayWrite(native, st))
            throw cannotCreate(path, errno);
        fd = ::open(native.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
        if (fd < 0 && errno == EACCES) // write-only file: its end cannot be looked at
            fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0)
            throw cannotOpen(path, errno);
    } else if (errno == ENOENT) {
        // Also creates the target of a link that points nowhere yet.
        fd = ::open(native.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int err = errno;
            throw writeError(path, err, cannotCreate(path, err));
        }
        created = true;
    } else {
        throw cannotOpen(path, errno);
    }

    QByteArray bytes;
    off_t oldSize = 0;
    if (created) {
        bytes = encodeLines(newFileLines);
    } else if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        oldSize = st.st_size;
        char last = 0;
        if (::pread(fd, &last, 1, oldSize - 1) == 1 && last != '\n' && last != '\r')
            bytes = "\r\n";
    }
    bytes += encodeLines(lines);

    const bool ok = writeAll(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (!ok) {
        // Leave no half entry behind.
        if (created) // through a link, the file it points to goes, not the link
            ::unlink(QFile::encodeName(QFileInfo(path).canonicalFilePath()).constData());
        else if (::ftruncate(fd, oldSize) == 0)
            ::fsync(fd);
    }
    const bool closed = ::close(fd) == 0;
    if (ok && !closed)
        err = errno;
    if (!ok || !closed)
        throw writeError(path, err, cannotWrite(path, err));
    if (created)
        syncFolderOf(native);
}

void writeBytes(const QString &path, const QByteArray &bytes, int newFileMode) {
    if (path.isEmpty())
        throw cannotCreate(path, ENOENT);
    // Replace the file a link points to, not the link itself.
    const QString target = followLinks(path);
    if (target.isEmpty())
        throw cannotCreate(path, ELOOP);
    if (QFileInfo(target).isDir())
        throw cannotCreate(path, EISDIR);

    const QByteArray native = QFile::encodeName(target);
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : native.left(slash));
    const QByteArray base = slash < 0 ? native : native.mid(slash + 1);

    mode_t perms;
    struct stat st;
    const bool exists = ::stat(native.constData(), &st) == 0;
    // The rename below would replace a file regardless of its permissions,
    // so they are asked first.
    if (exists && !mayWrite(native, st))
        throw cannotCreate(path, errno);
    if (exists) {
        perms = st.st_mode & 07777;
    } else if (newFileMode >= 0) {
        perms = mode_t(newFileMode);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        perms = 0666 & ~mask;
    }

    removeStaleTemporaries(dir, base);
    QByteArray tmpl = dir + "/" + temporaryPrefix(base) + "XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw writeError(path, err, cannotCreate(path, err));
    }
    // Tells the clean-up of a later write that this one is alive.
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    // Someone else's file stays theirs when root replaces it. Anyone else
    // cannot give a file away: it becomes the writer's, in the old group
    // when the writer belongs to it, and keeps its mode.
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
        && ::fchown(fd, st.st_uid, st.st_gid) != 0)
        (void)!::fchown(fd, uid_t(-1), st.st_gid);
    // After the owner, which may clear set-id bits.
    bool ok = ::fchmod(fd, perms) == 0 && writeAll(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok || ::rename(tmpl.constData(), native.constData()) != 0) {
        if (ok)
            err = errno;
        ::unlink(tmpl.constData());
        throw writeError(path, err, ok ? cannotCreate(path, err) : cannotWrite(path, err));
    }
    // Make the rename itself durable.
    syncFolderOf(native);
}

} // namespace quil::textlist
