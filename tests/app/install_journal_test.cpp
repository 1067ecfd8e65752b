// The journal is read as a stranger's file: recovery follows only keys of
// its own parts and paths of the game, and never deletes what it did not make.
#include "app/install_journal.h"

#include <gtest/gtest.h>

#include "app/install_transaction.h"
#include "file/confined_tree.h"
#include "os/error.h"
#include "os/fault.h"
#include "test_support.h"

namespace {

std::vector<std::u16string> Lines(std::initializer_list<const char16_t*> body) {
  std::vector<std::u16string> lines{u"qvupdate journal 1", u"state switching"};
  for (const char16_t* line : body) lines.emplace_back(line);
  lines.emplace_back(u"end");
  return lines;
}

TEST(InstallJournal, ACraftedJournalNamesNothingOutsideTheGameOrInsideTheWorkFolder) {
  install::Journal journal;
  EXPECT_TRUE(install::ParseJournal(
      Lines({u"delete 0\tcache", u"folder new", u"file 1\tnew\\a.txt", u"file log\tinstall.log",
             u"file 99999999999999999999\tnew\\b.txt", u"tree t0\tsub\\fresh"}),
      &journal));
  EXPECT_EQ(journal.files.size(), 3u);
  EXPECT_EQ(journal.trees, (std::vector<install::JournalEntry>{{u"t0", u"sub\\fresh"}}));
  for (const char16_t* line :
       {u"file 0\t..\\outside.txt", u"file 0\tC:\\Windows\\win.ini", u"file 0\t\\\\server\\share\\x",
        u"file 0\t~qvupdate\\journal", u"file 0\t~QVUPDATE\\b\\0", u"file ..\tgame.exe",
        u"file 0\\1\tgame.exe", u"file \tgame.exe", u"folder ..", u"folder ~qvupdate",
        u"folder a\\..\\..", u"delete ../0\tcache", u"tree t0\t..\\x", u"tree t0\t~qvupdate\\s",
        u"tree t/0\tnew", u"tree t0", u"file 999999999999999999999\tgame.exe"}) {
    SCOPED_TRACE(qvtest::U8(line));
    EXPECT_FALSE(install::ParseJournal(Lines({line}), &journal));
  }
}

// A delete entry the rules refused at the install was never moved; the
// journal keeps it only to keep the keys in step.
TEST(InstallJournal, ARefusedDeleteEntryIsKeptButNeverFollowed) {
  install::Journal journal;
  ASSERT_TRUE(install::ParseJournal(Lines({u"delete 0\t..\\evil"}), &journal));
  EXPECT_EQ(journal.deletions.size(), 1u);
}

TEST(InstallJournal, RecoveryLeavesAFolderItDidNotEmptyAndWhatIsInIt) {
  qvtest::ScratchDir dir;
  dir.WriteFile(u"game\\saves\\slot1.sav", "progress");
  dir.WriteFile(u"game\\~qvupdate\\journal",
                "qvupdate journal 1\r\nstate switching\r\nfolder saves\r\nend\r\n");
  for (const char16_t* part : {u"game\\~qvupdate\\s", u"game\\~qvupdate\\b", u"game\\~qvupdate\\d"})
    std::filesystem::create_directories(dir.Native(part));
  confine::Tree tree;
  ASSERT_EQ(tree.Open(dir.Path(u"game").c_str(), {}), confine::Rule::kOk);
  install::Failure failure;
  EXPECT_EQ(install::Transaction::Recover(tree, &failure), install::Recovery::kRolledBack);
  EXPECT_EQ(dir.ReadFile(u"game\\saves\\slot1.sav"), "progress");
  EXPECT_FALSE(std::filesystem::exists(dir.Native(u"game\\~qvupdate")));
}

// A failure must reach the player as one, also when the system gave no
// error code for it.
TEST(InstallJournal, AFailureWithoutAnErrorCodeStillReportsOne) {
  qvtest::ScratchDir dir;
  std::filesystem::create_directories(dir.Native(u"game"));
  confine::Tree tree;
  ASSERT_EQ(tree.Open(dir.Path(u"game").c_str(), {}), confine::Rule::kOk);
  install::Transaction transaction(tree);
  os::ArmFaults({os::FileOp::kAny, 1, 0, os::FaultAction::kFailOnce});
  const bool begun = transaction.Begin();
  os::DisarmFaults();
  EXPECT_FALSE(begun);
  EXPECT_EQ(transaction.LastFailure().error, os::kErrorInvalidHandle);
}

// A folder that the game lacks is staged whole, under one key for all the
// jobs below it; the folder job that names it is that key. One whose names
// would clash (folders or files told apart only by case, a file named
// twice) is staged file by file, as the rest.
TEST(InstallJournal, NewFoldersAreStagedWholeUnlessTheirNamesClash) {
  qvtest::ScratchDir dir;
  dir.WriteFile(u"game\\sub\\old.txt", "old");
  confine::Tree tree;
  ASSERT_EQ(tree.Open(dir.Path(u"game").c_str(), {}), confine::Rule::kOk);
  install::Transaction transaction(tree);
  ASSERT_TRUE(transaction.Begin());
  EXPECT_EQ(transaction.PlanStaging({u"a.txt", u"sub\\b.txt", u"new\\c\\d.txt", u"new",
                                     u"new/c//e.txt", u"sub\\fresh\\f.txt", u"Case\\g.txt",
                                     u"case\\h.txt", u"twice\\i.txt", u"twice\\I.TXT",
                                     u"twice\\j.txt"}),
            (std::vector<std::u16string>{u"", u"", u"t0\\c\\d.txt", u"t0", u"t0\\c\\e.txt",
                                         u"t1\\f.txt", u"", u"", u"", u"", u""}));
  EXPECT_TRUE(transaction.Rollback());
  EXPECT_FALSE(std::filesystem::exists(dir.Native(u"game\\~qvupdate")));
}

}  // namespace
