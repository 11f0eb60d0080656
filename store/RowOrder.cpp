// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/RowOrder.h"

#include <algorithm>

namespace quil {

int RowOrder::indexOf(qint64 id) const {
    auto before = std::find(m_id.begin(), m_id.begin() + std::ptrdiff_t(m_gapStart), id);
    if (before != m_id.begin() + std::ptrdiff_t(m_gapStart))
        return int(before - m_id.begin());
    auto after = std::find(m_id.begin() + std::ptrdiff_t(m_gapEnd), m_id.end(), id);
    if (after != m_id.end())
        return int(after - m_id.begin() - std::ptrdiff_t(gap()));
    return -1;
}

void RowOrder::clear() {
    m_id.clear();
    m_key.clear();
    m_gapStart = m_gapEnd = 0;
}

void RowOrder::reserve(int n) {
    moveGap(size_t(size()));
    m_id.reserve(size_t(n));
    m_key.reserve(size_t(n));
}

void RowOrder::pushBack(qint64 id, double key) { insert(size(), id, key); }

void RowOrder::moveGap(size_t pos) {
    if (pos == m_gapStart)
        return;
    const size_t g = gap();
    if (g == 0) {
        m_gapStart = m_gapEnd = pos;
        return;
    }
    if (pos < m_gapStart) {
        // Rows pos..gapStart move up behind the gap.
        std::move_backward(m_id.begin() + std::ptrdiff_t(pos), m_id.begin() + std::ptrdiff_t(m_gapStart),
                           m_id.begin() + std::ptrdiff_t(m_gapEnd));
        std::move_backward(m_key.begin() + std::ptrdiff_t(pos), m_key.begin() + std::ptrdiff_t(m_gapStart),
                           m_key.begin() + std::ptrdiff_t(m_gapEnd));
    } else {
        // Rows after the gap up to pos move down in front of it.
        std::move(m_id.begin() + std::ptrdiff_t(m_gapEnd), m_id.begin() + std::ptrdiff_t(pos + g),
                  m_id.begin() + std::ptrdiff_t(m_gapStart));
        std::move(m_key.begin() + std::ptrdiff_t(m_gapEnd), m_key.begin() + std::ptrdiff_t(pos + g),
                  m_key.begin() + std::ptrdiff_t(m_gapStart));
    }
    m_gapStart = pos;
    m_gapEnd = pos + g;
}

void RowOrder::grow() {
    // Close the gap at the end, then open a new one there.
    moveGap(size_t(size()));
    const size_t n = m_id.size() - gap();
    m_id.resize(n);
    m_key.resize(n);
    const size_t extra = std::max<size_t>(16, n / 2);
    m_id.resize(n + extra);
    m_key.resize(n + extra);
    m_gapStart = n;
    m_gapEnd = n + extra;
}

void RowOrder::insert(int pos, qint64 id, double key) {
    if (gap() == 0)
        grow();
    moveGap(size_t(pos));
    m_id[m_gapStart] = id;
    m_key[m_gapStart] = key;
    ++m_gapStart;
}

void RowOrder::erase(int pos) {
    // The row just after the gap, or just before it, is taken in without moving anything.
    if (size_t(pos) == m_gapStart) {
        ++m_gapEnd;
        return;
    }
    if (size_t(pos) + 1 == m_gapStart) {
        --m_gapStart;
        return;
    }
    moveGap(size_t(pos));
    ++m_gapEnd;
}

} // namespace quil
