// Start-up: session settings and the initial session variables.
#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/jpk_dbf.h"
#include "tests/support/test_runtime.h"

using testing_support::TestRuntime;

TEST(Startup, GenerationTimeAlwaysUsesTwoDigits) {
  EXPECT_EQ(app::generation_time({2027, 3, 1, 8, 5, 9, 0}), "2027-03-01T08:05:09");
  EXPECT_EQ(app::generation_time({2026, 12, 9, 23, 43, 41, 0}), "2026-12-09T23:43:41");
}

TEST(Startup, SessionVariablesStartWithTheirValues) {
  TestRuntime t({2027, 3, 1, 8, 5, 9, 0});
  t.rt.vars.J_USUN_PL = "2";
  t.rt.vars.DATA_OD = "x";
  app::apply_session_settings(t.rt);
  app::create_session_variables(t.rt);
  app::create_row_buffer(t.rt);
  const auto& v = t.rt.vars;
  EXPECT_EQ(v.STACJA, 1);
  EXPECT_EQ(v.J_USUN_PL, "1");
  EXPECT_EQ(v.M_CEL, "1");
  EXPECT_EQ(v.DATA_WYT, "2027-03-01T08:05:09");
  EXPECT_EQ(v.DATA_OD, "");
  EXPECT_EQ(v.DATA_DO, "");
  EXPECT_EQ(v.POLE, "");
  EXPECT_FALSE(t.rt.screen.cursor_on());
  EXPECT_EQ(t.rt.screen.color(), "");
  EXPECT_EQ(*v.row.find("M_S_Z"), " ");
  EXPECT_EQ(*v.row.find("M_LP_NEW"), "      ");
  EXPECT_EQ(v.row.find("M_NODB")->size(), 120u);
  EXPECT_EQ(*v.row.find("M_DATA"), "");
  EXPECT_EQ(v.row.find("M_K49"), nullptr);
  EXPECT_EQ(v.row.size(), 57u);
}
