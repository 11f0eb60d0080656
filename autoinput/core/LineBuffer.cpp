// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/core/LineBuffer.h"

#include "text/Cp932.h"

namespace quil {
namespace {

void findLineEnd(const QString &text, qsizetype pos, qsizetype &end, qsizetype &next) {
    const QChar *data = text.constData();
    const qsizetype size = text.size();
    qsizetype i = pos;
    while (i < size) {
        const char16_t c = data[i].unicode();
        if (c == u'\n' || c == u'\r')
            break;
        ++i;
    }
    end = i;
    if (i < size && data[i] == u'\r' && i + 1 < size && data[i + 1] == u'\n')
        next = i + 2;
    else if (i < size)
        next = i + 1;
    else
        next = i;
}

// A character takes at most two CP932 bytes and at least one per surrogate
// pair, so twice the byte limit in UTF-16 units always covers the first
// 4096 bytes; longer lines are never encoded whole.
constexpr qsizetype PrefixUnits = 2 * LineBuffer::MaxLineBytes;

QByteArray lineBytes(const QString &text, qsizetype from, qsizetype to, bool *truncated) {
    const qsizetype units = qMin(to - from, PrefixUnits);
    QByteArray b = cp932::encode(QString(text.constData() + from, units));
    const bool longer = b.size() > LineBuffer::MaxLineBytes || units < to - from;
    if (b.size() > LineBuffer::MaxLineBytes)
        b.truncate(LineBuffer::MaxLineBytes);
    if (truncated)
        *truncated = longer;
    return b;
}

} // namespace

LineBuffer::LineBuffer(QString text) : m_text(std::move(text)) {}

void LineBuffer::locate() {
    if (m_located)
        return;
    findLineEnd(m_text, m_pos, m_end, m_next);
    m_located = true;
}

const QByteArray &LineBuffer::bytes() {
    if (!m_haveBytes) {
        if (hasLines()) {
            locate();
            m_bytes = lineBytes(m_text, m_pos, m_end, &m_truncated);
        } else {
            m_bytes.clear();
            m_truncated = false;
        }
        m_haveBytes = true;
    }
    return m_bytes;
}

QString LineBuffer::text() {
    if (!hasLines())
        return QString();
    locate();
    const qsizetype len = m_end - m_pos;
    // At most two bytes per unit: short lines are never longer than the limit.
    if (len * 2 <= MaxLineBytes)
        return m_text.mid(m_pos, len);
    bytes();
    if (!m_truncated)
        return m_text.mid(m_pos, len);
    return cp932::cutToWidth(m_text.mid(m_pos, qMin(len, PrefixUnits)), MaxLineBytes);
}

void LineBuffer::remove() {
    if (!hasLines())
        return;
    locate();
    m_pos = m_next;
    m_located = false;
    m_haveBytes = false;
}

void LineBuffer::clear() {
    m_pos = m_text.size();
    m_located = false;
    m_haveBytes = false;
}

QByteArray LineBuffer::Reader::nextBytes() {
    if (atEnd())
        return QByteArray();
    qsizetype end = 0, next = 0;
    findLineEnd(m_text, m_pos, end, next);
    QByteArray b = lineBytes(m_text, m_pos, end, nullptr);
    m_pos = next;
    return b;
}

} // namespace quil
