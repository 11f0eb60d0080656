// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small disk of the test's own: a tmpfs mounted on a folder, which a test
// fills to see what the program does when no space is left. Mounting needs
// root (CI runs the tests as root); elsewhere the test is skipped with the
// reason.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace quil::test {

class SmallDisk {
public:
    SmallDisk(const QString &path, int kib) : m_path(path) {
        QDir().mkpath(path);
        const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0700";
        if (::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, options.constData()) == 0)
            m_mounted = true;
        else
            m_reason = QStringLiteral("cannot mount a small tmpfs here (%1); the full-disk case needs root")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    std::string reason() const { return m_reason.toStdString(); }
    const QString &path() const { return m_path; }

    // Takes every byte that is left.
    void fill() {
        const QByteArray name = QFile::encodeName(m_path + QStringLiteral("/.filler"));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        const QByteArray block(64 * 1024, 'x');
        for (qsizetype size = block.size(); size > 0; size /= 2)
            while (::write(fd, block.constData(), size_t(size)) == ssize_t(size)) {
            }
        ::close(fd);
    }
    void release() { QFile::remove(m_path + QStringLiteral("/.filler")); }

private:
    QString m_path;
    QString m_reason;
    bool m_mounted = false;
};

} // namespace quil::test
