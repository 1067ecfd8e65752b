#include "xml/xml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/debug_log_capture.h"
#include "base/private_heap.h"
#include "test_support.h"

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

class XmlDocumentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CreatePrivateHeap(1 << 20); }

  bool Open(const std::string& body) {
    dir_.WriteFile(u"doc.xml", kDeclaration + body);
    return xml_.Open(dir_.Path(u"doc.xml").c_str());
  }
  // The text at a path, or "<default>" when it is not there.
  template <typename... Names>
  std::string Get(Names... names) {
    char16_t out[256];
    bool found = xml_.GetString(out, 256, u"<default>", sizeof...(names), names...);
    std::string text = qvtest::U8(out);
    EXPECT_EQ(found, text != "<default>") << text;
    return text;
  }

  qvtest::ScratchDir dir_;
  qvXml xml_;
};

const char kUpdateLike[] =
    "<document>\r\n"
    "  <brand>X</brand>\r\n"
    "  <version><major>1</major></version>\r\n"
    "  <empty></empty>\r\n"
    "  <same>a</same><same>b</same>\r\n"
    "  <a><b>1</b></a><a><c>2</c></a>\r\n"
    "</document>\r\n";

TEST_F(XmlDocumentTest, PathQueriesUnderDocument) {
  ASSERT_TRUE(Open(kUpdateLike));
  EXPECT_EQ(Get("brand"), "X");
  EXPECT_EQ(Get("version", "major"), "1");
  EXPECT_EQ(Get("document", "brand"), "<default>");  // the search starts inside
  EXPECT_EQ(Get("Brand"), "<default>");              // names are case-sensitive
  EXPECT_EQ(Get("empty"), "");                       // present but empty is found
  EXPECT_EQ(Get("missing"), "<default>");
  EXPECT_EQ(Get("same"), "b");                       // the last sibling is tried first
  EXPECT_EQ(Get("a", "c"), "2");
  EXPECT_EQ(Get("a", "b"), "1");                     // backtracks into the other a
  EXPECT_EQ(Get("a", "d"), "<default>");
  EXPECT_EQ(Get(), "<default>");                     // empty path
}

TEST_F(XmlDocumentTest, OtherRootNamesAreNamedInPaths) {
  ASSERT_TRUE(Open("<update><brand>X</brand></update>"));
  EXPECT_EQ(Get("brand"), "<default>");
  EXPECT_EQ(Get("update", "brand"), "X");

  // A document type declaration hides the document rule.
  ASSERT_TRUE(Open("<!DOCTYPE x><document><brand>X</brand></document>"));
  EXPECT_EQ(Get("brand"), "<default>");
  EXPECT_EQ(Get("!DOCTYPE", "document", "brand"), "X");

  ASSERT_TRUE(Open("<document></document>"));
  EXPECT_EQ(Get("document"), "<default>");
}

TEST_F(XmlDocumentTest, GetIntForms) {
  // The forms are the integer parser's; hex and a leading blank show it is that parser.
  ASSERT_TRUE(Open("<document><hex>0x411</hex><dec>1041</dec><blank> 1041</blank>"
                   "<empty></empty></document>"));
  const std::pair<const char*, std::int32_t> cases[] = {
      {"hex", 1041}, {"dec", 1041}, {"blank", 0}, {"empty", 0}, {"missing", 65535},
  };
  for (const auto& [name, value] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(xml_.GetInt(65535, 1, name), value);
  }
  // The count says how many names follow: none are read past it.
  EXPECT_EQ(xml_.GetInt(65535, 0, "dec"), 65535);
  EXPECT_EQ(xml_.GetInt(65535, -1, "dec"), 65535);
}

TEST_F(XmlDocumentTest, FailedOpenAndCloseYieldDefaults) {
  ASSERT_TRUE(Open(kUpdateLike));
  EXPECT_EQ(Get("brand"), "X");
  xml_.Close();
  EXPECT_EQ(Get("brand"), "<default>");
  EXPECT_EQ(xml_.GetInt(-1, 1, "brand"), -1);

  EXPECT_FALSE(Open("<document><brand>X</b></document>"));
  EXPECT_EQ(Get("brand"), "<default>");

  // From memory as from a file.
  const std::string bad = kDeclaration + "<document><brand>X</b></document>";
  EXPECT_FALSE(xml_.OpenBuffer(bad.data(), bad.size()));
  const std::string good = kDeclaration + kUpdateLike;
  ASSERT_TRUE(xml_.OpenBuffer(good.data(), good.size()));
  EXPECT_EQ(Get("brand"), "X");

  // Only the declaration: the read succeeds with no element.
  ASSERT_TRUE(Open(""));
  EXPECT_TRUE(xml_.GetTopElements().empty());
  EXPECT_EQ(Get("brand"), "<default>");
}

