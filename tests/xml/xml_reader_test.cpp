#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/private_heap.h"
#include "os/fault.h"
#include "base/text_convert.h"
#include "test_support.h"

namespace {

const std::string kDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

class XmlReaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CreatePrivateHeap(1 << 20); }

  int Read(const std::string& bytes) { return reader_.ReadBuffer(bytes.data(), bytes.size()); }
  int ReadBody(const std::string& body) { return Read(kDeclaration + body); }

  const XmlTree& Tree() const { return reader_.GetTree(); }
  const XmlElement* Top() const {
    XmlElementList top = Tree().Top();
    return top.empty() ? nullptr : &top[0];
  }
  // Children in document order (the lists run the other way).
  std::vector<const XmlElement*> Children(const XmlElement* element) const {
    std::vector<const XmlElement*> out;
    for (const XmlElement& child : Tree().Children(*element)) out.insert(out.begin(), &child);
    return out;
  }
  std::vector<std::pair<std::string, std::string>> Attributes(const XmlElement* element) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const XmlAttribute& a : Tree().Attributes(*element))
      out.emplace_back(a.Name(), a.Value());
    return out;
  }
  // The error text, Shift-JIS like every 8-bit text of the library, as UTF-8.
  std::string ErrorText() const {
    char16_t wide[kXmlErrorTextCapacity];
    ShiftJisToWide(wide, kXmlErrorTextCapacity, reader_.GetErrorText());
    return qvtest::U8(wide);
  }

  qvXmlReader reader_;
};

struct DeclarationCase {
  const char* name;
  std::string bytes;
  int code;
};

TEST_F(XmlReaderTest, DeclarationForms) {
  const std::string body = "<document><brand>X</brand></document>";
  const DeclarationCase cases[] = {
      {"plain", kDeclaration + body, 0},
      {"byte-order mark", "\xEF\xBB\xBF" + kDeclaration + body, 4},
      {"blank line", "\n" + kDeclaration + body, 4},
      {"comment first", "<!-- c -->" + kDeclaration + body, 4},
      {"Shift_JIS", R"(<?xml version="1.0" encoding="Shift_JIS"?>)" + body, 4},
      {"version 1.1", R"(<?xml version="1.1" encoding="UTF-8"?>)" + body, 4},
      {"no encoding", R"(<?xml version="1.0"?>)" + body, 4},
      {"lower-case encoding", R"(<?xml version="1.0" encoding="utf-8"?>)" + body, 0},
      {"single quotes and standalone",
       R"(<?xml version='1.0' encoding='UTF-8' standalone="yes"?>)" + body, 0},
      {"upper-case name", R"(<?XML version="1.0" encoding="UTF-8"?>)" + body, 4},
      {"empty file", "", 4},
      {"declaration only", kDeclaration, 0},
      {"malformed declaration", "<?>" + body, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Read(c.bytes), c.code);
    EXPECT_EQ(reader_.GetErrorCode(), c.code);
    EXPECT_EQ(ErrorText(), c.code == 4 ? "読み込みできない形式のファイルです。" : "");
  }
}

TEST_F(XmlReaderTest, ReadsTheFirstElementTree) {
  ASSERT_EQ(ReadBody("<document><brand>X</brand></document><second/>"), 0);
  ASSERT_EQ(Tree().Top().size(), 1u);
  const XmlElement* document = Top();
  EXPECT_EQ(document->Name(), "document");
  ASSERT_EQ(Children(document).size(), 1u);
  EXPECT_EQ(Children(document)[0]->Name(), "brand");
  EXPECT_EQ(Children(document)[0]->Text(), "X");
}

struct TextCase {
  const char* name;
  std::string content;
  std::string text;
};

