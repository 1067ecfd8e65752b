#include "tools/patchcheck/command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/install_files.h"
#include "tools/patchcheck/description_lint.h"
#include "file/confined_tree.h"
#include "support/fence.h"
#include "support/links.h"
#include "test_support.h"

namespace {

const char kDescription[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<document>\r\n"
    "  <brand>ACME</brand><app>game</app>\r\n"
    "  <version><major>1</major><minor>2</minor></version>\r\n"
    "  <language><default>jp</default>\r\n"
    "    <lang00><code>1041</code><prifix>jp</prifix><lang>日本語</lang></lang00>\r\n"
    "    <lang01><code>1033</code><prifix>en</prifix><lang>English</lang></lang01>\r\n"
    "    <lang03><code>1031</code><prifix>de</prifix><lang>Deutsch</lang></lang03>\r\n"
    "    <lang000000013>x</lang000000013><lang0000000014>y</lang0000000014>\r\n"
    "  </language>\r\n"
    "  <jp><message><wndtitle>更新</wndtitle><intoro>a\\nb &amp; c</intoro>"
    "<error_copy>x\\ny</error_copy></message></jp>\r\n"
    "  <en><message><wndtitle k=\"a b\">Update</wndtitle></message></en>\r\n"
    "  <delete><p01>old.dll</p01><p02>..\\..\\Windows</p02><p04>gone</p04></delete>\r\n"
    "</document>\r\n";

class PatchcheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteFile(u"updateinfo.xml", kDescription);
    dir_.WriteFile(u"data\\a.bin", "a");
    dir_.WriteFile(u"data\\sub\\b.bin", "b");
  }
  int Run(std::vector<std::string> arguments) {
    out_.clear();
    err_.clear();
    return RunPatchcheck(arguments, &out_, &err_);
  }
  std::string Folder() const { return qvtest::U8(dir_.Path()); }
  bool Says(const std::string& text) const { return out_.find(text) != std::string::npos; }

  qvtest::ScratchDir dir_;
  std::string out_;
  std::string err_;
};

TEST_F(PatchcheckTest, ReportsWhatTheUpdaterSees) {
  // The delete entry "..\..\Windows" breaks a rule: an error, status 1.
  ASSERT_EQ(Run({"--ui-language", "1031", Folder()}), 1) << err_;
  EXPECT_TRUE(Says("brand: \"ACME\"")) << out_;
  EXPECT_TRUE(Says("\\ACME\\game.xml"));
  EXPECT_TRUE(Says("intoro: \"a\\nb &amp; c\""));  // converted line break, entity as text
  EXPECT_TRUE(Says("chosen for UI language 1031 (0x0407): \"jp\""));
  EXPECT_TRUE(Says("  a.bin\n  sub\\b.bin\n"));
  const char* warnings[] = {
      "entity reference &amp;",
      "attribute value \"a b\" holds a blank",
      "language/lang03 is ignored",
      "language/lang000000013 is never read: the updater looks for lang13",
      "delete/p04 is ignored",
      "error_copy holds \\n",
      "language \"en\" has no text for message/intoro",
      "language \"jp\" has no message/error_link, error_name, error_length, error_case, error_running, error_busy, error_space, "
      "error_access, unchanged, error_restore, recovered, error_recovery: the updater shows its built-in Japanese "
      "texts there",
      "language \"en\" has no message/error_link, error_name, error_length, error_case, error_running, error_busy, error_space, "
      "error_access, unchanged, error_restore, recovered, error_recovery: the updater shows its built-in English "
      "texts there",
      "the longest path below data has 9 units: it installs only into folders of up to 249 units",
      "errors: 1\n  error [path-dot] delete/p02: \"..\\..\\Windows\": the path has a \".\" or "
      "\"..\" component; the updater deletes nothing for it\n",
  };
  for (const char* warning : warnings) EXPECT_TRUE(Says(warning)) << warning << "\n" << out_;
  EXPECT_FALSE(Says("lang0000000014"));  // ten digits: not a numbered name
}

