// The workstation's name as the Linux system gives it (tests/windows holds the Windows one).

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/process.h"
#include "runtime/text.h"

namespace kalu {
namespace {

TEST(Texts, WorkstationName) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(WorkstationName(255), Trim(host));
  EXPECT_EQ(WorkstationName(2), Trim(std::string(host).substr(0, 2)));
  EXPECT_EQ(WorkstationName(0), "");
}

}  // namespace
}  // namespace kalu
