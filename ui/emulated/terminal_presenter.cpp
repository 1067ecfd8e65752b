// The terminal front end: each box as a framed caption and text with a
// prompt, the window's title and picture size, and a live progress line
// while the dialog is open.
#include <cstdio>
#include <iostream>
#include <string>

#include "ui/emulated/answer_word.h"
#include "ui/emulated/console.h"
#include "ui/emulated/presenter.h"
#include "base/utf8.h"
#include "ui/emulated/transcript_text.h"
#include "ui/emulated/window_system.h"
#include "ui/progress_text.h"

namespace ui {

namespace {

constexpr int kFrameWidth = 60;
// Keeps the progress line within an 80-column terminal.
constexpr std::size_t kPathColumns = 40;

class TerminalPresenter final : public Presenter {
 public:
  TerminalPresenter() : interactive_input_(IsTerminalInput()), live_(IsTerminalOutput()) {}

  void WindowCreated(const std::u16string& title, const Rect& client) override {
    Print("[window] " + ToUtf8(title) + "  (" + std::to_string(client.right - client.left) +
          " x " + std::to_string(client.bottom - client.top) + ")\n");
  }

  Answer MessageBox(OwnerKind, const char16_t* caption, const char16_t* text,
                    Buttons buttons) override {
    EndProgressLine();
    std::string heading = "+-- " + ToUtf8(caption) + " ";
    std::string frame = heading + std::string(heading.size() < kFrameWidth
                                                  ? kFrameWidth - heading.size() : 0, '-');
    std::string body;
    std::string lines = ToUtf8(text);
    std::size_t start = 0;
    while (start <= lines.size()) {
      std::size_t end = lines.find('\n', start);
      if (end == std::string::npos) end = lines.size();
      std::string line = lines.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      body += "| " + line + "\n";
      start = end + 1;
    }
    Print("\n" + frame + "\n" + body + "+" + std::string(kFrameWidth - 1, '-') + "\n");
    return buttons == Buttons::kOkCancel ? AskOkCancel() : AcknowledgeOk();
  }

  void DialogOpened(const std::u16string& text, const Rect&) override {
    Print("[progress] " + ToUtf8(text) + "\n");
  }
  void DialogHidden() override { EndProgressLine(); }
  void DialogEnded(std::intptr_t) override { EndProgressLine(); }

  void ShowProgress(const Progress& progress) override {
    std::string file = progress.file ? ToUtf8(progress.file) : std::string();
    int percent = ProgressPercent(progress);
    if (percent == last_percent_ && file == last_file_) return;
    bool new_file = file != last_file_;
    last_percent_ = percent;
    last_file_ = file;
    std::string line =
        std::to_string(percent) + "%  " + ToUtf8(FormatProgressLine(progress, kPathColumns));
    if (live_) {
      Print("\r\x1b[K  " + line);
      line_open_ = true;
    } else if (new_file) {
      // Without a terminal, one line per file keeps a log readable.
      Print("  " + line + "\n");
    }
  }

  void Exited(int exit_code) override {
    EndProgressLine();
    Print("[exit] code " + std::to_string(exit_code) + "\n");
  }

 private:
  static void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  void EndProgressLine() {
    if (!line_open_) return;
    Print("\n");
    line_open_ = false;
  }

  // Only a clear yes is OK: anything unclear asks again, and the end of
  // the input is Cancel, so nothing is installed without a real answer.
  Answer AskOkCancel() {
    for (;;) {
      Print("[O]K / [C]ancel? ");
      std::string line;
      if (!std::getline(std::cin, line)) {
        Print("Cancel (no input)\n");
        return Answer::kCancel;
      }
      if (!interactive_input_) Print(line + "\n");
      if (const std::optional<Answer> answer = ParseOkCancelAnswer(line)) return *answer;
      Print("Please answer ok (o, y, yes) or cancel (c, n, no, q).\n");
    }
  }

  // Waits for Enter only where someone can press it.
  Answer AcknowledgeOk() {
    if (!interactive_input_) {
      Print("[O]K\n");
      return Answer::kOk;
    }
    Print("[O]K (Enter) ");
    std::string line;
    std::getline(std::cin, line);
    return Answer::kOk;
  }

  bool interactive_input_;
  bool live_;
  bool line_open_ = false;
  int last_percent_ = -1;
  std::string last_file_;
};

}  // namespace

std::unique_ptr<Frontend> MakeTerminalFrontend() {
  return std::make_unique<WindowSystem>(std::make_unique<TerminalPresenter>());
}

}  // namespace ui
