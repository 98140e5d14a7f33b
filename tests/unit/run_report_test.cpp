// The run's JSON report.

#include "app/run_report.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

namespace kalu {

TEST(RunReport, TimesAreLocalWithTheirOffset) {
  std::string text = IsoLocalTime(std::chrono::system_clock::now());
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
      << text;
}

}  // namespace kalu
