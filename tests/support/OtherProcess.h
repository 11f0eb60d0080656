// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Another process of the program that opens a table the ordinary way, for
// the tests of locking.
#include "store/DataModules.h"
#include "store/Table.h"
#include "text/Error.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quil::test {

// Waits at most ten seconds for one byte on the descriptor.
inline bool readByte(int fd, char &c) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1)
        return false;
    return ::read(fd, &c, 1) == 1;
}

inline void writeByte(int fd, char c) { (void)!::write(fd, &c, 1); }

// Another process of the program: it opens the table the ordinary way.
class OtherProcess {
public:
    // mode 'S': open shared, report 'R', hold until told; 'T': try an open
    // and report 'O' (opened) or 'E' (refused).
    OtherProcess(const QString &dir, char mode) : m_mode(mode) {
        ::signal(SIGPIPE, SIG_IGN); // a child that died early must not take the tests along
        if (::pipe(m_toParent) != 0 || ::pipe(m_toChild) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(m_toParent[0]);
            ::close(m_toChild[1]);
            int code = 0;
            try {
                Table t(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
                t.setDirectory(dir);
                try {
                    t.open();
                    writeByte(m_toParent[1], mode == 'S' ? 'R' : 'O');
                } catch (const Error &) {
                    writeByte(m_toParent[1], 'E');
                }
                if (mode == 'S') {
                    char c;
                    readByte(m_toChild[0], c);
                }
                t.close();
            } catch (...) {
                code = 2;
            }
            ::_exit(code);
        }
        ::close(m_toParent[1]);
        ::close(m_toChild[0]);
    }
    ~OtherProcess() { finish(); }

    char report() {
        char c = '?';
        return readByte(m_toParent[0], c) ? c : '?';
    }
    void finish() {
        if (m_pid <= 0)
            return;
        if (m_mode == 'S') // a child that does not wait may be gone: no write then
            writeByte(m_toChild[1], 'Q');
        ::close(m_toChild[1]);
        char c;
        readByte(m_toParent[0], c); // end of file once the child is gone
        ::close(m_toParent[0]);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    char m_mode;
    pid_t m_pid = -1;
    int m_toParent[2] = {-1, -1};
    int m_toChild[2] = {-1, -1};
};


} // namespace quil::test
