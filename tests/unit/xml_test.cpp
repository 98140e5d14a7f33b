#include "platform/xml.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "support/test_support.h"

namespace kalu {
namespace {

// One node as a walk sees it: "1 name=value" for a start, "2 name" for an end tag,
// "T value" for a separate text node.
std::vector<std::string> Walk(XmlReader& reader) {
  std::vector<std::string> nodes;
  while (reader.Read() >= 1) {
    if (reader.NodeType() == XmlReader::kElement) {
      nodes.push_back("1 " + reader.Name() + "=" + reader.Value());
    } else if (reader.NodeType() == XmlReader::kEndTag) {
      nodes.push_back("2 " + reader.Name());
    } else if (reader.NodeType() == reader.TextNodeKind()) {
      nodes.push_back("T " + reader.Value());
    } else {
      nodes.push_back("? " + reader.Name());
    }
  }
  return nodes;
}

std::vector<std::string> WalkText(const std::string& xml) {
  XmlReader reader;
  reader.OpenText(xml);
  auto nodes = Walk(reader);
  EXPECT_EQ(reader.status().code(), 0) << reader.status().text();
  EXPECT_TRUE(reader.Eof());
  return nodes;
}

struct NodeCase {
  const char* what;
  const char* xml;
  std::vector<std::string> nodes;
};

TEST(XmlReader, NodeRules) {
  const std::vector<NodeCase> cases = {
      {"text-only element is one node", "<a>hello</a>", {"1 a=hello"}},
      {"element with children gets start and end",
       "<r><a>1</a><b>2</b></r>",
       {"1 r=", "1 a=1", "1 b=2", "2 r"}},
      {"whitespace between elements gives no node",
       "<?xml version=\"1.0\"?>\n<r>\n  <a>1</a>\n\t<b>2</b>\n</r>\n",
       {"1 r=", "1 a=1", "1 b=2", "2 r"}},
      {"empty elements", "<r><e/><f></f></r>", {"1 r=", "1 e=", "1 f=", "2 r"}},
      {"blanks inside a text element are its value", "<a>  x  </a>", {"1 a=  x  "}},
      {"CDATA follows its element",
       "<r><QUERY_NAME>v</QUERY_NAME><QUERY_BODY><![CDATA[select a<b & c]]></QUERY_BODY></r>",
       {"1 r=", "1 QUERY_NAME=v", "1 QUERY_BODY=", "T select a<b & c", "2 r"}},
      {"CDATA of an element with children",
       "<r><![CDATA[x]]><a>1</a></r>",
       {"1 r=", "T x", "1 a=1", "2 r"}},
      {"comments and processing instructions give no node",
       "<r><!-- c --><?pi x?><a>1<!-- d -->2</a></r>",
       {"1 r=", "1 a=12", "2 r"}},
      {"character and predefined references", "<a>&lt;&amp;&#209;&#x41;</a>", {"1 a=<&ÑA"}},
      {"deep nesting",
       "<a><b><c><d>x</d></c></b></a>",
       {"1 a=", "1 b=", "1 c=", "1 d=x", "2 c", "2 b", "2 a"}},
      {"line ends of text and CDATA come as LF; a reference to CR stays a CR",
       "<r><a>x\r\ny\rz&#13;w</a><b><![CDATA[p\r\nq\rr\n&#13;]]></b></r>",
       {"1 r=", "1 a=x\ny\nz\rw", "1 b=", "T p\nq\nr\n&#13;", "2 r"}},
      {"mixed text between children gives no node",
       "<m> t <z>2</z> u </m>",
       {"1 m=", "1 z=2", "2 m"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WalkText(c.xml), c.nodes) << c.what;
  }
}

TEST(XmlReader, EmptyElementFlagAndAttributes) {
  XmlReader reader;
  reader.OpenText(R"(<r id="7" name="a &amp; b"><e/><f></f><g k="v">t</g></r>)");
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_FALSE(reader.IsEmptyElement());
  ASSERT_EQ(reader.AttributeCount(), 2);
  EXPECT_EQ(reader.AttributeName(0), "id");
  EXPECT_EQ(reader.AttributeValue(0), "7");
  EXPECT_EQ(reader.AttributeName(1), "name");
  EXPECT_EQ(reader.AttributeValue(1), "a & b");
  EXPECT_EQ(reader.AttributeByName("name"), "a & b");
  EXPECT_EQ(reader.AttributeByName("missing"), "");
  EXPECT_EQ(reader.AttributeName(2), "");
  EXPECT_EQ(reader.AttributeValue(-1), "");
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.Name(), "e");
  EXPECT_TRUE(reader.IsEmptyElement());
  EXPECT_EQ(reader.AttributeCount(), 0);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.Name(), "f");
  EXPECT_FALSE(reader.IsEmptyElement());
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.Name(), "g");
  EXPECT_EQ(reader.Value(), "t");
  EXPECT_EQ(reader.AttributeByName("k"), "v");
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.NodeType(), XmlReader::kEndTag);
  EXPECT_FALSE(reader.Eof());
  EXPECT_EQ(reader.Read(), 0);
  EXPECT_TRUE(reader.Eof());
  EXPECT_EQ(reader.Read(), 0);
}

