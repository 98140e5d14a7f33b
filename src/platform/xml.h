#pragma once
// The XML reader and writer of the system. Procedures create one reader or writer per
// document and never see the parser behind it.
//
// Node rules of the reader:
//  - an element that holds only text is ONE node of type 1 whose Value() is that text
//    (no separate text node and no end node follow it); an empty element is such a node
//    with an empty value and IsEmptyElement() true when written <a/>;
//  - an element with child elements gives a start node (type 1) and an end node (type 2)
//    with the same Name();
//  - whitespace between elements gives no node;
//  - a CDATA section is delivered apart, as the node right after its element, with
//    NodeType() == TextNodeKind() and the section's text as Value();
//  - line ends of text and CDATA come out as LF (CR LF and a lone CR as written become
//    LF, as XML 1.0 wants); a character reference "&#13;" in text still gives a CR;
//  - every walk ends at the end of the input: Read() returns 0 there and Eof() is true.
// Security: no DTD loading, no network access, no external entity, no entity expansion.
// Declared encodings (UTF-8, ISO-8859-1, Windows-1252) are honoured; texts come out UTF-8.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace kalu {

class XmlReader {
 public:
  static constexpr int16_t kElement = 1;  // NodeType of an element start
  static constexpr int16_t kEndTag = 2;   // NodeType of an end tag

  XmlReader();
  ~XmlReader();
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;

  // How a file is parsed: ahead of its reader on a thread of its own (a package of some
  // size is parsed while its rows are written), or in line, each node as it is read. The
  // nodes, results and errors the reader shows are the same either way.
  enum class Parse { Ahead, InLine };

  // Opens a file named in the system's form (".\importar\DATOS.XMZ"). A failure is not
  // raised: status() then tells the parser's number (1 or more) and why.
  void Open(std::string_view path, Parse parse = Parse::Ahead);
  // Opens on a document already in memory (a package inflated there), named `name` in its
  // errors, parsed as Open parses a file.
  void OpenDocument(std::string_view name, std::string document, Parse parse = Parse::Ahead);
  // Opens on an XML text (a record's fromxml).
  void OpenText(std::string_view xml);
  // Opens on the text of an HTTP reply.
  void OpenReplyText(std::string_view xml);
  // Releases the document; status() stays readable.
  void Close();

  // Moves to the next node: 1 or more when positioned on a node, 0 at the end of the
  // input, below 0 on a parse error (status() then tells).
  int16_t Read();
  // Reads on until a node of `kind` (1 element start, 2 end tag) named `name` is current:
  // above 0 when found, 0 or below when the input (or a parse error) ended the search.
  int16_t ReadType(int16_t kind, std::string_view name);
  bool Eof() const;

  int16_t NodeType() const;
  int16_t TextNodeKind() const;      // kind of the separate text (CDATA) node
  std::string Name() const;          // qualified name
  std::string LocalName() const;     // name without prefix
  std::string NamespaceURI() const;  // namespace of the node, empty when none
  std::string Value() const;         // text of the node
  bool IsEmptyElement() const;
  // True on an element start whose element holds child elements, so that an end node of
  // the same name follows; false for a text-only or empty element and for other nodes.
  bool HasChildElements() const;

  int16_t AttributeCount() const;
  std::string AttributeName(int16_t index) const;            // 0-based; empty past the end
  std::string AttributeValue(int16_t index) const;           // 0-based; empty past the end
  std::string AttributeByName(std::string_view name) const;  // empty when absent

  // Calls `report` every `nodes` moves to the next node, whoever reads (the progress of a
  // walk); until the reader is closed or opened again.
  void ReportProgress(std::function<void()> report, int nodes);
  // How far the reader is: the bytes of the document parsed so far, of its size in bytes
  // (the file's, or the text's). Both 0 when nothing is open.
  int64_t BytesRead() const;
  int64_t Size() const;

  // Ok, or the first error of the document: the parser's number (1 or more) and its text.
  Status status() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class XmlWriter {
 public:
  XmlWriter();
  ~XmlWriter();
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;

  void OpenToText();           // a whole document into a text buffer
  std::string DocumentText();  // the document written so far (finished after Close)
  void OpenFragment();         // a fragment without declaration
  std::string FragmentText();
  void WriteStartDocument(std::string_view encoding, int16_t flag);
  void WriteStartElement(std::string_view name);
  void WriteAttribute(std::string_view name, std::string_view value);  // on the open start tag
  void WriteElement(std::string_view name, std::string_view text);     // text escaped
  void WriteEndElement();
  void Close();  // ends every open element and finishes the document; a second Close does nothing

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kalu
