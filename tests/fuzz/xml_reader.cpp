// The XML reader on any text, as a document and as a service reply. What must hold:
//  - a walk ends, with no more nodes than the text has bytes;
//  - every end node closes the innermost open start node with children, and a walk that
//    ends without an error has closed them all (a reply cut short may leave them open);
//  - no value comes from outside the document: a file the document names as an external
//    entity or DTD never shows up in what is read.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "platform/xml.h"

namespace {

using kalu::fuzz::Check;

// A file that documents of the corpus name as an external entity and DTD.
constexpr const char* kOutsideFile = "/tmp/kalu-fuzz-outside.txt";
constexpr std::string_view kOutsideText = "KALU-FUZZ-OUTSIDE-TEXT";

void Walk(std::string_view document, bool reply) {
  kalu::XmlReader reader;
  if (reply) {
    reader.OpenReplyText(document);
  } else {
    reader.OpenText(document);
  }
  const bool mayHoldOutsideText = document.find(kOutsideText) != std::string_view::npos;
  std::vector<std::string> open;
  std::size_t nodes = 0;
  int16_t status = 0;
  while ((status = reader.Read()) >= 1) {
    Check(++nodes <= document.size(), "a walk has no more nodes than bytes");
    if (!mayHoldOutsideText) {
      Check(reader.Value().find(kOutsideText) == std::string::npos, "a value from outside");
      for (int16_t i = 0; i < reader.AttributeCount(); ++i) {
        Check(reader.AttributeValue(i).find(kOutsideText) == std::string::npos,
              "an attribute from outside");
      }
    }
    if (reader.NodeType() == kalu::XmlReader::kElement && reader.HasChildElements()) {
      open.push_back(reader.Name());
    } else if (reader.NodeType() == kalu::XmlReader::kEndTag) {
      Check(!open.empty() && open.back() == reader.Name(), "an end node closes its start");
      open.pop_back();
    }
  }
  Check(reader.Eof(), "a walk ends at the end of the input");
  Check((status < 0) == (reader.ErrCode() > 0), "a failed read has an error code");
  if (reader.ErrCode() == 0 && !reply) Check(open.empty(), "every start node gets its end node");
  Check(reader.Read() < 1, "nothing after the end");
  const int16_t code = reader.ErrCode();
  reader.Close();
  Check(reader.ErrCode() == code, "the error code stays readable after Close");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::FILE* f = std::fopen(kOutsideFile, "w")) {
    std::fprintf(f, "%s", std::string(kOutsideText).c_str());
    std::fclose(f);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view document(reinterpret_cast<const char*>(data), size);
  Walk(document, false);
  Walk(document, true);
  return 0;
}
