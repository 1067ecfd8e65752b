// qvarc: the archive layout byte by byte, create and extract through the
// engine's member file, and archives that try to leave the folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "file/blowfish.h"
#include "support/file_tree.h"
#include "tools/qvarc/archive_format.h"
#include "tools/qvarc/command.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

class Qvarc : public testing::Test, public FileTree {
 protected:
  ToolRun Qv(const std::vector<std::string>& arguments) const {
    ToolRun run;
    run.status = RunQvarc(arguments, &run.out, &run.err);
    return run;
  }
};

void Put(std::string* bytes, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) *bytes += static_cast<char>(value >> (8 * i));
}

// One member "a\b.txt" holding "hello", written from the layout by hand.
std::string HandMadeArchive(const std::u16string& name = u"a\\b.txt") {
  std::string bytes = "QVAR";
  Put(&bytes, 1, 2);
  Put(&bytes, 0, 2);
  Put(&bytes, 1, 4);
  Put(&bytes, 32 + 5, 4);                   // directory offset
  Put(&bytes, 14 + 2 * name.size(), 4);     // directory size
  bytes.append(8, '\0');
  Put(&bytes, 0, 4);
  bytes += "hello";
  Put(&bytes, 32, 4);
  Put(&bytes, 5, 4);
  Put(&bytes, 0, 4);
  Put(&bytes, static_cast<std::uint32_t>(name.size()), 2);
  for (char16_t unit : name) Put(&bytes, unit, 2);
  return bytes;
}

TEST_F(Qvarc, ReadsAnArchiveWrittenFromTheLayout) {
  Write("hand.arc", HandMadeArchive());
  ToolRun run = Qv({"list", Arg("hand.arc")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "5\ta\\b.txt\n1 members, 5 bytes\n");
  run = Qv({"extract", Arg("hand.arc"), Arg("out"), "A\\B.TXT"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read("out/a/b.txt"), "hello");
}

TEST_F(Qvarc, RoundTripsPlainAndEnciphered) {
  Write("src/readme.txt", "read me");
  Write("src/scenario/第一章.txt", std::string(4099, 'x') + "tail");  // not a multiple of 8
  Write("src/empty.bin", "");
  Write("src/sub/deep/seven.bin", "1234567");
  for (const bool enciphered : {false, true}) {
    std::vector<std::string> create = {"create", Arg("a.arc"), Arg("src")};
    std::vector<std::string> extract = {"extract", Arg("a.arc"), Arg("out")};
    if (enciphered) {
      create.insert(create.end(), {"--key", "秘密の鍵"});
      extract.insert(extract.end(), {"--key", "秘密の鍵"});
    }
    fs::remove_all(At("out"));
    ToolRun run = Qv(create);
    ASSERT_EQ(run.status, 0) << run.err;
    run = Qv({"list", Arg("a.arc")});
    EXPECT_EQ(run.out, "0\tempty.bin\n7\treadme.txt\n4103\tscenario\\第一章.txt\n7\tsub\\deep\\seven.bin\n"
                       "4 members, 4117 bytes" + std::string(enciphered ? ", enciphered\n" : "\n"));
    run = Qv(extract);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Read("out/readme.txt"), "read me");
    EXPECT_EQ(Read("out/scenario/第一章.txt"), std::string(4099, 'x') + "tail");
    EXPECT_TRUE(fs::exists(At("out/empty.bin")));
    EXPECT_EQ(Read("out/sub/deep/seven.bin"), "1234567");
  }
  // Complete 8-byte blocks are stored enciphered with the key's schedule,
  // a short tail plain.
  const std::string archive = Read("a.arc");
  BlowfishSchedule schedule;
  ASSERT_TRUE(BlowfishSetKey(&schedule, "秘密の鍵", std::string("秘密の鍵").size()));
  std::string blocks(16, 'x');
  BlowfishEncipherBlocks(schedule, blocks.data(), 2);
  EXPECT_NE(archive.find(blocks), std::string::npos);
  EXPECT_EQ(archive.find("xxxxxxxx"), std::string::npos);
  EXPECT_NE(archive.find("read me"), std::string::npos);  // 7 bytes: no complete block

  ToolRun wrong = Qv({"extract", Arg("a.arc"), Arg("other"), "--key", "wrong"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("has another key"), std::string::npos) << wrong.err;
  EXPECT_EQ(Qv({"extract", Arg("a.arc"), Arg("other")}).status, 1);
  EXPECT_FALSE(fs::exists(At("other/readme.txt")));
}

TEST_F(Qvarc, MemberNamesNeverLeaveTheFolder) {
  for (const std::u16string name : {u"..\\escape.txt", u"/abs.txt", u"C:\\x.txt", u"ok\\..\\..\\up.txt",
                                    u"con.txt"}) {
    Write("evil.arc", HandMadeArchive(name));
    const ToolRun run = Qv({"extract", Arg("evil.arc"), Arg("box/inside")});
    EXPECT_EQ(run.status, 1) << U8(name);
    EXPECT_NE(run.err.find("is refused"), std::string::npos) << run.err;
  }
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(At("box")), fs::recursive_directory_iterator()), 1);
  EXPECT_FALSE(fs::exists(At("escape.txt")));
  EXPECT_FALSE(fs::exists(At("box/escape.txt")));
}

TEST_F(Qvarc, DamagedArchivesAreRefused) {
  const std::string good = HandMadeArchive();
  std::vector<std::string> bad = {good.substr(0, good.size() - 1), "QVAR"};  // cut short
  // Layout version, an unknown flag, a member offset past the member area
  // (33 + 5 > 37), a member size of 16 MiB + 5, a name length of 0, two
  // members with one described.
  for (const auto& [at, value] : {std::pair{4, 2}, {6, 4}, {37, 33}, {37 + 7, 1}, {37 + 12, 0}, {8, 2}}) {
    bad.push_back(good);
    bad.back()[at] = static_cast<char>(value);
  }
  for (const std::string& bytes : bad) {
    Write("bad.arc", bytes);
    EXPECT_EQ(Qv({"list", Arg("bad.arc")}).status, 1);
    EXPECT_EQ(Qv({"extract", Arg("bad.arc"), Arg("out")}).status, 1);
  }
  EXPECT_EQ(Qv({"list", Arg("missing.arc")}).status, 1);
}

TEST_F(Qvarc, CreateRefusesWhatCannotArriveWhole) {
  Write("src/a.txt", "a");
#ifndef _WIN32
  Write("src/A.TXT", "b");
  const ToolRun run = Qv({"create", Arg("c.arc"), Arg("src")});
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(fs::exists(At("c.arc")));
#endif
  EXPECT_EQ(Qv({"create", Arg("c.arc"), Arg("nothing")}).status, 1);
}

TEST_F(Qvarc, Usage) {
  for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
           {}, {"list"}, {"create", "a"}, {"frob", "a", "b"}, {"extract", "a", "b", "--key"}})
    EXPECT_EQ(Qv(usage).status, 2) << testing::PrintToString(usage);
  const ToolRun help = Qv({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("qvarc create ARCHIVE DIR"), std::string::npos);
}

}  // namespace
}  // namespace qvtest
