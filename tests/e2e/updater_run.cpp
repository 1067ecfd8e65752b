#include "updater_run.h"

#include "support/links.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <sstream>

namespace qvtest {

namespace fs = std::filesystem;

namespace {

// The updater is copied beside the test by the build; CTest runs the test
// in that folder.
fs::path UpdaterPath() {
#ifdef _WIN32
  const char* name = "updater.exe";
#else
  const char* name = "updater";
#endif
  if (const char* folder = std::getenv("QV_TEST_DATA"); folder && fs::exists(fs::path(folder) / name))
    return fs::path(folder) / name;
  return fs::current_path() / name;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
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
                                      const PatchTexts& t) const {
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<document>\n"
      << "  <brand>QvTest</brand>\n  <app>Game</app>\n"
      << "  <language><default>jp</default>\n"
      << "    <lang00><code>1041</code><prifix>jp</prifix><lang>日本語</lang></lang00>\n"
      << "  </language>\n  <jp>\n    <message>\n"
      << "      <wndtitle>" << t.wndtitle << "</wndtitle>\n"
      << "      <intoro>" << t.intoro << "</intoro>\n"
      << "      <success>" << t.success << "</success>\n"
      << "      <error_inst>" << t.error_inst << "</error_inst>\n"
      << "      <error_copy>" << t.error_copy << "</error_copy>\n";
  if (!t.error_link.empty()) xml << "      <error_link>" << t.error_link << "</error_link>\n";
  if (!t.error_name.empty()) xml << "      <error_name>" << t.error_name << "</error_name>\n";
  xml << "    </message>\n"
      << "    <message_sys><copying>" << t.copying << "</copying></message_sys>\n"
      << "    <message_error><title>" << t.title << "</title><language>言語</language>"
      << "</message_error>\n  </jp>\n";
  xml << description_extra_;
  if (!delete_entries.empty()) {
    xml << "  <delete>\n";
    for (std::size_t i = 0; i < delete_entries.size(); ++i) {
      char tag[24];
      std::snprintf(tag, sizeof tag, "p%02zu", i + 1);
      xml << "    <" << tag << ">" << delete_entries[i] << "</" << tag << ">\n";
    }
    xml << "  </delete>\n";
  }
  xml << "</document>\n";
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
  fs::path input = Root() / "answers.txt";
  fs::path output = Root() / "transcript.txt";
  WriteBytes(input, answers);
  std::string appdata = Native8(root_.Native(u"appdata"));
#ifdef _WIN32
  std::string command = "cd /d " + Native8(Patch()) + " && set QV_UI=" + frontend + "&& set QV_FAULT=" + fault_ +
                        "&& set QV_COMMON_APPDATA=" + appdata + "&& set QV_SCREEN=" + screen + "&& " +
                        Native8(UpdaterPath()) + " < " + Native8(input) + " > " + Native8(output);
#else
  std::string command = "cd '" + Native8(Patch()) + "' && QV_UI=" + frontend + " QV_FAULT='" + fault_ +
                        "' QV_COMMON_APPDATA='" +
                        appdata + "' QV_SCREEN='" + screen + "' timeout 120 '" +
                        Native8(UpdaterPath()) + "' < '" + Native8(input) + "' > '" +
                        Native8(output) + "'";
#endif
  // The updater ends with 0 to 3, the code its transcript's last line
  // gives; anything else is a crash, a sanitizer's report or the time-out.
#ifdef _WIN32
  // The wide form keeps folder names in any language intact.
  const std::u16string wide = U16(command);
  const int status = _wsystem(reinterpret_cast<const wchar_t*>(wide.c_str()));
#else
  const int raw = std::system(command.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  EXPECT_TRUE(status >= 0 && status <= 3) << command << " ended with " << status;
  std::vector<std::string> lines = TranscriptLines(ReadBytes(output));
  // The script front end ends its transcript with the code it exits with.
  if (frontend == "script" && status >= 0 && status <= 3 && !lines.empty()) {
    EXPECT_EQ(lines.back(), "exit code=" + std::to_string(status));
  }
  return lines;
}

std::unique_ptr<ChildProcess> UpdaterSandbox::Start() const {
  const std::string appdata = Native8(root_.Native(u"appdata"));
  ScopedEnv frontend("QV_UI", "script");
  ScopedEnv fault("QV_FAULT", fault_.empty() ? nullptr : fault_.c_str());
  ScopedEnv record_folder("QV_COMMON_APPDATA", appdata.c_str());
  ScopedEnv screen("QV_SCREEN", nullptr);
  return std::make_unique<ChildProcess>(UpdaterPath(), std::vector<std::string>{},
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

std::string Quoted(const std::string& text) { return "\"" + Escape(text) + "\""; }

std::string BoxLine(const std::string& owner, const std::string& caption, const std::string& text,
                    const std::string& buttons, const std::string& answer) {
  return "box owner=" + owner + " caption=" + Quoted(caption) + " text=" + Quoted(text) +
         " buttons=" + buttons + " answer=" + answer;
}

}  // namespace qvtest