TEST_F(XmlReaderTest, TextOfAnElement) {
  const TextCase cases[] = {
      {"CR LF", "x\r\ny", "x y"},
      {"tab", "x\ty", "x y"},
      {"LF", "x\ny", "x y"},
      {"lone CR", "x\ry", "x\ry"},
      {"blanks kept around a child", " <b>1</b> ", "  "},
      {"comment between", "1<!-- c -->2", "12"},
      {"comment with markup", "1<!-- a > b < c -->2", "12"},
      {"two comments", "1<!--a-->2<!--b-->3", "123"},
      {"comment that ends itself", "1<!-->2", "12"},
      {"comment ending in three dashes", "1<!-- a --->2", "12"},
      {"stray closer is text", "a-->b<!--c-->d", "a-->bd"},
      {"entity stays", "&amp;", "&amp;"},
      {"stray > in text", "a>b", "a>b"},
      {"zero byte ends the input", std::string("x</a>\0</b>", 10), "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(ReadBody("<a>" + c.content + "</a>"), 0) << ErrorText();
    EXPECT_EQ(Top()->Name(), "a");
    EXPECT_EQ(Top()->Text(), c.text);
  }
}

struct FailureCase {
  const char* name;
  std::string body;
  int code;
  std::string message;
};

TEST_F(XmlReaderTest, MalformedElementsFailAndCutFilesKeepWhatTheyHave) {
  const FailureCase cases[] = {
      {"empty-element tag", "<document><a/></document>", 6, "タグ終端</document>が不正です。"},
      {"end tag of another", "<a></b>", 6, "タグ終端</b>が不正です。"},
      {"empty tag", "<a><></a>", 5, "不正なタグです。"},
      {"blank tag", "<a>< ></a>", 5, "不正なタグです。"},
      {"tag cut by another", "<a><b</a>", 5, "タグ定義に誤りがあります。"},
      // The unended comment's tokens are ordinary tokens; this one is no tag.
      {"comment without end", "<a>1<!-- x</a>", 5, "タグ定義に誤りがあります。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadBody(c.body), c.code);
    EXPECT_EQ(reader_.GetErrorCode(), c.code);
    EXPECT_EQ(ErrorText(), c.message);
  }
  // Files that stop early keep what they have.
  ASSERT_EQ(ReadBody("<document><a>1"), 0);
  ASSERT_EQ(Children(Top()).size(), 1u);
  EXPECT_EQ(Children(Top())[0]->Name(), "a");
  EXPECT_EQ(Children(Top())[0]->Text(), "");

  ASSERT_EQ(ReadBody("<document><a>1</a"), 0);
  EXPECT_EQ(Children(Top())[0]->Text(), "1");
}

TEST_F(XmlReaderTest, ListsRunInReverseDocumentOrder) {
  ASSERT_EQ(ReadBody(R"(<r a="1" b="2"><x></x><y>1</y><z>2</z></r>)"), 0);
  std::vector<std::string_view> names;
  for (const XmlElement& child : Tree().Children(*Top())) names.push_back(child.Name());
  EXPECT_EQ(names, (std::vector<std::string_view>{"z", "y", "x"}));
  EXPECT_EQ(Attributes(Top()),
            (std::vector<std::pair<std::string, std::string>>{{"b", "2"}, {"a", "1"}}));
  // GetAttribute ignores case; the later one heads the list.
  ASSERT_EQ(ReadBody(R"(<a Name="1" name="2"></a>)"), 0);
  std::string_view value;
  EXPECT_TRUE(qvXmlReader::GetAttribute(Tree().Attributes(*Top()), "NAME", &value));
  EXPECT_EQ(value, "2");
  EXPECT_FALSE(qvXmlReader::GetAttribute(Tree().Attributes(*Top()), "other", &value));
}

struct AttributeCase {
  const char* name;
  std::string tag;
  std::vector<std::pair<std::string, std::string>> attributes;  // chain order
  std::string message;
};

TEST_F(XmlReaderTest, Attributes) {
  const AttributeCase cases[] = {
      {"both quotes", R"(<a x="1" y='2'>)", {{"y", "2"}, {"x", "1"}}, ""},
      {"no quotes", "<a x=1>", {}, "属性(x)の値が不正です。"},
      {"no blank between", R"(<a x="1"y="2">)", {}, "属性(x)の値が不正です。"},
      {"other quote inside", R"(<a x="it's">)", {{"x", "it's"}}, ""},
      {"blank inside a value", R"(<a x="a b" y="2">)", {{"x", "a"}}, ""},
      {"blanks around =", R"(<a x = "1">)", {}, ""},
      {"empty name", R"(<a ="1">)", {{"", "1"}}, ""},
      {"line break between", "<a\r\nx=\"1\"\ty='2'>", {{"y", "2"}, {"x", "1"}}, ""},
      {"UTF-8 value", "<a x=\"\xE3\x81\x82\">", {{"x", "\xE3\x81\x82"}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(ReadBody(c.tag + "</a>"), 0);
    EXPECT_EQ(Attributes(Top()), c.attributes);
    EXPECT_EQ(ErrorText(), c.message);
  }
}

TEST_F(XmlReaderTest, BytesThatStartNoUtf8Sequence) {
  // A Shift-JIS name: its lone trail bytes are taken one by one.
  const std::string name = "\x83\x41\x83\x43";
  ASSERT_EQ(ReadBody("<" + name + " k=\"\x82\xA0\">t</" + name + ">"), 0);
  EXPECT_EQ(Top()->Name(), name);
  EXPECT_EQ(Tree().Attributes(*Top())[0].Value(), "\x82\xA0");
  ASSERT_EQ(ReadBody("<a\x80\xFF>1</a\x80\xFF>"), 0);
  EXPECT_EQ(Top()->Text(), "1");
}

TEST_F(XmlReaderTest, LongErrorTextIsCutOnACharacter) {
  std::string name;
  for (int i = 0; i < 600; ++i) name += "\xE3\x81\x82";  // longer than the name's work area
  ASSERT_EQ(ReadBody("<a></" + name + ">"), 6);
  // Shift-JIS: the prefix takes 10 bytes, every "\u3042" two.
  const std::string bytes = reader_.GetErrorText();
  EXPECT_LT(bytes.size(), 512u);  // the error text is 512 bytes with its zero
  EXPECT_GT(bytes.size(), 500u);
  EXPECT_EQ(bytes.size() % 2, 0u);
  const std::string text = ErrorText();
  EXPECT_EQ(text, "タグ終端</" + name.substr(0, (bytes.size() - 10) / 2 * 3));
}

TEST_F(XmlReaderTest, DeepNestingNeedsNoStack) {
  constexpr int kDepth = 100000;
  std::string body;
  for (int i = 0; i < kDepth; ++i) body += "<a>";
  for (int i = 0; i < kDepth; ++i) body += "</a>";
  ASSERT_EQ(ReadBody(body), 0);
  int depth = 0;
  for (const XmlElement* element = Top(); element;) {
    ++depth;
    XmlElementList children = Tree().Children(*element);
    element = children.empty() ? nullptr : &children[0];
  }
  EXPECT_EQ(depth, kDepth);
  // Left open, every element ends with the tokens.
  EXPECT_EQ(ReadBody(body.substr(0, body.size() / 2)), 0);
}

TEST_F(XmlReaderTest, ReadFileAndItsFailures) {
  qvtest::ScratchDir dir;
  dir.WriteFile(u"a.xml", kDeclaration + "\r\n<document>\r\n<brand>X</brand>\r\n</document>\r\n");
  ASSERT_EQ(reader_.ReadFile(dir.Path(u"a.xml").c_str()), 0);
  EXPECT_EQ(Top()->Name(), "document");

  dir.WriteFile(u"empty.xml", "");
  EXPECT_EQ(reader_.ReadFile(dir.Path(u"empty.xml").c_str()), 4);

  os::ArmFaults({os::FileOp::kRead, 1, 5});
  EXPECT_EQ(reader_.ReadFile(dir.Path(u"a.xml").c_str()), 2);
  os::DisarmFaults();
  EXPECT_EQ(ErrorText(), "ファイル " + qvtest::U8(dir.Path(u"a.xml")) + " の読み込みに失敗しました。");
  EXPECT_TRUE(Tree().Top().empty());

  const std::u16string missing = dir.Path(u"missing.xml");
  EXPECT_EQ(reader_.ReadFile(missing.c_str()), 1);
  EXPECT_EQ(ErrorText(),
            "ファイル " + qvtest::U8(missing) + " のオープンに失敗しました。");

  EXPECT_EQ(reader_.ReadBuffer(nullptr, 10), 3);
  EXPECT_EQ(ErrorText(), "読み込みバッファが無効です。");
}

// Everything the tree holds, in list order, as one string.
std::string Dump(const XmlTree& tree, XmlElementList list) {
  std::string out;
  for (const XmlElement& element : list) {
    out += "<" + std::string(element.Name());
    for (const XmlAttribute& a : tree.Attributes(element))
      out += " " + std::string(a.Name()) + "=" + std::string(a.Value());
    out += ">" + std::string(element.Text()) + Dump(tree, tree.Children(element)) + "</>";
  }
  return out;
}

// Wherever a limit stops the read (a chunk of elements, a string block, a
// list growing, the input itself), the read fails with code 7 and leaves
// no tree; from the limit the document needs on, the tree is whole.
TEST_F(XmlReaderTest, MemoryLimitFailsTheReadWhereverItIsReached) {
  std::string body = "<document>\r\n";
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    body += "  <e" + n + " k=\"" + n + "\" j='x'>t" + n + "<!-- c --><c>" + std::string(i, 'v') +
            "</c>u</e" + n + ">\r\n";
  }
  body += "</document>\r\n";
  ASSERT_EQ(ReadBody(body), 0);
  const std::string whole = Dump(Tree(), Tree().Top());
  const std::size_t held = reader_.GetMemoryUse();
  int refused = 0;
  for (std::size_t allowance = 0;; allowance += 1024) {
    reader_.SetMemoryLimit({1, allowance});
    const int code = ReadBody(body);
    if (code == 0) break;
    ++refused;
    ASSERT_EQ(code, 7);
    ASSERT_EQ(ErrorText(), "メモリが確保出来ませんでした。");
    ASSERT_TRUE(Tree().Top().empty());
  }
  EXPECT_GT(refused, 50);
  EXPECT_EQ(Dump(Tree(), Tree().Top()), whole);
  EXPECT_EQ(reader_.GetMemoryUse(), held);
  // Four times the input is far too little for elements of three bytes.
  std::string nested;
  for (int i = 0; i < 30000; ++i) nested += "<a>";
  reader_.SetMemoryLimit({4, 0});
  EXPECT_EQ(ReadBody(nested), 7);
  reader_.SetMemoryLimit({});
  EXPECT_EQ(ReadBody(nested), 0);
}

}  // namespace
