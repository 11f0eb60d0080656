// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two data modules over fresh directories, both tables open: what the
// window-free commands work on.
#include "store/DataModules.h"
#include "tests/support/TestEnv.h"

#include <memory>

namespace quil::test {

class ModulesTest : public EnvTest {
protected:
    void SetUp() override {
        EnvTest::SetUp();
        magazines = std::make_unique<TDataModule1>();
        systems = std::make_unique<TMMagSysDataModule>();
        systems->Table2->open();
        magazines->Table1->open();
    }
    void TearDown() override {
        systems.reset();
        magazines.reset();
        EnvTest::TearDown();
    }

    Table &t() { return *magazines->Table1; }
    Table &s() { return *systems->Table2; }

    std::unique_ptr<TDataModule1> magazines;
    std::unique_ptr<TMMagSysDataModule> systems;
};

} // namespace quil::test
