// The script front end: the whole run as a transcript on standard output,
// one UTF-8 line per event, and the answers of OK/Cancel boxes read from
// standard input.
#include <cstdio>
#include <iostream>
#include <string>

#include "ui/emulated/presenter.h"
#include "ui/emulated/transcript_text.h"
#include "ui/emulated/window_system.h"

namespace ui {

namespace {

const char* OwnerName(OwnerKind owner) {
  switch (owner) {
    case OwnerKind::kMain: return "main";
    case OwnerKind::kDialog: return "dialog";
    case OwnerKind::kNone: break;
  }
  return "none";
}

// "cancel" cancels; anything else, an empty line or the end of the input
// is OK.
Answer ReadAnswer() {
  std::string line;
  if (!std::getline(std::cin, line)) return Answer::kOk;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line == "cancel" ? Answer::kCancel : Answer::kOk;
}

class ScriptPresenter final : public Presenter {
 public:
  void WindowCreated(const std::u16string& title, const Rect& client) override {
    Line("window title=\"" + EscapeForTranscript(title) + "\" client=" +
         std::to_string(client.right - client.left) + "x" +
         std::to_string(client.bottom - client.top) + " at=" + std::to_string(client.left) +
         "," + std::to_string(client.top));
  }

  // A question is written up to "answer=" before the answer is read, so that
  // a program driving the updater sees what it answers.
  Answer MessageBox(OwnerKind owner, const char16_t* caption, const char16_t* text,
                    Buttons buttons) override {
    std::string line = std::string("box owner=") + OwnerName(owner) + " caption=\"" +
                       EscapeForTranscript(caption) + "\" text=\"" + EscapeForTranscript(text) +
                       "\" buttons=" + (buttons == Buttons::kOkCancel ? "okcancel" : "ok") +
                       " answer=";
    Answer answer = Answer::kOk;
    if (buttons == Buttons::kOkCancel) {
      Write(line);
      line.clear();
      answer = ReadAnswer();
    }
    Line(line + (answer == Answer::kOk ? "ok" : "cancel"));
    return answer;
  }

  void DialogOpened(const std::u16string& text) override {
    Line("dialog text=\"" + EscapeForTranscript(text) + "\"");
  }
  void DialogHidden() override { Line("dialog hide"); }
  void DialogEnded(std::intptr_t result) override {
    Line("dialog end result=" + std::to_string(result));
  }
  void ShowProgress(const Progress&) override {}
  void Exited(int exit_code) override { Line("exit code=" + std::to_string(exit_code)); }

 private:
  // Flushed at once, so the transcript is complete up to any crash.
  static void Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  static void Line(const std::string& line) { Write(line + "\n"); }
};

}  // namespace

std::unique_ptr<Frontend> MakeScriptFrontend() {
  return std::make_unique<WindowSystem>(std::make_unique<ScriptPresenter>());
}

}  // namespace ui
