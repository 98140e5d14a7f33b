#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "procedures/pvalidauuid.h"
#include "support/test_support.h"

namespace kalu {
namespace {

struct UuidCase {
  const char* name;
  std::string text;
  int16_t ok;
  // How many characters of the trimmed text show " ok" before the check ends, and whether
  // it ends on a failing character (an empty progress text); -1: the display is untouched.
  int passed;
  bool failed;
};

std::string Trimmed(const std::string& s) {
  auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string()
                                    : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The progress texts the check must leave: each passing character followed by " ok", then
// an empty text when a character failed.
std::vector<std::string> ExpectedProgress(const UuidCase& c) {
  std::vector<std::string> texts;
  if (c.passed < 0) return texts;
  std::string t = Trimmed(c.text);
  for (int i = 0; i < c.passed; ++i) texts.push_back(std::string(1, t[i]) + " ok");
  if (c.failed) texts.emplace_back();
  return texts;
}

TEST(PVALIDAUUID, FormOfTheStampIdentifier) {
  const std::vector<UuidCase> cases = {
      {"all zero", "00000000-0000-0000-0000-000000000000", 1, 36, false},
      {"upper case", "6F9619FF-8B86-D011-B42D-00C04FC964FF", 1, 36, false},
      {"lower case", "a1b2c3d4-e5f6-4711-8899-aabbccddeeff", 1, 36, false},
      {"mixed case", "A1b2C3d4-E5f6-4711-8899-AaBbCcDdEeFf", 1, 36, false},
      {"blanks around", "   00000000-0000-0000-0000-00000000000a  ", 1, 36, false},
      {"hyphen one place early", "0000000-00000-0000-0000-000000000000", 0, 7, true},
      {"hyphen one place late", "000000000-000-0000-0000-000000000000", 0, 8, true},
      {"hyphen at a digit place", "00000000-0000-0000-0000-0000-0000000", 0, 28, true},
      {"letter beyond f", "0000000g-0000-0000-0000-000000000000", 0, 7, true},
      {"blank inside", "00000000-0000-0000-0000 000000000000", 0, 23, true},
      {"blank at a digit place", "00000000-00 0-0000-0000-000000000000", 0, 11, true},
      {"accented letter counts as one character", "00000000-0000-0000-0000-00000000000\xC3\xA9", 0,
       35, true},
      {"32 digits without hyphens", "00000000000000000000000000000000", 0, -1, false},
      {"38 characters in braces", "{00000000-0000-0000-0000-000000000000}", 0, -1, false},
      {"empty", "", 0, -1, false},
      {"only blanks", "     ", 0, -1, false},
      {"37 characters", "00000000-0000-0000-0000-0000000000000", 0, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestContext t;
    std::string key = c.text;
    EXPECT_EQ(PVALIDAUUID(*t).Run(key), c.ok == 1);
    EXPECT_EQ(key, c.text) << "the candidate is not changed";
    EXPECT_EQ(t.display.progress, ExpectedProgress(c));
    // What stays on the display: the last character and " ok" after a valid identifier,
    // nothing after an invalid one.
    EXPECT_EQ(t.display.LastProgress(), c.ok == 1 ? Trimmed(c.text).substr(35) + " ok" : "");
    EXPECT_FALSE(t.session.IsConnected()) << "the check touches no table";
    EXPECT_EQ(t->sequenceOnly.desktopDb.Idles(), 1);
  }
}

}  // namespace
}  // namespace kalu
