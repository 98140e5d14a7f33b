#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "packages/package_format.h"
#include "packages/pfunciones_mod.h"
#include "platform/replacement_file.h"
#include "platform/xml.h"
#include "runtime/errors.h"
#include "support/test_support.h"

namespace kalu {
namespace {

namespace fs = std::filesystem;

const std::string kFormatMessage =
    ": Se tratara de desencriptar el archivo, pero esta incorrecto el formato ";

std::string Bytes(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A document of exactly `size` bytes.
std::string Document(std::size_t size) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>";
  const std::string end = "</r>";
  while (doc.size() + end.size() < size) doc += "<a>x</a>";
  doc.resize(size - end.size(), ' ');
  return doc + end;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  return names;
}

TEST(Package, SizeFieldOf1000BecomesA1000ByteDocument) {
  test::WorkFolder folder;
  test::TestContext ctx;
  const std::string doc = Document(1000);
  ASSERT_EQ(doc.size(), 1000u);
  folder.Write("Importar/DATOS.XMZ", Bytes(PackDocument(doc)));

  DecompressPackageFile(*ctx, ".\\Importar", "DATOS.XMZ");

  EXPECT_EQ(ReadFile(folder.Path() / "Importar/DATOS.XMZ"), doc);
  EXPECT_TRUE(ctx.display.messages.empty());
  EXPECT_EQ(FilesIn(folder.Path() / "Importar"), std::vector<std::string>{"DATOS.XMZ"});
  XmlReader reader;
  reader.Open(".\\importar\\DATOS.XMZ");
  EXPECT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.Name(), "r");
}

// A package rewritten in place removes the temporary copies of itself that an earlier run
// left when it was killed, and nothing else: not those of other files, not a name only
// like them, not the copy of a writer that is still at work.
TEST(Package, ARewriteRemovesOnlyTheStaleTemporaryCopiesOfItsOwnPackage) {
  struct Case {
    const char* name;
    bool temporaryOfDatos;
  };
  const Case cases[] = {
      {".DATOS.XMZ.oZ1uae", true},  {".DATOS.XMZ.SS05S3", true},   {".DATOS.XMZ.abc", false},
      {".DATOS.XMZ.ab-cde", false}, {".DATOS.XMZ.abcdefg", false}, {"DATOS.XMZ.oZ1uae", false},
      {".datos.xmz.oZ1uae", false}, {".SQLPG.XMZ.oZ1uae", false},  {"..DATOS.XMZ.oZ1uae", false},
  };
  test::WorkFolder folder;
  test::TestContext ctx;
  folder.Write("Importar/DATOS.XMZ", Bytes(PackDocument("<r/>")));
  std::vector<std::string> kept = {"DATOS.XMZ"};
  for (const Case& c : cases) {
    EXPECT_EQ(IsTemporaryOf(c.name, "DATOS.XMZ"), c.temporaryOfDatos) << c.name;
    folder.Write(std::string("Importar/") + c.name, "a copy");
    if (!c.temporaryOfDatos) kept.push_back(c.name);
  }
  fs::create_directory(folder.Path() / "Importar/.DATOS.XMZ.dir001");
  kept.push_back(".DATOS.XMZ.dir001");
  {
    ReplacementFile writing(folder.Path() / "Importar/DATOS.XMZ");
    ASSERT_TRUE(writing.IsOpen()) << writing.status().text();
    DecompressPackageFile(*ctx, ".\\Importar", "DATOS.XMZ");
    std::vector<std::string> files = FilesIn(folder.Path() / "Importar");
    EXPECT_EQ(files.size(), kept.size() + 1);  // and the copy being written
  }
  std::vector<std::string> files = FilesIn(folder.Path() / "Importar");
  std::sort(files.begin(), files.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(files, kept);
  EXPECT_EQ(ReadFile(folder.Path() / "Importar/DATOS.XMZ"), "<r/>");
}

TEST(Package, FolderWithAndWithoutTrailingBackslashNameTheSameFile) {
  for (const char* folderText : {".\\Importar", ".\\Importar\\", ".\\importar", "Importar\\"}) {
    test::WorkFolder folder;
    test::TestContext ctx;
    folder.Write("Importar/CP_SAT_CFDI33.XMZ", Bytes(PackDocument("<r><c>Ñ</c></r>")));
    DecompressPackageFile(*ctx, folderText, "CP_SAT_CFDI33.XMZ");
    EXPECT_EQ(ReadFile(folder.Path() / "Importar/CP_SAT_CFDI33.XMZ"), "<r><c>Ñ</c></r>")
        << folderText;
    EXPECT_TRUE(ctx.display.messages.empty()) << folderText;
  }
}

TEST(Package, MissingOrEmptyPackageRaisesBeforeAnythingIsTouched) {
  struct Case {
    const char* what;
    const char* content;  // nullptr: no file
    int32_t error;
  };
  for (const Case& c : {Case{"missing", nullptr, kErrFileNotFound}, Case{"empty", "", 62},
                        Case{"shorter than the size field", "ab", 62}}) {
    test::WorkFolder folder;
    test::TestContext ctx;
    fs::create_directories(folder.Path() / "Importar");
    if (c.content) folder.Write("Importar/DATOS.XMZ", c.content);
    try {
      DecompressPackageFile(*ctx, ".\\Importar", "DATOS.XMZ");
      ADD_FAILURE() << c.what << ": no run-time error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), c.error) << c.what;
    }
    const fs::path package = folder.Path() / "Importar/DATOS.XMZ";
    EXPECT_EQ(fs::exists(package), c.content != nullptr) << c.what;
    if (c.content) {
      EXPECT_EQ(ReadFile(package), c.content) << c.what;
    }
    EXPECT_EQ(FilesIn(folder.Path() / "Importar").size(), c.content ? 1u : 0u) << c.what;
    EXPECT_TRUE(ctx.display.messages.empty()) << c.what;
  }
}

TEST(Package, FailedInflationShowsTheCodeAndKeepsTheFormerBytes) {
  std::string damaged = Bytes(PackDocument(Document(5000)));
  damaged[20] ^= 0x55;  // inside the deflate data
  damaged[21] ^= 0x55;
  std::string truncated = Bytes(PackDocument(Document(5000)));
  truncated.resize(truncated.size() / 2);
  std::string sizeTooSmall = Bytes(PackDocument(Document(5000)));
  sizeTooSmall[0] = static_cast<char>(0xE8);  // 1000 instead of 5000
  sizeTooSmall[1] = 0x03;
  std::string negative = Bytes(PackDocument(Document(100)));
  negative[3] = static_cast<char>(0x80);
  struct Case {
    const char* what;
    std::string content;
    int32_t code;
  };
  const std::vector<Case> cases = {
      {"damaged payload", damaged, -3},
      {"not a zlib stream", std::string("\x10\x00\x00\x00", 4) + "this is no zlib stream", -3},
      {"truncated stream", truncated, -3},
      {"size field too small", sizeTooSmall, -5},
      {"negative size field", negative, -5},
      {"plain XML", Document(300), -5},
  };
  for (const auto& c : cases) {
    test::WorkFolder folder;
    test::TestContext ctx;
    folder.Write("Importar/SQLPG.XMZ", c.content);
    DecompressPackageFile(*ctx, ".\\Importar\\", "SQLPG.XMZ");
    EXPECT_EQ(ctx.display.messages,
              std::vector<std::string>{"ERROR " + std::to_string(c.code) + kFormatMessage})
        << c.what;
    EXPECT_EQ(ReadFile(folder.Path() / "Importar/SQLPG.XMZ"), c.content) << c.what;
    EXPECT_EQ(FilesIn(folder.Path() / "Importar").size(), 1u) << c.what;
  }
}

TEST(Package, SecondInflationShowsTheMessageAndLeavesTheXml) {
  test::WorkFolder folder;
  test::TestContext ctx;
  const std::string doc = Document(20000);
  folder.Write("Importar/CATCOLONIAS.XMZ", Bytes(PackDocument(doc)));
  DecompressPackageFile(*ctx, ".\\Importar", "CATCOLONIAS.XMZ");
  ASSERT_TRUE(ctx.display.messages.empty());
  auto start = std::chrono::steady_clock::now();
  DecompressPackageFile(*ctx, ".\\Importar", "CATCOLONIAS.XMZ");
  // "<?xm" read as a size is about a billion bytes: refused without trying to allocate it.
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_EQ(ctx.display.messages, std::vector<std::string>{"ERROR -5" + kFormatMessage});
  EXPECT_EQ(ReadFile(folder.Path() / "Importar/CATCOLONIAS.XMZ"), doc);
}

TEST(Package, InflateBufferRules) {
  const std::string doc = Document(1010);
  std::vector<uint8_t> packed = PackDocument(doc);
  auto inputWithSize = [&](int32_t size) {
    std::vector<uint8_t> file = packed;
    for (int i = 0; i < 4; ++i)
      file[i] = static_cast<uint8_t>(static_cast<uint32_t>(size) >> (8 * i));
    return SplitPackage(file);
  };
  struct Case {
    const char* what;
    int32_t size;
    int32_t code;
  };
  for (const Case& c :
       {Case{"exact size", 1010, 0}, Case{"larger size", 5000, 0},
        Case{"1 % + 12 of headroom suffices", 990, 0}, Case{"less headroom fails", 900, -5},
        Case{"negative", -1, -5}, Case{"impossible for the payload", 2000000000, -5}}) {
    PackageInput input = inputWithSize(c.size);
    ASSERT_EQ(input.declaredSize, c.size);
    ASSERT_EQ(input.buffer.size(), packed.size());
    const std::vector<uint8_t> before = input.buffer;
    EXPECT_EQ(InflateBuffer(input.buffer, c.size).code(), c.code) << c.what;
    if (c.code == 0) {
      EXPECT_EQ(Bytes(input.buffer), doc) << c.what;
    } else {
      EXPECT_EQ(input.buffer, before) << c.what << ": the buffer is left as it was";
    }
  }
}

TEST(Package, CapacityRoundsHalfToEven) {
  EXPECT_EQ(InflateCapacity(1000), 1022);
  EXPECT_EQ(InflateCapacity(50), 62);    // 62.5
  EXPECT_EQ(InflateCapacity(150), 164);  // 163.5
  EXPECT_EQ(InflateCapacity(0), 12);
}

int RunTool(const std::string& arguments, std::string* output = nullptr) {
  const fs::path log = fs::current_path() / "xmz.out";
  const std::string command =
      (test::BinaryDir() / "xmz").string() + " " + arguments + " >" + log.string() + " 2>&1";
  int status = std::system(command.c_str());
  if (output) *output = ReadFile(log);
  fs::remove(log);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(XmzTool, FiftyMegabyteRoundTripAndInflationInPlace) {
  test::WorkFolder folder;
  test::TestContext ctx;
  std::string doc = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<CATALOGO>\n";
  for (long long i = 0; doc.size() < 50u * 1024 * 1024; ++i) {
    doc += "<COLONIA><CP>" + std::to_string(10000 + i % 90000) + "</CP><NOMBRE>Colonia " +
           std::to_string(i * 7919 % 100003) + " \xd1" + "u\xf1oa</NOMBRE></COLONIA>\n";
  }
  doc += "</CATALOGO>\n";
  folder.Write("big.xml", doc);

  ASSERT_EQ(RunTool("pack big.xml BIG.XMZ"), 0);
  ASSERT_EQ(RunTool("unpack BIG.XMZ back.xml"), 0);
  EXPECT_TRUE(ReadFile(folder.Path() / "back.xml") == doc) << "unpack gives other bytes";
  std::string said;
  EXPECT_EQ(RunTool("check BIG.XMZ", &said), 0);
  EXPECT_NE(said.find("size field " + std::to_string(doc.size())), std::string::npos) << said;

  fs::create_directories(folder.Path() / "Importar");
  fs::rename(folder.Path() / "BIG.XMZ", folder.Path() / "Importar/CATCOLONIAS.XMZ");
  DecompressPackageFile(*ctx, ".\\Importar", "CATCOLONIAS.XMZ");
  EXPECT_TRUE(ctx.display.messages.empty());
  EXPECT_TRUE(ReadFile(folder.Path() / "Importar/CATCOLONIAS.XMZ") == doc)
      << "the package does not inflate to the document";
}

TEST(XmzTool, BadInputGivesAMessageAndAnExitStatus) {
  test::WorkFolder folder;
  folder.Write("plain.xml", Document(400));
  folder.Write("empty.XMZ", "");
  folder.Write("good.xml", "<r/>");
  struct Case {
    std::string arguments;
    int status;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"check plain.xml", 1, "does not inflate: zlib code -5"},
      {"unpack plain.xml out.xml", 1, "does not inflate"},
      {"check empty.XMZ", 1, "too short for a package"},
      {"check missing.XMZ", 1, "cannot read missing.XMZ"},
      {"pack missing.xml out.XMZ", 1, "cannot read missing.xml"},
      {"pack good.xml", 2, "usage: xmz pack"},
      {"", 2, "usage:"},
      {"explode x", 2, "usage:"},
  };
  for (const auto& c : cases) {
    std::string said;
    EXPECT_EQ(RunTool(c.arguments, &said), c.status) << c.arguments;
    EXPECT_NE(said.find(c.says), std::string::npos) << c.arguments << ": " << said;
  }
  EXPECT_FALSE(fs::exists(folder.Path() / "out.xml"));
  EXPECT_FALSE(fs::exists(folder.Path() / "out.XMZ"));
}

}  // namespace
}  // namespace kalu