TEST(XmlReader, HasChildElementsTellsWhetherAnEndNodeFollows) {
  XmlReader reader;
  reader.OpenText("<r><a>t</a><b/><c></c><d><e>1</e></d></r>");
  std::vector<std::string> seen;
  while (reader.Read() >= 1) {
    seen.push_back(std::to_string(reader.NodeType()) + reader.Name() +
                   (reader.HasChildElements() ? "+" : ""));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1r+", "1a", "1b", "1c", "1d+", "1e", "2d", "2r"}));
}

TEST(XmlReader, Namespaces) {
  XmlReader reader;
  reader.OpenReplyText(
      R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">)"
      R"(<soap:Body><r xmlns="urn:kalu"><Estado>1</Estado></r></soap:Body></soap:Envelope>)");
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.Name(), "soap:Envelope");
  EXPECT_EQ(reader.LocalName(), "Envelope");
  EXPECT_EQ(reader.NamespaceURI(), "http://schemas.xmlsoap.org/soap/envelope/");
  ASSERT_GT(reader.ReadType(XmlReader::kElement, "Estado"), 0);
  EXPECT_EQ(reader.LocalName(), "Estado");
  EXPECT_EQ(reader.NamespaceURI(), "urn:kalu");
  EXPECT_EQ(reader.Value(), "1");
  ASSERT_GT(reader.ReadType(XmlReader::kEndTag, "soap:Body"), 0);
  EXPECT_EQ(reader.LocalName(), "Body");
  EXPECT_EQ(reader.ReadType(XmlReader::kElement, "Estado"), 0);
  EXPECT_TRUE(reader.Eof());
}

TEST(XmlReader, ReadTypeIgnoresTrailingBlanksOfTheName) {
  XmlReader reader;
  reader.OpenText("<r><SECCION><ITEM>x</ITEM></SECCION></r>");
  ASSERT_GT(reader.ReadType(XmlReader::kElement, "ITEM   "), 0);
  EXPECT_EQ(reader.Value(), "x");
}