TEST_F(XmlDocumentTest, TextsAreCutToTheDestination) {
  // "ab", then U+1F600 as a surrogate pair.
  ASSERT_TRUE(Open("<document><t>ab\xF0\x9F\x98\x80</t><long>" + std::string(5000, 'x') +
                   "</long></document>"));
  char16_t small[4];
  EXPECT_TRUE(xml_.GetString(small, 4, u"", 1, "t"));
  EXPECT_EQ(std::u16string(small), u"ab");  // the pair is not split
  EXPECT_TRUE(xml_.LastStringWasCut());

  char16_t fits[5];
  EXPECT_TRUE(xml_.GetString(fits, 5, u"", 1, "t"));
  EXPECT_EQ(std::u16string(fits), u"ab\U0001F600");
  EXPECT_FALSE(xml_.LastStringWasCut());

  std::u16string big(8000, u'?');
  EXPECT_TRUE(xml_.GetString(big.data(), big.size(), u"", 1, "long"));
  std::size_t length = std::u16string(big.c_str()).size();
  EXPECT_EQ(length, 4095u);  // all that the 4096-unit conversion area holds
  EXPECT_TRUE(xml_.LastStringWasCut());

  char16_t fallback_cut[3];
  EXPECT_FALSE(xml_.GetString(fallback_cut, 3, u"default", 1, "missing"));
  EXPECT_EQ(std::u16string(fallback_cut), u"de");
}

// The order and the attributes are the reader's; here they are passed on.
TEST_F(XmlDocumentTest, ElementTreeIsTheReadersTree) {
  ASSERT_TRUE(Open(R"(<r k="1" j="2"><x></x><y></y></r>)"));
  ASSERT_EQ(xml_.GetTopElements().size(), 1u);
  const XmlElement& top = xml_.GetTopElements()[0];
  ASSERT_EQ(xml_.GetChildren(top).size(), 2u);
  EXPECT_EQ(xml_.GetChildren(top)[0].Name(), "y");
  ASSERT_EQ(xml_.GetAttributes(top).size(), 2u);
  EXPECT_EQ(xml_.GetAttributes(top)[1].Value(), "1");
  xml_.Close();
  EXPECT_TRUE(xml_.GetAttributes(top).empty());
}

// GetString and GetInt of the path "a" / "a" / ... with N names.
template <std::size_t... I>
bool GetNestedString(qvXml& xml, char16_t* out, std::index_sequence<I...>) {
  return xml.GetString(out, 16, u"", static_cast<int>(sizeof...(I)), ((void)I, "a")...);
}
template <std::size_t... I>
std::int32_t GetNestedInt(qvXml& xml, std::index_sequence<I...>) {
  return xml.GetInt(-1, static_cast<int>(sizeof...(I)), ((void)I, "a")...);
}

TEST_F(XmlDocumentTest, PathsOfAnyLengthAreFollowedWhole) {
  std::string body = "<document>";
  for (int i = 0; i < 70; ++i) body += "<a>";
  body += "70";
  for (int i = 0; i < 70; ++i) body += "</a>";
  body += "</document>";
  ASSERT_TRUE(Open(body));
  char16_t out[16];
  EXPECT_TRUE(GetNestedString(xml_, out, std::make_index_sequence<70>()));
  EXPECT_EQ(std::u16string(out), u"70");
  EXPECT_EQ(GetNestedInt(xml_, std::make_index_sequence<70>()), 70);
  // One name more than the document is deep: not there, whatever comes first.
  EXPECT_FALSE(GetNestedString(xml_, out, std::make_index_sequence<71>()));
  EXPECT_EQ(GetNestedInt(xml_, std::make_index_sequence<71>()), -1);
}

TEST_F(XmlDocumentTest, WritesItsDebugLogLines) {
  qvtest::DebugLogCapture capture;
  dir_.WriteFile(u"doc.xml", kDeclaration + "<document></document>");
  const std::u16string path = dir_.Path(u"doc.xml");
  ASSERT_TRUE(xml_.Open(path.c_str()));
  EXPECT_FALSE(xml_.Open(dir_.Path(u"missing.xml").c_str()));
  std::string log = capture.Contents();
  EXPECT_NE(log.find("xml open " + qvtest::U8(path)), std::string::npos) << log;
  EXPECT_NE(log.find("xml open exit"), std::string::npos);
  EXPECT_NE(log.find("qvXml : File open error " + qvtest::U8(dir_.Path(u"missing.xml"))),
            std::string::npos);
}

// Among thousands of siblings every path step still finds each member of
// its name, the last in the file first, and backtracks through them.
TEST_F(XmlDocumentTest, ManySiblingsAreFoundByName) {
  constexpr int kCount = 3000;
  std::vector<int> order;
  for (int i = 0; i < kCount; ++i) order.push_back(i);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::string body = "<document>";
  for (int i : order) {
    const std::string n = std::to_string(i);
    body += "<p" + n + ">" + n + "</p" + n + "><a><b" + n + ">" + n + "</b" + n + "><same>" + n +
            "</same></a>";
  }
  body += "<p17>again</p17></document>";
  ASSERT_TRUE(Open(body));
  for (int i = 0; i < kCount; ++i) {
    const std::string n = std::to_string(i);
    const std::string p = "p" + n, b = "b" + n;
    ASSERT_EQ(Get(p.c_str()), i == 17 ? "again" : n);
    ASSERT_EQ(Get("a", b.c_str()), n);
  }
  EXPECT_EQ(Get("a", "same"), std::to_string(order.back()));
  EXPECT_EQ(Get("a", "b3000"), "<default>");
  EXPECT_EQ(xml_.GetChildren(xml_.GetTopElements()[0]).size(), 2u * kCount + 1);
}

}  // namespace
