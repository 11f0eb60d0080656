// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A device that hands out its bytes at most `step` at a time, as a pipe may,
// for readers that must not care how their input arrives.
#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace quil::test {

class Trickle : public QIODevice {
public:
    Trickle(QByteArray bytes, qint64 step) : m_bytes(std::move(bytes)), m_step(step) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 max) override {
        const qint64 n = std::min({max, m_step, qint64(m_bytes.size()) - m_at});
        std::memcpy(data, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_step;
    qint64 m_at = 0;
};

} // namespace quil::test
