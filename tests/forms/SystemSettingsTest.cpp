// Reading publishing-system settings files, without a window.
#include "forms/core/SystemSettings.h"
#include "store/DataModules.h"
#include "tests/support/TestEnv.h"

using namespace quil;
using namespace quil::test;

TEST(SystemSettings, NothingToReadAppendsNothing) {
    TempEnv env;
    TMMagSysDataModule systems;
    systems.Table2->open();
    const int before = systems.Table2->recordCount();
    EXPECT_EQ(readSystemSettings(*systems.Table2, {"no block here"}), 0);
    EXPECT_EQ(systems.Table2->recordCount(), before);
}
