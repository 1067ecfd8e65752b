// The script front end: the whole run as a transcript on standard output,
// one UTF-8 line per event, and the answers of OK/Cancel boxes read from
// standard input.
#include <cstdio>
#include <iostream>
#include <set>
#include <string>
#include <utility>

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

// "RRGGBB" when every pixel of the picture has that colour, else empty.
std::string PlainColour(const Picture& picture) {
  const auto* rows = static_cast<const unsigned char*>(picture.pixels);
  if (!rows || picture.width == 0 || picture.height == 0) return {};
  const unsigned char* first = rows;
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    const unsigned char* pixel = rows + std::size_t{y} * picture.stride;
    for (std::uint32_t x = 0; x < picture.width; ++x, pixel += picture.bytes_per_pixel)
      if (pixel[0] != first[0] || pixel[1] != first[1] || pixel[2] != first[2]) return {};
  }
  char text[7];
  std::snprintf(text, sizeof text, "%02X%02X%02X", first[2], first[1], first[0]);
  return text;
}

class ScriptPresenter final : public Presenter {
 public:
  // The window's line waits for its first painting, which it names: the
  // picture's size, and its colour when it has only one.
  void WindowCreated(const std::u16string& title, const Rect& client) override {
    Flush();
    window_line_ = "window title=\"" + EscapeForTranscript(title) + "\" client=" +
                   std::to_string(client.right - client.left) + "x" +
                   std::to_string(client.bottom - client.top) + " at=" +
                   std::to_string(client.left) + "," + std::to_string(client.top);
  }

  void PictureDrawn(const Picture& picture) override {
    if (window_line_.empty()) return;
    const std::string colour = PlainColour(picture);
    window_line_ += " paint=" + std::to_string(picture.width) + "x" +
                    std::to_string(picture.height) + (colour.empty() ? "" : " colour=" + colour);
    Flush();
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

  void DialogOpened(const std::u16string& text, const Rect& frame) override {
    Line("dialog text=\"" + EscapeForTranscript(text) + "\" at=" + std::to_string(frame.left) +
         "," + std::to_string(frame.top));
  }
  // Each file once, when it is first shown; the sizes as the dialog last
  // showed them when it goes.
  void DialogHidden() override {
    EndProgress();
    Line("dialog hide");
  }
  void DialogEnded(std::intptr_t result) override {
    EndProgress();
    Line("dialog end result=" + std::to_string(result));
  }
  void ShowProgress(const Progress& progress) override {
    last_progress_ = "progress done=" + std::to_string(progress.total_done) +
                     " total=" + std::to_string(progress.total_size);
    const std::u16string file = progress.file ? progress.file : u"";
    if (files_shown_.insert(file).second)
      Line("progress file=\"" + EscapeForTranscript(file) + "\"");
  }
  void Exited(int exit_code) override { Line("exit code=" + std::to_string(exit_code)); }

 private:
  // Flushed at once, so the transcript is complete up to any crash.
  static void Emit(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  void Write(const std::string& text) {
    Flush();
    Emit(text);
  }
  void Line(const std::string& line) { Write(line + "\n"); }
  // Writes the window's line if it still waits.
  void Flush() {
    if (window_line_.empty()) return;
    Emit(std::exchange(window_line_, {}) + "\n");
  }
  void EndProgress() {
    if (!last_progress_.empty()) Line(std::exchange(last_progress_, {}));
  }

  std::string window_line_;
  std::set<std::u16string> files_shown_;
  std::string last_progress_;
};

}  // namespace

std::unique_ptr<Frontend> MakeScriptFrontend() {
  return std::make_unique<WindowSystem>(std::make_unique<ScriptPresenter>());
}

}  // namespace ui
