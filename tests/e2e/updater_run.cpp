#include "updater_run.h"

#include "support/links.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace qvtest {

namespace fs = std::filesystem;

namespace {

// The transcript's quoting of a text.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out + "\"";
}

fs::path FromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

std::string Native8(const fs::path& path) {
  auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

UpdaterSandbox::UpdaterSandbox() : game_(root_.Native(u"ゲーム")), patch_(root_.Native(u"patch")) {
  fs::create_directories(Patch() / "data");
  fs::create_directories(game_);
  fs::create_directories(root_.Native(u"appdata"));
}

void UpdaterSandbox::UsePatch(const std::string& name) {
  patch_ = root_.Native() / FromUtf8(name);
  fs::create_directories(patch_ / "data");
}

UpdaterSandbox::~UpdaterSandbox() {
  for (const fs::path& link : links_) RemoveLink(link);
}

bool UpdaterSandbox::Link(const fs::path& link, const fs::path& target, bool folder) {
  fs::create_directories(link.parent_path());
  if (!MakeLink(link, target, folder)) return false;
  links_.push_back(link);
  return true;
}

void UpdaterSandbox::WriteDescription(const std::vector<std::string>& delete_entries,
                                      const std::string& error_link) const {
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<document>\n"
      << "  <brand>QvTest</brand>\n  <app>Game</app>\n"
      << "  <language><default>jp</default>\n"
      << "    <lang00><code>1041</code><prifix>jp</prifix><lang>日本語</lang></lang00>\n"
      << "  </language>\n  <jp>\n    <message>\n"
      << "      <wndtitle>テスト更新</wndtitle>\n"
      << "      <intoro>更新しますか？\\nOKで開始します。</intoro>\n"
      << "      <success>更新が完了しました。</success>\n"
      << "      <error_inst>ゲームが見つかりません。</error_inst>\n"
      << "      <error_copy>コピーに失敗しました。\\n</error_copy>\n";
  if (!error_link.empty()) xml << "      <error_link>" << error_link << "</error_link>\n";
  xml << "    </message>\n"
      << "    <message_sys><copying>ファイルをコピーしています</copying></message_sys>\n"
      << "    <message_error><title>エラー</title><language>言語</language>"
      << "</message_error>\n  </jp>\n"
      << description_extra_ << DeleteListXml(delete_entries) << "</document>\n";
  WriteBytes(Patch() / "updateinfo.xml", xml.str());
}

void UpdaterSandbox::WriteRecord(const std::string& bytes) const {
  WriteBytes(root_.Native(u"appdata") / "QvTest" / "Game.xml", bytes);
}

void UpdaterSandbox::WriteRecordForGame() const {
  WriteRecord("<?xml version=\"1.0\"?>\r\n<install><path>" + GameText() +
              "</path><version>1</version></install>\r\n");
}

std::string UpdaterSandbox::GameText() const { return Native8(game_); }

void UpdaterSandbox::WriteData(const std::string& relative, const std::string& bytes) const {
  WriteBytes(Patch() / "data" / FromUtf8(relative), bytes);
}

void UpdaterSandbox::WriteGame(const std::string& relative, const std::string& bytes) const {
  WriteBytes(game_ / FromUtf8(relative), bytes);
}

std::string UpdaterSandbox::ReadGame(const std::string& relative) const {
  return ReadBytes(game_ / FromUtf8(relative));
}

bool UpdaterSandbox::GameHas(const std::string& relative) const {
  return fs::exists(game_ / FromUtf8(relative));
}

std::vector<std::string> UpdaterSandbox::Run(const std::string& answers,
                                             const std::string& screen,
                                             const std::string& frontend) const {
  const std::unique_ptr<ChildProcess> updater = Start(screen, frontend);
  updater->Send(answers);
  updater->CloseInput();
  updater->ReadToEnd(120000);
  // The updater ends with 0 to 3, the code its transcript's last line
  // gives; anything else is a crash, a sanitizer's report or the time-out.
  const int status = updater->Wait(10000).value_or(-1);
  EXPECT_TRUE(status >= 0 && status <= 3) << "the updater ended with " << status;
  std::vector<std::string> lines = TranscriptLines(updater->Output());
  // The script front end ends its transcript with the code it exits with.
  if (frontend == "script" && status >= 0 && status <= 3 && !lines.empty()) {
    EXPECT_EQ(lines.back(), "exit code=" + std::to_string(status));
  }
  return lines;
}

std::unique_ptr<ChildProcess> UpdaterSandbox::Start(const std::string& screen,
                                                    const std::string& frontend) const {
  const std::string appdata = Native8(root_.Native(u"appdata"));
  ScopedEnv ui("QV_UI", frontend.c_str());
  ScopedEnv fault("QV_FAULT", fault_.empty() ? nullptr : fault_.c_str());
  ScopedEnv record_folder("QV_COMMON_APPDATA", appdata.c_str());
  ScopedEnv screen_size("QV_SCREEN", screen.empty() ? nullptr : screen.c_str());
  // The build copies the updater beside the test.
  return std::make_unique<ChildProcess>(ProgramBesideTest("updater"), std::vector<std::string>{},
                                        ChildOptions{Patch(), true});
}

std::vector<std::string> TranscriptLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string BoxLine(const std::string& owner, const std::string& caption, const std::string& text,
                    const std::string& buttons, const std::string& answer) {
  return "box owner=" + owner + " caption=" + Quoted(caption) + " text=" + Quoted(text) +
         " buttons=" + buttons + " answer=" + answer;
}

}  // namespace qvtest
