// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/RowOrder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace quil;

// The gap buffer must behave exactly like a plain list under any mix of
// inserts and erases, wherever they fall.
TEST(RowOrder, BehavesLikeAPlainListUnderRandomEdits) {
    std::mt19937 rng(7);
    RowOrder order;
    std::vector<std::pair<qint64, double>> model;
    qint64 nextId = 1;
    for (int step = 0; step < 20000; ++step) {
        const int op = int(rng() % 10);
        const int n = int(model.size());
        if (op < 5 || n == 0) {
            const int pos = n == 0 ? 0 : int(rng() % (n + 1));
            order.insert(pos, nextId, double(nextId) / 2);
            model.insert(model.begin() + pos, {nextId, double(nextId) / 2});
            ++nextId;
        } else if (op < 9) {
            // Mostly walking forward from a point, as a bulk deletion does.
            const int pos = int(rng() % n);
            order.erase(pos);
            model.erase(model.begin() + pos);
        } else {
            const int pos = int(rng() % n);
            order.setKey(pos, -1.0 * step);
            model[size_t(pos)].second = -1.0 * step;
        }
        ASSERT_EQ(order.size(), int(model.size()));
        if (step % 97 == 0) {
            for (int i = 0; i < order.size(); ++i) {
                ASSERT_EQ(order.id(i), model[size_t(i)].first) << "step " << step << " pos " << i;
                ASSERT_EQ(order.key(i), model[size_t(i)].second);
            }
            if (!model.empty()) {
                const auto &probe = model[size_t(rng() % model.size())];
                int expected = int(std::find(model.begin(), model.end(), probe) - model.begin());
                ASSERT_EQ(order.indexOf(probe.first), expected);
            }
            ASSERT_EQ(order.indexOf(nextId + 5), -1);
        }
    }
}

TEST(RowOrder, SequentialDeletionFromAPointKeepsTheRest) {
    RowOrder order;
    for (int i = 0; i < 1000; ++i)
        order.pushBack(i + 1, i + 1.0);
    // Delete every other row from position 100 on, walking forward.
    int pos = 100;
    while (pos < order.size()) {
        order.erase(pos);
        ++pos;
    }
    ASSERT_EQ(order.size(), 100 + 450);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order.id(i), i + 1);
    for (int i = 100; i < order.size(); ++i)
        EXPECT_EQ(order.id(i), 100 + 2 * (i - 100) + 2);
    order.clear();
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(order.indexOf(1), -1);
}
