// Runs the updater executable with the script front end on a patch folder
// made by the test, against a sandbox game installation.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "test_support.h"

namespace qvtest {

class UpdaterSandbox {
 public:
  // The patch folder is <root>/patch.
  UpdaterSandbox();
  ~UpdaterSandbox();

  // Makes <root>/`name` the patch folder that the calls below write and run.
  void UsePatch(const std::string& name);
  // Elements written into the next descriptions' document besides the usual
  // ones (XML text).
  void AddToDescription(const std::string& elements) { description_extra_ = elements; }

  // Writes patch/updateinfo.xml with the delete entries (p01...) and the
  // texts of its one language ("jp", code 1041), with `error_link` when
  // given; its install record is appdata/QvTest/Game.xml.
  void WriteDescription(const std::vector<std::string>& delete_entries = {},
                        const std::string& error_link = "") const;
  // Writes the install record appdata/QvTest/Game.xml with these bytes.
  void WriteRecord(const std::string& bytes) const;
  // A record naming the install folder the usual way.
  void WriteRecordForGame() const;

  // patch/data/<relative> and game/<relative> (forward slashes).
  void WriteData(const std::string& relative, const std::string& bytes) const;
  void WriteGame(const std::string& relative, const std::string& bytes) const;
  std::string ReadGame(const std::string& relative) const;
  bool GameHas(const std::string& relative) const;

  // Makes `link` (any path in the sandbox) point to `target`; false where
  // the system makes no links. The link is removed with the sandbox.
  bool Link(const std::filesystem::path& link, const std::filesystem::path& target, bool folder);

  // QV_FAULT for the next runs (empty: none).
  void SetFault(const std::string& fault) { fault_ = fault; }

  std::filesystem::path Patch() const { return patch_; }
  std::filesystem::path Game() const { return game_; }
  std::filesystem::path Root() const { return root_.Native(); }
  // The install folder as the record names it, in UTF-8.
  std::string GameText() const;

  // Runs the updater in the patch folder with `answers` on its standard
  // input; returns the transcript lines. `screen` sets QV_SCREEN,
  // `frontend` QV_UI.
  std::vector<std::string> Run(const std::string& answers = "", const std::string& screen = "",
                               const std::string& frontend = "script") const;
  // Starts the updater in the patch folder, its standard input and output
  // piped to the test.
  std::unique_ptr<ChildProcess> Start(const std::string& screen = "",
                                      const std::string& frontend = "script") const;

 private:
  ScratchDir root_;
  std::filesystem::path game_;
  std::filesystem::path patch_;
  std::vector<std::filesystem::path> links_;
  std::string fault_;
  std::string description_extra_;
};

// A path as UTF-8 text.
std::string Native8(const std::filesystem::path& path);

// The lines of a transcript, without their ends (LF or CR LF).
std::vector<std::string> TranscriptLines(const std::string& text);

std::string BoxLine(const std::string& owner, const std::string& caption,
                    const std::string& text, const std::string& buttons,
                    const std::string& answer = "ok");

// The transcript lines of an ordinary run with the generated description.
inline const std::string kTitle = "テスト更新";
inline const std::string kIntoro = "更新しますか？\nOKで開始します。";
// The window is painted white when there is no picture to show.
inline const std::string kWindowLine =
    "window title=\"テスト更新\" client=640x480 at=640,300 paint=640x480 colour=FFFFFF";
// The progress dialog, centred on the window.
inline const std::string kDialogLine = "dialog text=\"ファイルをコピーしています\" at=838,520";
inline const std::string kSuccessLine = BoxLine("dialog", kTitle, "更新が完了しました。", "ok");
// The confirmation, answered.
inline std::string Confirm(const std::string& answer = "ok") {
  return BoxLine("main", kTitle, kIntoro, "okcancel", answer);
}

}  // namespace qvtest