TEST(XmlReader, DeclaredEncodingsGiveUtf8) {
  test::WorkFolder folder;
  folder.Write("Importar/LATIN1.XML",
               "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r><a>C\xf3"
               "digos</a><b>\xd1</b></r>");
  folder.Write("Importar/UTF8.XML",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><a>Códigos</a><b>Ñ</b></r>");
  folder.Write("Importar/CP1252.XML",
               "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<r><a>C\xf3"
               "digos</a><b>\xd1 \x80</b></r>");
  struct Case {
    const char* path;
    const char* b;
  };
  for (const Case& c : {Case{".\\importar\\LATIN1.XML", "Ñ"}, Case{".\\Importar\\UTF8.XML", "Ñ"},
                        Case{".\\importar\\CP1252.XML", "Ñ €"}}) {
    XmlReader reader;
    reader.Open(c.path);
    ASSERT_EQ(reader.status().code(), 0) << c.path << ": " << reader.status().text();
    EXPECT_EQ(Walk(reader),
              (std::vector<std::string>{"1 r=", "1 a=Códigos", std::string("1 b=") + c.b, "2 r"}))
        << c.path;
    EXPECT_EQ(reader.status().code(), 0) << c.path;
  }
}

TEST(XmlReader, FailuresAreCodesNotExceptions) {
  struct Case {
    const char* what;
    const char* xml;
  };
  const std::vector<Case> cases = {
      {"mismatched tags", "<r><a>1</b></r>"},
      {"document ends inside an element", "<r><a>1</a>"},
      {"empty text", ""},
      {"not XML", "hello"},
      {"bytes that are not UTF-8",
       "<r>C\xf3"
       "digos</r>"},
      {"undeclared encoding", "<?xml version=\"1.0\" encoding=\"X-NONE\"?><r/>"},
      {"bytes that the declared encoding does not have",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><a>\x81</a></r>"},
  };
  for (const auto& c : cases) {
    XmlReader reader;
    reader.OpenText(c.xml);
    int16_t rc = 1;
    int reads = 0;
    while (rc >= 1 && reads < 100) {
      rc = reader.Read();
      ++reads;
    }
    EXPECT_LT(rc, 0) << c.what;
    EXPECT_GE(reader.status().code(), 1) << c.what;
    EXPECT_FALSE(reader.status().text().empty()) << c.what;
    EXPECT_TRUE(reader.Eof()) << c.what;
    reader.Close();
    EXPECT_GE(reader.status().code(), 1) << c.what << " (after Close)";
  }
}

TEST(XmlReader, OnlyARealEndOfTheReplyCountsAsCutShort) {
  struct Case {
    const char* what;
    std::string xml;
    int16_t errCode;  // 0: the reply was cut short, the walk just ends
  };
  const std::vector<Case> cases = {
      {"cut after an element", "<E><B><R><i>1</i>", 0},
      {"cut inside a start tag", "<E><B><R a=\"1", 0},
      {"cut inside an end tag", "<E><B><R><i>1</i", 0},
      {"cut inside text", "<E><B><R>12", 0},
      {"cut inside a comment", "<E><B><!-- c", 0},
      {"cut in a line of its own", "<E>\n<B>\n<R>\n<i>1", 0},
      {"undefined prefixes on the only line", "<E><B><x:h/><x:h/><R>1</R></B></E>", 201},
      {"undefined prefix on the last of several lines", "<E>\n<B><x:h/><R>1</R></B></E>", 201},
      {"mismatched end tag on the only line", "<E><B><R>1</x></B></E>", 76},
      {"a second root on the only line", "<E><R>1</R></E><F/>", 5},
  };
  for (const auto& c : cases) {
    XmlReader reader;
    reader.OpenReplyText(c.xml);
    int16_t rc = 1;
    while (rc >= 1) rc = reader.Read();
    EXPECT_EQ(reader.status().code(), c.errCode) << c.what << ": " << reader.status().text();
    EXPECT_EQ(rc < 0, c.errCode != 0) << c.what;
    EXPECT_TRUE(reader.Eof()) << c.what;
  }
}

// A file parsed ahead shows, move by move, what the same file parsed in line shows: the
// node, the result, the error and the end; also to a walk that stops half-way and closes.
TEST(XmlReader, AFileParsedAheadShowsWhatAnInLineWalkShows) {
  std::string big = "<r>";
  for (int i = 0; i < 5000; ++i)
    big += "<f><a>" + std::to_string(i) + "</a><b><![CDATA[x]]></b></f>";
  struct Case {
    const char* what;
    std::string xml;
    int stopAfter;  // moves before the walk closes the reader; 0: to the end
  };
  const std::vector<Case> cases = {
      {"a package of thousands of nodes", big + "</r>", 0},
      {"a package that breaks off at its end", big, 0},
      {"a package broken in its middle", "<r><x:a>1</x:a>" + big + "</q>", 0},
      {"a walk that stops before the error ahead", big + "</q>", 3},
      {"an encoding error", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><a>\x81</a></r>",
       0},
      {"an empty file", "", 0},
  };
  test::WorkFolder folder;
  for (const auto& c : cases) {
    folder.Write("paquete.xml", c.xml);
    std::vector<std::string> walks[2];
    for (auto parse : {XmlReader::Parse::InLine, XmlReader::Parse::Ahead}) {
      auto& moves = walks[parse == XmlReader::Parse::Ahead];
      XmlReader reader;
      reader.Open(".\\paquete.xml", parse);
      int16_t rc = 1;
      for (int n = 1; rc >= 1 && (c.stopAfter == 0 || n <= c.stopAfter); ++n) {
        rc = reader.Read();
        moves.push_back(std::to_string(rc) + " " + std::to_string(reader.NodeType()) + " " +
                        reader.Name() + "=" + reader.Value() + " error " +
                        std::to_string(reader.status().code()) + (reader.Eof() ? " end" : "") +
                        " bytes " + std::to_string(reader.BytesRead()));
      }
      moves.push_back("one more move " + std::to_string(reader.Read()));
      reader.Close();
      moves.push_back("closed, error " + std::to_string(reader.status().code()) + " " +
                      reader.status().text());
    }
    EXPECT_EQ(walks[1], walks[0]) << c.what;
  }
}

TEST(XmlReader, MissingFileIsAnErrorCode) {
  test::WorkFolder folder;
  XmlReader reader;
  reader.Open("PREFERENCIAS.XML");
  EXPECT_GE(reader.status().code(), 1);
  EXPECT_NE(reader.status().text().find("PREFERENCIAS.XML"), std::string::npos);
  EXPECT_TRUE(reader.Eof()) << "a walk that tests Eof() first reads nothing";
  EXPECT_LT(reader.Read(), 1);
  EXPECT_TRUE(reader.Eof());
}

TEST(XmlReader, ReopeningStartsAfresh) {
  XmlReader reader;
  reader.OpenText("<r><a>1</b></r>");
  while (reader.Read() >= 1) {
  }
  ASSERT_GE(reader.status().code(), 1);
  reader.OpenText("<a>2</a>");
  EXPECT_EQ(reader.status().code(), 0);
  EXPECT_EQ(Walk(reader), std::vector<std::string>{"1 a=2"});
}

TEST(XmlReader, ExternalEntityIsNotResolved) {
  test::WorkFolder folder;
  folder.Write("secret.txt", "TOP-SECRET-CONTENT");
  const std::string secret = (folder.Path() / "secret.txt").string();
  for (const std::string& uri : {std::string("file:///etc/passwd"), "file://" + secret, secret}) {
    XmlReader reader;
    reader.OpenText("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"" + uri +
                    "\">]><r><a>&x;</a><b>z</b></r>");
    std::string all;
    while (reader.Read() >= 1) all += reader.Value() + "|";
    EXPECT_EQ(all.find("root:"), std::string::npos) << uri;
    EXPECT_EQ(all.find("TOP-SECRET"), std::string::npos) << uri;
  }
}

TEST(XmlReader, ExternalDtdIsNotLoaded) {
  test::WorkFolder folder;
  folder.Write("evil.dtd", "<!ENTITY y \"FROM-THE-DTD\">");
  XmlReader reader;
  reader.OpenText("<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"" +
                  (folder.Path() / "evil.dtd").string() + "\"><r><a>&y;</a></r>");
  std::string all;
  while (reader.Read() >= 1) all += reader.Value() + "|";
  EXPECT_EQ(all.find("FROM-THE-DTD"), std::string::npos);
}

std::string BillionLaughs(const std::string& use) {
  std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    doc += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) doc += "&lol" + std::to_string(i - 1) + ";";
    doc += "\">";
  }
  return doc + "]>" + use;
}

