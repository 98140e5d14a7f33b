// A package rewritten in place on a store's Windows PC, where other programs hold files
// open and packages come read-only from a medium.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/replacement_file.h"
#include "support/test_support.h"

namespace kalu {
namespace {

// A handle as an antivirus scanner or a backup agent opens it: others may read and write,
// nobody may delete or rename the file.
HANDLE Hold(const std::filesystem::path& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(WindowsReplacement, APackageHeldOrReadOnlyIsReplacedOnceItCanBe) {
  test::WorkFolder wf;
  const std::filesystem::path package = wf.Path() / "DATOS.XMZ";
  std::ofstream(package, std::ios::binary) << "comprimido";

  // Let go a second later: the replacement waits for it.
  HANDLE held = Hold(package);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread letGo([held] {
    Sleep(1000);
    CloseHandle(held);
  });
  Status written = ReplaceFileContent(package, "<DATOS/>", 8);
  EXPECT_TRUE(written.ok()) << written.text();
  letGo.join();
  EXPECT_EQ(test::ReadText(package), "<DATOS/>");

  // Held for longer than the replacement waits: the former content stays, and the failure
  // says why.
  held = Hold(package);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  written = ReplaceFileContent(package, "<OTRO/>", 7);
  EXPECT_FALSE(written.ok());
  EXPECT_NE(written.text().find("DATOS.XMZ"), std::string::npos) << written.text();
  CloseHandle(held);
  EXPECT_EQ(test::ReadText(package), "<DATOS/>");

  // Read-only, as copied from a medium.
  ASSERT_TRUE(SetFileAttributesW(package.c_str(), FILE_ATTRIBUTE_READONLY));
  written = ReplaceFileContent(package, "<NUEVO/>", 8);
  EXPECT_TRUE(written.ok()) << written.text();
  EXPECT_EQ(test::ReadText(package), "<NUEVO/>");
}

}  // namespace
}  // namespace kalu
