// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A child process as another user, for the tests of files that belong to
// someone else. Only root can become another user; the tests skip otherwise.
#include <QFile>
#include <QString>

#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quil::test {

constexpr uid_t kNobody = 65534;

// Runs `body` in a forked child that has become nobody (user and group
// 65534, no other groups) and returns the child's exit code; -1 when it
// could not become nobody or did not end normally. The body returns a small
// code of its own; an exception is 101.
inline int runAsNobody(const std::function<int()> &body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int code = 100;
        if (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0) {
            try {
                code = body();
            } catch (...) {
                code = 101;
            }
        }
        ::_exit(code);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 100)
        return -1;
    return WEXITSTATUS(status);
}

// Lets every user through `root` and write in `folder` (below it). No sticky
// bit: in a sticky folder the kernel itself refuses to rename over another
// user's file, which would hide what the program does.
inline bool openToEveryone(const QString &root, const QString &folder) {
    return ::chmod(QFile::encodeName(root).constData(), 0755) == 0
           && ::chmod(QFile::encodeName(folder).constData(), 0777) == 0;
}

// Owner of a file (not following a link); -1 when it is not there.
inline long fileOwner(const QString &path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return long(st.st_uid);
}

} // namespace quil::test
