#include "platform/xml.h"

#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// The reader never loads a DTD, never touches the network and never substitutes entities
// (no XML_PARSE_NOENT, XML_PARSE_DTDLOAD or XML_PARSE_HUGE): an entity reference stays a
// reference, and the parser's own limits on text size and entity amplification stay on.
constexpr int kReaderOptions = XML_PARSE_NONET | XML_PARSE_NOWARNING;

// The kind of the separate text (CDATA) node, as the DOM numbers a CDATA section.
constexpr int16_t kTextNodeKind = 4;

// Error code of a document that could not be opened at all.
constexpr int16_t kErrCannotOpen = XML_IO_LOAD_ERROR;

// A failing writer call is raised as "Automation error", as the failing call of a
// component would be.
constexpr int32_t kErrAutomation = 440;

std::string Text(const xmlChar* s) {
  return s ? reinterpret_cast<const char*>(s) : std::string();
}

// A line end is LF to an XML processor: CR LF and a lone CR as written become LF before
// parsing, inside CDATA sections as well. The parser does so for text (where "&#13;"
// still gives a CR) but hands CDATA sections on as written; there every CR is one
// written, since no reference is recognised inside a CDATA section.
std::string NormalizedLineEnds(std::string text) {
  if (text.find('\r') == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
      continue;
    }
    out += '\n';
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

struct ReaderDeleter {
  void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};

// The library is checked, and made ready for threads, before its first use: a library of
// another major version than the headers' ends the program with the library's own message.
void CheckLibrary() {
  static const bool checked = [] {
    LIBXML_TEST_VERSION;
    return true;
  }();
  (void)checked;
}

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int Get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) CloseDescriptor(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// The library's read callback over a FileDescriptor: the bytes read, 0 at the end, -1 on
// a failure.
int ReadFromDescriptor(void* context, char* buffer, int length) {
  return ReadDescriptor(static_cast<FileDescriptor*>(context)->Get(), buffer, length);
}

// A document in memory, read by the library as it reads a file: a part at a time.
struct MemoryInput {
  const std::string* text = nullptr;
  std::size_t next = 0;
};

int ReadFromMemory(void* context, char* buffer, int length) {
  auto* input = static_cast<MemoryInput*>(context);
  const std::size_t n = std::min(static_cast<std::size_t>(length < 0 ? 0 : length),
                                 input->text->size() - input->next);
  std::memcpy(buffer, input->text->data() + input->next, n);
  input->next += n;
  return static_cast<int>(n);
}

// libxml2 reports a few failures (an encoding conversion that fails, a failed read) only
// through its generic error handler, which writes to standard error. While a reader's
// parser runs, this hands them to the reader instead, and puts the former handler back.
class GenericErrorsTo {
 public:
  GenericErrorsTo(void* context, xmlGenericErrorFunc handler)
      : formerContext_(xmlGenericErrorContext), former_(xmlGenericError) {
    xmlSetGenericErrorFunc(context, handler);
  }
  ~GenericErrorsTo() { xmlSetGenericErrorFunc(formerContext_, former_); }
  GenericErrorsTo(const GenericErrorsTo&) = delete;
  GenericErrorsTo& operator=(const GenericErrorsTo&) = delete;

 private:
  void* formerContext_;
  xmlGenericErrorFunc former_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Reader

struct XmlReader::Impl {
  struct Node {
    int16_t type = 0;
    std::string name;
    std::string localName;
    std::string namespaceUri;
    std::string value;
    bool empty = false;
    bool hasChildren = false;
    std::vector<std::pair<std::string, std::string>> attributes;
  };

  std::unique_ptr<xmlTextReader, ReaderDeleter> reader;
  FileDescriptor file;
  std::string document;  // the text a reader opened on a text or a document parses
  MemoryInput memory;    // where the library reads a document in memory

  std::deque<Node> pending;  // nodes already built by the look-ahead, in document order
  Node current;
  bool eof = false;
  bool holdParserNode = false;  // the parser stands on a node not yet turned into ours

  Status status;  // the first error: the parser's number (1 or more) and its text
  // A reply that simply stops (the connection cut it short) ends the input: the caller
  // finds its elements unclosed, as when a reply ends early, rather than a parse error.
  // Only errors that the parser raises at the cut count so: at or past the start of the
  // unfinished markup or text that ends the reply (`cutFrom`, a byte offset). An error
  // anywhere before it, on the last line as on any other, is the reader's error.
  bool reply = false;
  bool cutShort = false;
  long cutFrom = 0;
  // The first line the parser gave its generic error handler: what a failed read says.
  std::string genericError;

  std::function<void()> progress;  // told every `progressEvery` nodes read
  int progressEvery = 1;
  int64_t nodesRead = 0;

  // A file is parsed ahead on a thread of its own while its nodes are used: the thread
  // makes the very moves a reader without it would make, and hands each node on with what
  // the reader then showed (its result, error and bytes read), a few hundred at a time and
  // at most a few thousand ahead. The caller's moves take them in the same order.
  struct Move {
    Node node;
    int16_t rc = 0;
    int16_t errCode = 0;
    int64_t bytesRead = 0;
  };
  struct ReadAhead {
    static constexpr size_t kMovesPerHandOver = 256;
    static constexpr size_t kHandOversAhead = 8;
    std::mutex mutex;
    std::condition_variable handedOver;  // a batch is there, or the parse ended
    std::condition_variable taken;       // there is room again, or the reader closes
    std::deque<std::vector<Move>> batches;
    bool ended = false;          // the last move is handed over
    bool closing = false;        // the reader closes: the thread stops
    std::string errDescription;  // the parse's error, once there is one
    std::vector<Move> taking;    // the batch the caller is taking moves from
    size_t next = 0;
    std::thread thread;
  };
  std::unique_ptr<ReadAhead> ahead;
  bool parseAhead = false;  // the file opened is parsed ahead
  // What the caller's moves showed last, while a file is parsed ahead (the fields above
  // are then the thread's).
  int16_t shownErrCode = 0;
  std::string shownErrDescription;
  Status Shown() const {
    return shownErrCode == 0 ? Status() : Status(shownErrCode, shownErrDescription);
  }
  int64_t shownBytesRead = 0;
  bool shownEof = false;

  ~Impl() { StopReadAhead(); }

  void StopReadAhead() {
    if (!ahead) return;
    {
      std::lock_guard lock(ahead->mutex);
      ahead->closing = true;
    }
    ahead->taken.notify_all();
    if (ahead->thread.joinable()) ahead->thread.join();
    ahead.reset();
    // The reader keeps telling what its caller was shown.
    status = Shown();
  }

  // The thread's work: every move of the walk, to the end of the input.
  void ParseAhead() {
    std::vector<Move> batch;
    bool more = true;
    while (more) {
      Move move;
      try {
        move.rc = ParserMove(move.node);
      } catch (const std::exception& e) {  // no memory for a node
        SetError(XML_ERR_NO_MEMORY, std::string("The XML document could not be read: ") + e.what());
        eof = true;
        move.rc = -1;
      }
      move.errCode = static_cast<int16_t>(status.code());
      const long consumed = reader ? xmlTextReaderByteConsumed(reader.get()) : 0;
      move.bytesRead = consumed < 0 ? 0 : consumed;
      more = move.rc > 0;
      batch.push_back(std::move(move));
      if (batch.size() < ReadAhead::kMovesPerHandOver && more) continue;
      std::unique_lock lock(ahead->mutex);
      ahead->taken.wait(lock, [this] {
        return ahead->closing || ahead->batches.size() < ReadAhead::kHandOversAhead;
      });
      if (ahead->closing) return;
      if (!status.ok() && ahead->errDescription.empty()) ahead->errDescription = status.text();
      ahead->batches.push_back(std::move(batch));
      batch.clear();
      ahead->ended = !more;
      lock.unlock();
      ahead->handedOver.notify_one();
    }
  }

  // The caller's next move over a file parsed ahead.
  int16_t TakeMove() {
    if (ahead->next == ahead->taking.size()) {
      std::unique_lock lock(ahead->mutex);
      ahead->handedOver.wait(lock, [this] { return !ahead->batches.empty() || ahead->ended; });
      if (ahead->batches.empty()) {  // past the end: as a reader at its end answers
        current = Node();
        shownEof = true;
        return shownErrCode > 0 ? -1 : 0;
      }
      ahead->taking = std::move(ahead->batches.front());
      ahead->batches.pop_front();
      ahead->next = 0;
      if (shownErrDescription.empty()) shownErrDescription = ahead->errDescription;
      lock.unlock();
      ahead->taken.notify_one();
    }
    Move& move = ahead->taking[ahead->next++];
    current = std::move(move.node);
    shownErrCode = move.errCode;
    shownBytesRead = move.bytesRead;
    if (move.rc <= 0) shownEof = true;
    return move.rc;
  }

  void Reset() {
    StopReadAhead();
    shownErrCode = 0;
    shownErrDescription.clear();
    shownBytesRead = 0;
    shownEof = false;
    reader.reset();
    file.Reset();
    document.clear();
    document.shrink_to_fit();
    pending.clear();
    current = Node();
    eof = false;
    holdParserNode = false;
    progress = nullptr;
    nodesRead = 0;
  }

  // A document that cannot be opened has nothing to walk: Eof() is true at once.
  void OpenFailed(std::string description) {
    SetError(kErrCannotOpen, std::move(description));
    eof = true;
  }

  void SetError(int code, std::string description) {
    if (!status.ok()) return;  // the first error is the one that tells
    status = Status(code < 1 ? 1 : (code > INT16_MAX ? INT16_MAX : code), std::move(description));
  }

  // Called by the parser for every error; a document may hold thousands, so each costs
  // the same whatever the size of the document.
  static void OnError(void* self, xmlErrorPtr error) {
    auto* impl = static_cast<Impl*>(self);
    if (!error || error->level < XML_ERR_ERROR || !impl->status.ok() || impl->cutShort) return;
    if (impl->reply && xmlTextReaderByteConsumed(impl->reader.get()) >= impl->cutFrom) {
      impl->cutShort = true;
      return;
    }
    std::string message = error->message ? error->message : "XML error";
    for (char& c : message) {
      if (c == '\n') c = ' ';
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
    if (error->line > 0) message += " (line " + std::to_string(error->line) + ")";
    impl->SetError(error->code, std::move(message));
  }

  static void OnGenericError(void* self, const char* format, ...)
      __attribute__((format(printf, 2, 3))) {
    auto* impl = static_cast<Impl*>(self);
    if (impl->genericError.find('\n') != std::string::npos) return;  // its first line is kept
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    impl->genericError += text;
  }

  GenericErrorsTo GenericErrorsToThis() { return GenericErrorsTo(this, &Impl::OnGenericError); }

  void Start(xmlTextReader* created) {
    if (!created) {
      OpenFailed("The XML reader could not be created");
      return;
    }
    reader.reset(created);
    xmlTextReaderSetStructuredErrorHandler(reader.get(), &Impl::OnError, this);
  }

  // Where a cut of the reply would fall: a reply that ends in ">" can only be cut right
  // there; one that ends inside markup or text, at the last "<".
  long CutPoint() const {
    std::size_t end = document.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return 0;
    if (document[end] == '>') return static_cast<long>(end + 1);
    std::size_t lastMarkup = document.rfind('<', end);
    return lastMarkup == std::string::npos ? 0 : static_cast<long>(lastMarkup);
  }

  void OpenText(std::string_view xml, const char* url, bool isReply) {
    Reset();
    status = Status();
    reply = isReply;
    cutShort = false;
    genericError.clear();
    document.assign(xml);
    cutFrom = CutPoint();
    GenericErrorsTo guard = GenericErrorsToThis();
    Start(xmlReaderForMemory(document.data(), static_cast<int>(document.size()), url, nullptr,
                             kReaderOptions));
  }

  // The parser's current element start or end tag as a node of `type`.
  Node TagNode(int16_t type) const {
    xmlTextReader* r = reader.get();
    Node n;
    n.type = type;
    n.name = Text(xmlTextReaderConstName(r));
    n.localName = Text(xmlTextReaderConstLocalName(r));
    n.namespaceUri = Text(xmlTextReaderConstNamespaceUri(r));
    if (type != kElement) return n;
    n.empty = xmlTextReaderIsEmptyElement(r) == 1;
    if (xmlTextReaderHasAttributes(r) == 1) {
      while (xmlTextReaderMoveToNextAttribute(r) == 1) {
        n.attributes.emplace_back(Text(xmlTextReaderConstName(r)),
                                  Text(xmlTextReaderConstValue(r)));
      }
      xmlTextReaderMoveToElement(r);
    }
    return n;
  }

  static Node TextNode(std::string text) {
    Node n;
    n.type = kTextNodeKind;
    n.name = "#cdata-section";
    n.localName = n.name;
    n.value = NormalizedLineEnds(std::move(text));
    return n;
  }

  // The parser's next node: 1 when there is one, 0 at the end, below 0 on an error.
  int ParserRead() {
    if (holdParserNode) {
      holdParserNode = false;
      return 1;
    }
    int rc = 0;
    {
      GenericErrorsTo guard = GenericErrorsToThis();
      rc = xmlTextReaderRead(reader.get());
    }
    if (rc < 0 && !cutShort) {
      std::string why = genericError.substr(0, genericError.find('\n'));
      while (!why.empty() && why.back() == ' ') why.pop_back();
      SetError(XML_ERR_INTERNAL_ERROR,
               "The XML document could not be read" + (why.empty() ? "" : ": " + why));
    }
    return rc;
  }

  std::string EntityReference() const {
    std::string reference(1, '&');
    reference += Text(xmlTextReaderConstName(reader.get()));
    return reference += ';';
  }

  // An element start has just been read: reads on until its end (it holds only text) or
  // its first child element (it gets a start node and, later, an end node).
  int LookAhead(Node element) {
    std::string text;
    std::string cdata;
    bool hasCdata = false;
    for (;;) {
      int rc = ParserRead();
      if (rc <= 0) return rc < 0 ? rc : -1;  // an open element at the end is an error too
      switch (xmlTextReaderNodeType(reader.get())) {
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_WHITESPACE:
        case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
          text += Text(xmlTextReaderConstValue(reader.get()));
          break;
        case XML_READER_TYPE_CDATA:
          cdata += Text(xmlTextReaderConstValue(reader.get()));
          hasCdata = true;
          break;
        case XML_READER_TYPE_ENTITY_REFERENCE:
          text += EntityReference();  // delivered as written, never expanded
          break;
        case XML_READER_TYPE_END_ELEMENT:
          element.value = std::move(text);
          pending.push_back(std::move(element));
          if (hasCdata) pending.push_back(TextNode(std::move(cdata)));
          return 1;
        case XML_READER_TYPE_ELEMENT:
          element.hasChildren = true;
          pending.push_back(std::move(element));
          if (hasCdata) pending.push_back(TextNode(std::move(cdata)));
          holdParserNode = true;  // the child is turned into a node on the next pull
          return 1;
        default:
          break;  // comments and processing instructions give no node
      }
    }
  }

  // Builds at least one node into `pending`: 1 when it did, 0 at the end, below 0 on error.
  int Pull() {
    for (;;) {
      int rc = ParserRead();
      if (rc <= 0) return rc;
      switch (xmlTextReaderNodeType(reader.get())) {
        case XML_READER_TYPE_ELEMENT: {
          Node element = TagNode(kElement);
          if (element.empty) {
            pending.push_back(std::move(element));
            return 1;
          }
          return LookAhead(std::move(element));
        }
        case XML_READER_TYPE_END_ELEMENT:
          pending.push_back(TagNode(kEndTag));
          return 1;
        case XML_READER_TYPE_CDATA:
          pending.push_back(TextNode(Text(xmlTextReaderConstValue(reader.get()))));
          return 1;
        default:
          break;  // whitespace and text between elements, comments, declarations
      }
    }
  }

  int16_t Read() {
    if (progress && ++nodesRead % progressEvery == 0) progress();
    if (!ahead && parseAhead && reader && !eof) {
      ahead = std::make_unique<ReadAhead>();
      shownErrCode = static_cast<int16_t>(status.code());
      shownErrDescription = status.text();
      ahead->thread = std::thread([this] { ParseAhead(); });
    }
    if (ahead) return TakeMove();
    return ParserMove(current);
  }

  // One move of the walk as the parser makes it; `node` becomes the node moved to.
  int16_t ParserMove(Node& node) {
    node = Node();
    if (eof) return status.ok() ? 0 : -1;
    if (!reader) {
      eof = true;
      return status.ok() ? 0 : -1;
    }
    if (pending.empty()) {
      int rc = Pull();
      if (rc <= 0) {
        eof = true;
        if (rc < 0 && cutShort && status.ok()) return 0;
        if (rc < 0 || !status.ok()) {
          if (status.ok()) SetError(XML_ERR_DOCUMENT_END, "The XML document ends too early");
          return -1;
        }
        return 0;
      }
    }
    node = std::move(pending.front());
    pending.pop_front();
    return 1;
  }
};

XmlReader::XmlReader() : impl_((CheckLibrary(), std::make_unique<Impl>())) {}
XmlReader::~XmlReader() = default;

void XmlReader::Open(std::string_view path, Parse parse) {
  impl_->Reset();
  impl_->parseAhead = parse == Parse::Ahead;
  impl_->status = Status();
  std::filesystem::path native;
  try {
    native = NativePath(path);
  } catch (const std::exception& e) {
    impl_->OpenFailed("Cannot open '" + std::string(path) + "': " + e.what());
    return;
  }
  FileDescriptor fd(OpenForReading(native));
  if (fd.Get() < 0) {
    impl_->OpenFailed(StatusFromErrno(errno, "Cannot open '" + std::string(path) + "'").text());
    return;
  }
  impl_->genericError.clear();
  GenericErrorsTo guard = impl_->GenericErrorsToThis();
  impl_->file = std::move(fd);
  // The library reads through the program's own descriptor: a descriptor is the C
  // runtime's, and the library's may be another one.
  xmlTextReader* created = xmlReaderForIO(&ReadFromDescriptor, nullptr, &impl_->file,
                                          TextOf(native).c_str(), nullptr, kReaderOptions);
  impl_->Start(created);
}

void XmlReader::OpenDocument(std::string_view name, std::string document, Parse parse) {
  impl_->Reset();
  impl_->parseAhead = parse == Parse::Ahead;
  impl_->status = Status();
  impl_->reply = false;
  impl_->cutShort = false;
  impl_->genericError.clear();
  GenericErrorsTo guard = impl_->GenericErrorsToThis();
  impl_->document = std::move(document);
  impl_->memory = MemoryInput{&impl_->document, 0};
  xmlTextReader* created = xmlReaderForIO(&ReadFromMemory, nullptr, &impl_->memory,
                                          std::string(name).c_str(), nullptr, kReaderOptions);
  impl_->Start(created);
}

void XmlReader::OpenText(std::string_view xml) {
  impl_->parseAhead = false;
  impl_->OpenText(xml, "text.xml", false);
}

void XmlReader::OpenReplyText(std::string_view xml) {
  impl_->parseAhead = false;
  impl_->OpenText(xml, "reply.xml", true);
}

void XmlReader::Close() {
  impl_->Reset();
  impl_->eof = true;
}

int16_t XmlReader::Read() {
  return impl_->Read();
}

int16_t XmlReader::ReadType(int16_t kind, std::string_view name) {
  std::string_view wanted = name.substr(0, name.find_last_not_of(' ') + 1);
  for (;;) {
    int16_t rc = impl_->Read();
    if (rc < 1) return rc;
    if (impl_->current.type == kind && impl_->current.name == wanted) return rc;
  }
}

bool XmlReader::Eof() const {
  return impl_->ahead ? impl_->shownEof : impl_->eof;
}
int16_t XmlReader::NodeType() const {
  return impl_->current.type;
}
int16_t XmlReader::TextNodeKind() const {
  return kTextNodeKind;
}
std::string XmlReader::Name() const {
  return impl_->current.name;
}
std::string XmlReader::LocalName() const {
  return impl_->current.localName;
}
std::string XmlReader::NamespaceURI() const {
  return impl_->current.namespaceUri;
}
std::string XmlReader::Value() const {
  return impl_->current.value;
}
bool XmlReader::IsEmptyElement() const {
  return impl_->current.empty;
}
bool XmlReader::HasChildElements() const {
  return impl_->current.hasChildren;
}

int16_t XmlReader::AttributeCount() const {
  return static_cast<int16_t>(impl_->current.attributes.size());
}

std::string XmlReader::AttributeName(int16_t index) const {
  const auto& a = impl_->current.attributes;
  return index >= 0 && static_cast<size_t>(index) < a.size() ? a[index].first : std::string();
}

std::string XmlReader::AttributeValue(int16_t index) const {
  const auto& a = impl_->current.attributes;
  return index >= 0 && static_cast<size_t>(index) < a.size() ? a[index].second : std::string();
}

std::string XmlReader::AttributeByName(std::string_view name) const {
  for (const auto& [n, v] : impl_->current.attributes) {
    if (n == name) return v;
  }
  return {};
}

void XmlReader::ReportProgress(std::function<void()> report, int nodes) {
  impl_->progress = std::move(report);
  impl_->progressEvery = nodes < 1 ? 1 : nodes;
}

int64_t XmlReader::BytesRead() const {
  if (impl_->ahead) return impl_->shownBytesRead;
  if (!impl_->reader) return 0;
  long consumed = xmlTextReaderByteConsumed(impl_->reader.get());
  return consumed < 0 ? 0 : consumed;
}

int64_t XmlReader::Size() const {
  if (!impl_->reader) return 0;
  struct stat st {};
  if (impl_->file.Get() >= 0 && fstat(impl_->file.Get(), &st) == 0) return st.st_size;
  return static_cast<int64_t>(impl_->document.size());
}

Status XmlReader::status() const {
  return impl_->ahead ? impl_->Shown() : impl_->status;
}

// ---------------------------------------------------------------------------------------
// Writer

namespace {

struct WriterDeleter {
  void operator()(xmlTextWriter* w) const { xmlFreeTextWriter(w); }
};
struct BufferDeleter {
  void operator()(xmlBuffer* b) const { xmlBufferFree(b); }
};

const xmlChar* X(const std::string& s) {
  return reinterpret_cast<const xmlChar*>(s.c_str());
}

}  // namespace

struct XmlWriter::Impl {
  std::unique_ptr<xmlBuffer, BufferDeleter> buffer;
  std::unique_ptr<xmlTextWriter, WriterDeleter> writer;
  int depth = 0;
  bool document = false;

  void Open(bool wholeDocument) {
    writer.reset();
    buffer.reset(xmlBufferCreate());
    if (!buffer) Raise(kErrAutomation, "Automation error: the XML writer could not be created");
    writer.reset(xmlNewTextWriterMemory(buffer.get(), 0));
    if (!writer) Raise(kErrAutomation, "Automation error: the XML writer could not be created");
    depth = 0;
    document = wholeDocument;
  }

  xmlTextWriter* Writer(const char* operation) {
    if (!writer)
      Raise(kErrAutomation,
            std::string("Automation error: ") + operation + " on an XML writer that is not open");
    return writer.get();
  }

  static void Check(int rc, const char* operation) {
    if (rc < 0) Raise(kErrAutomation, std::string("Automation error: XML writer ") + operation);
  }

  std::string Text() {
    if (writer) xmlTextWriterFlush(writer.get());
    if (!buffer) return {};
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<size_t>(xmlBufferLength(buffer.get())));
  }
};

XmlWriter::XmlWriter() : impl_((CheckLibrary(), std::make_unique<Impl>())) {}
XmlWriter::~XmlWriter() = default;

void XmlWriter::OpenToText() {
  impl_->Open(true);
}
std::string XmlWriter::DocumentText() {
  return impl_->Text();
}
void XmlWriter::OpenFragment() {
  impl_->Open(false);
}
std::string XmlWriter::FragmentText() {
  return impl_->Text();
}

void XmlWriter::WriteStartDocument(std::string_view encoding, int16_t flag) {
  // The output is always UTF-8; the declaration keeps the caller's spelling of the name
  // (libxml2 would write its own), so it is written as it stands.
  std::string name = EqualsIgnoreCase(encoding, "utf-8") ? std::string(encoding) : "UTF-8";
  std::string declaration = "<?xml version=\"1.0\" encoding=\"" + name + "\"" +
                            (flag != 0 ? " standalone=\"yes\"" : "") + "?>\n";
  Impl::Check(xmlTextWriterWriteRaw(impl_->Writer("WriteStartDocument"), X(declaration)),
              "WriteStartDocument");
}

void XmlWriter::WriteStartElement(std::string_view name) {
  Impl::Check(xmlTextWriterStartElement(impl_->Writer("WriteStartElement"), X(std::string(name))),
              "WriteStartElement");
  ++impl_->depth;
}

void XmlWriter::WriteAttribute(std::string_view name, std::string_view value) {
  Impl::Check(xmlTextWriterWriteAttribute(impl_->Writer("WriteAttribute"), X(std::string(name)),
                                          X(std::string(value))),
              "WriteAttribute");
}

void XmlWriter::WriteElement(std::string_view name, std::string_view text) {
  Impl::Check(xmlTextWriterWriteElement(impl_->Writer("WriteElement"), X(std::string(name)),
                                        X(std::string(text))),
              "WriteElement");
}

void XmlWriter::WriteEndElement() {
  Impl::Check(xmlTextWriterEndElement(impl_->Writer("WriteEndElement")), "WriteEndElement");
  --impl_->depth;
}

void XmlWriter::Close() {
  if (!impl_->writer) return;
  for (; impl_->depth > 0; --impl_->depth) {
    Impl::Check(xmlTextWriterEndElement(impl_->writer.get()), "Close");
  }
  if (impl_->document) Impl::Check(xmlTextWriterEndDocument(impl_->writer.get()), "Close");
  xmlTextWriterFlush(impl_->writer.get());
  impl_->writer.reset();  // the buffer stays: the finished text remains readable
}

}  // namespace kalu