TEST(XmlReader, BillionLaughsIsRefusedOrLeftUnexpanded) {
  for (const char* use : {"<lolz><a>&lol9;</a></lolz>", "<lolz><a x=\"&lol9;\">t</a></lolz>",
                          "<lolz><b><a>&lol9;</a></b></lolz>"}) {
    XmlReader reader;
    reader.OpenText(BillionLaughs(use));
    auto start = std::chrono::steady_clock::now();
    size_t delivered = 0;
    while (reader.Read() >= 1) {
      delivered += reader.Value().size();
      for (int16_t i = 0; i < reader.AttributeCount(); ++i) {
        delivered += reader.AttributeValue(i).size();
      }
    }
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(delivered, 1000u) << use;
    EXPECT_LT(seconds, 5.0) << use;  // a generous bound against an expansion, not a speed goal
  }
}

TEST(XmlReader, NothingIsWrittenToStandardError) {
  testing::internal::CaptureStderr();
  for (const char* xml : {"<r><a>1</b></r>", "", "<r>C\xf3</r>", "<r xmlns:a='x'><b:c/></r>",
                          "<?xml version='1.0' encoding='windows-1252'?><r>\x81</r>"}) {
    XmlReader reader;
    reader.OpenText(xml);
    while (reader.Read() >= 1) {
    }
  }
  XmlReader reader;
  reader.Open("/nonexistent/folder/file.xml");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlWriter, DocumentWithEscapedTextAndAttributes) {
  XmlWriter writer;
  writer.OpenToText();
  writer.WriteStartDocument("utf-8", 0);
  writer.WriteStartElement("soap:Envelope");
  writer.WriteAttribute("xmlns:soap", "http://schemas.xmlsoap.org/soap/envelope/");
  writer.WriteAttribute("q", "a\"b<c>&d'");
  writer.WriteStartElement("Body");
  writer.WriteElement("Texto", "1 < 2 & \"Ñ\" > 0");
  writer.WriteElement("Vacio", "");
  writer.Close();
  const std::string text = writer.DocumentText();
  EXPECT_EQ(
      text,
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "q=\"a&quot;b&lt;c&gt;&amp;d'\"><Body><Texto>1 &lt; 2 &amp; &quot;Ñ&quot; &gt; 0</Texto>"
      "<Vacio></Vacio></Body></soap:Envelope>\n");
  writer.Close();  // a second Close does nothing
  EXPECT_EQ(writer.DocumentText(), text);

  // What the writer escapes, the reader gives back.
  XmlReader reader;
  reader.OpenText(text);
  ASSERT_EQ(reader.Read(), 1);
  EXPECT_EQ(reader.AttributeByName("q"), "a\"b<c>&d'");
  ASSERT_GT(reader.ReadType(XmlReader::kElement, "Texto"), 0);
  EXPECT_EQ(reader.Value(), "1 < 2 & \"Ñ\" > 0");
}

TEST(XmlWriter, FragmentHasNoDeclaration) {
  XmlWriter writer;
  writer.OpenFragment();
  writer.WriteStartElement("st1Etd_vcpv");
  writer.WriteAttribute("xmlns", "urn:kalu");
  writer.WriteElement("VehPlacas", "ABC-12");
  writer.WriteEndElement();
  EXPECT_EQ(writer.FragmentText(),
            "<st1Etd_vcpv xmlns=\"urn:kalu\"><VehPlacas>ABC-12</VehPlacas></st1Etd_vcpv>");
  writer.Close();
  EXPECT_EQ(writer.FragmentText(),
            "<st1Etd_vcpv xmlns=\"urn:kalu\"><VehPlacas>ABC-12</VehPlacas></st1Etd_vcpv>");
}

TEST(XmlWriter, CallsOnAWriterThatIsNotOpenRaise) {
  XmlWriter writer;
  EXPECT_THROW(writer.WriteStartElement("a"), RuntimeError);
  writer.OpenFragment();
  writer.Close();
  EXPECT_THROW(writer.WriteElement("a", "b"), RuntimeError);
}

}  // namespace
}  // namespace kalu
