// The XML reader on any text, as a document and as a service reply. What must hold:
//  - a walk ends, with no more nodes than the text has bytes;
//  - every end node closes the innermost open start node with children, and a walk that
//    ends without an error has closed them all (a reply cut short may leave them open);
//  - no value comes from outside the document: a file the document names as an external
//    entity or DTD never shows up in what is read;
//  - the text as a file shows the same moves (node, result, error, end, bytes read)
//    whether it is parsed ahead on a thread of its own or in line, and so does the text
//    opened as a document in memory (a package inflated there).

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
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
  Check((status < 0) == (reader.status().code() > 0), "a failed read has an error code");
  if (reader.status().code() == 0 && !reply)
    Check(open.empty(), "every start node gets its end node");
  Check(reader.Read() < 1, "nothing after the end");
  const int32_t code = reader.status().code();
  reader.Close();
  Check(reader.status().code() == code, "the error code stays readable after Close");
}

// Every move of a walk over the document `open` opens, as the reader shows it.
std::vector<std::string> Moves(const std::function<void(kalu::XmlReader&)>& open) {
  kalu::XmlReader reader;
  open(reader);
  std::vector<std::string> moves;
  int16_t status = 1;
  while (status >= 1) {
    status = reader.Read();
    moves.push_back(std::to_string(status) + " " + std::to_string(reader.NodeType()) + " " +
                    reader.Name() + "=" + reader.Value() + " " +
                    std::to_string(reader.status().code()) + " " + std::to_string(reader.Eof()) +
                    " " + std::to_string(reader.BytesRead()));
  }
  moves.push_back(std::to_string(reader.Read()) + " " + reader.status().text());
  reader.Close();
  moves.push_back(std::to_string(reader.status().code()));
  return moves;
}

void CompareParses(std::string_view document) {
  // One file per process: targets may run side by side.
  static const std::string file = "/tmp/kalu-fuzz-document-" + std::to_string(getpid()) + ".xml";
  const char* kDocumentFile = file.c_str();
  std::FILE* f = std::fopen(kDocumentFile, "wb");
  if (!f) return;
  std::fwrite(document.data(), 1, document.size(), f);
  std::fclose(f);
  using Parse = kalu::XmlReader::Parse;
  const std::vector<std::string> inLine =
      Moves([&](kalu::XmlReader& r) { r.Open(kDocumentFile, Parse::InLine); });
  Check(Moves([&](kalu::XmlReader& r) { r.Open(kDocumentFile, Parse::Ahead); }) == inLine,
        "a file parsed ahead shows what an in-line walk shows");
  Check(Moves([&](kalu::XmlReader& r) {
          r.OpenDocument(kDocumentFile, std::string(document), Parse::Ahead);
        }) == inLine,
        "a document in memory shows what its file shows");
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
  CompareParses(document);
  return 0;
}
