// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stored order of a table's rows: row ids with their ordering keys, by
// position. Kept as a gap buffer whose gap follows the last change, so that
// deleting or inserting record after record while walking forward costs a
// constant time each instead of moving the whole tail every time. Internal
// to the engine.
#include <QtGlobal>

#include <vector>

namespace quil {

class RowOrder {
public:
    int size() const { return int(m_id.size() - gap()); }
    bool empty() const { return size() == 0; }

    qint64 id(int pos) const { return m_id[phys(pos)]; }
    double key(int pos) const { return m_key[phys(pos)]; }
    void setKey(int pos, double key) { m_key[phys(pos)] = key; }

    // Position of a row id; -1 when absent.
    int indexOf(qint64 id) const;

    void clear();
    void reserve(int n);
    // Appends at the end (reading the order from the file).
    void pushBack(qint64 id, double key);
    void insert(int pos, qint64 id, double key);
    void erase(int pos);

private:
    size_t gap() const { return m_gapEnd - m_gapStart; }
    size_t phys(int pos) const { return size_t(pos) < m_gapStart ? size_t(pos) : size_t(pos) + gap(); }
    // Moves the gap so that it starts at logical position pos.
    void moveGap(size_t pos);
    void grow();

    std::vector<qint64> m_id;
    std::vector<double> m_key;
    size_t m_gapStart = 0, m_gapEnd = 0;
};

} // namespace quil