TEST_F(PatchcheckTest, JsonCarriesEveryKey) {
  ASSERT_EQ(Run({"--json", "--ui-language", "0x0409", Folder()}), 1);
  for (const char* key : {"\"brand\": \"ACME\"", "\"app\": ", "\"instpath\": ", "\"mutex\": ",
                          "\"confmutex\": ", "\"major\": \"1\"", "\"minor\": \"2\"",
                          "\"default\": \"jp\"", "\"languages\": [{\"key\": \"en\", \"code\": 1033",
                          "\"error_inst\": ", "\"title\": ", "\"chosen\": \"en\"",
                          "\"delete\": [\"old.dll\", \"..\\\\..\\\\Windows\"]",
                          "\"copy\": [\"a.bin\", \"sub\\\\b.bin\"]",
                          "\"errors\": [{\"rule\": \"path-dot\", \"where\": \"delete/p02\", \"text\": ",
                          "\"error_link\": \"The patch cannot be installed: ",
                          "\"unchanged\": \"The game was left unchanged.\"", "\"warnings\": [\"",
                          "\"error\": null}"})
    EXPECT_TRUE(Says(key)) << key << "\n" << out_;
  EXPECT_EQ(out_.find('\n'), out_.size() - 1);  // one line
}

TEST_F(PatchcheckTest, RefusedDescriptions) {
  struct Case {
    const char* name;
    std::string description;
    const char* reason;
    const char* warning;
  };
  const std::string body = "<document><language><lang00><code>1</code><prifix>jp</prifix>"
                           "</lang00></language></document>";
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  const Case cases[] = {
      {"byte-order mark", "\xEF\xBB\xBF" + declaration + body, "(error 4)", "byte-order mark"},
      {"blank line", "\r\n" + declaration + body, "(error 4)", "blank line"},
      {"empty-element tag", declaration + "<document><x/></document>", "タグ終端</document>",
       "empty-element tag <x/>"},
      {"no language", declaration + "<document><brand>b</brand></document>",
       "no language is defined", ""},
      {"other root", declaration + "<update><language><lang00><code>1</code></lang00>"
                                   "</language></update>",
       "no language", "the top element is <update>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.WriteFile(u"updateinfo.xml", c.description);
    EXPECT_EQ(Run({Folder()}), 1);
    EXPECT_TRUE(Says(c.reason)) << out_;
    EXPECT_TRUE(Says(c.warning)) << out_;
  }
  ASSERT_EQ(Run({"--json", qvtest::U8(dir_.Path(u"nowhere"))}), 1);
  EXPECT_TRUE(Says("\"error\": \"updateinfo.xml was not found.\"")) << out_;
}

// The lint's limits, each on both sides: entity names of up to 32 name
// characters, excerpts of 40 characters, numbered names of up to 9 digits.
TEST(DescriptionLint, LimitsHoldAtTheirEdges) {
  const auto warnings = [](const std::string& bytes) {
    std::vector<std::string> found;
    LintDescriptionBytes(bytes, &found);
    std::string all;
    for (const std::string& line : found) all += line + "\n";
    return all;
  };
  const std::string name32 = "azAZ09#" + std::string(25, 'x');
  EXPECT_EQ(warnings("<a>&" + name32 + ";&" + name32 + "y;&a-b;&;</a>"),
            "line 1: entity reference &" + name32 +
                "; stays as these characters: the updater does not replace entities\n");
  const std::string value40 = "a\tb\rc\nd" + std::string(33, 'e');
  EXPECT_EQ(warnings("<a k=\"" + value40 + "\"></a>\n<b k='" + value40 + "f'></b>"),
            "line 1: attribute value \"a b c d" + std::string(33, 'e') +
                "\" holds a blank: the updater ends the value at the first blank and ignores "
                "the rest of the tag\nline 3: attribute value \"a b c d" + std::string(33, 'e') +
                "...\" holds a blank: the updater ends the value at the first blank and ignores "
                "the rest of the tag\n");
}

TEST_F(PatchcheckTest, RecordNamesThatAreNotPlainAreErrors) {
  std::string description = kDescription;
  description.replace(description.find("<brand>ACME</brand><app>game</app>"), 34,
                      "<brand>..\\..\\x</brand><app>a:b</app>");
  dir_.WriteFile(u"updateinfo.xml", description);
  ASSERT_EQ(Run({Folder()}), 1);
  EXPECT_TRUE(Says("error [name-character] brand: \"..\\..\\x\" is not a plain name")) << out_;
  EXPECT_TRUE(Says("error [name-character] app: \"a:b\" is not a plain name")) << out_;
}

// Every kind of link is found by the walk's own tests; here one is reported.
TEST_F(PatchcheckTest, DataLinksAreErrorsAndNeverFollowed) {
  qvtest::Fence fence(dir_.Native(u"outside"));
  if (!qvtest::MakeLink(dir_.Native(u"data\\linked"), fence.Root(), true))
    GTEST_SKIP() << "this system makes no links";
  ASSERT_EQ(Run({Folder()}), 1);
  EXPECT_TRUE(Says("error [data-link] data\\linked: a link")) << out_;
  EXPECT_FALSE(Says("secret.txt"));
  qvtest::RemoveLink(dir_.Native(u"data\\linked"));
}

// patchcheck and the updater judge every delete entry and data name with
// the same rules: what one refuses, the other does.
TEST_F(PatchcheckTest, AgreesWithTheUpdaterOnEveryEntryAndName) {
  const std::vector<std::u16string> entries = {
      u"old.dll", u"cache\\", u"a/b", u"..\\x", u"a\\..\\..\\x", u".", u"C:x", u"\\x",
      u"*.tmp", u"NUL", u"dot.", u"a:b", u"sub\\b.bin"};
  std::vector<std::string> texts;
  for (const std::u16string& entry : entries) texts.push_back(qvtest::U8(entry));
  std::string description = kDescription;
  const std::size_t start = description.find("<delete>");
  description.replace(start, description.find("</delete>") + 9 - start, qvtest::DeleteListXml(texts));
  dir_.WriteFile(u"updateinfo.xml", description);
  Run({Folder()});

  qvtest::ScratchDir game;
  confine::Tree tree;
  ASSERT_EQ(tree.Open(game.Path().c_str(), {}), confine::Rule::kOk);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const bool reported = Says("] delete/" + qvtest::EntryTag(i + 1) + ":");
    EXPECT_EQ(reported, tree.Delete(entries[i]) == confine::DeleteResult::kRefused)
        << qvtest::U8(entries[i]);
  }
#ifndef _WIN32
  // Names Windows cannot hold; on this system they can be made.
  for (const char* name : {"ok.txt", "CON", "trailing.", "x\\..\\y", "Sub"}) {
    std::ofstream(dir_.Native(u"data") / name) << name;
    Run({Folder()});
    std::vector<std::u16string> list;
    confine::Finding finding = ListPatchData(dir_.Path(u"data").c_str(), tree, &list);
    EXPECT_EQ(Says("] data\\"), finding.rule != confine::Rule::kOk) << name << "\n" << out_;
    std::filesystem::remove(dir_.Native(u"data") / name);
  }
#endif
}

TEST_F(PatchcheckTest, BadUsage) {
  const std::vector<std::string> cases[] = {
      {}, {"--ui-language"}, {"--ui-language", "70000", "x"}, {"--ui-language", "12.5", "x"},
      {"--what", "x"}, {"a", "b"},
  };
  for (const auto& arguments : cases) {
    EXPECT_EQ(Run(arguments), 2);
    EXPECT_NE(err_.find("usage: patchcheck"), std::string::npos);
  }
}

}  // namespace
