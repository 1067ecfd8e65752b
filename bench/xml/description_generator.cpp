#include "description_generator.h"

#include <cstdio>

namespace {

void AppendLanguage(std::string* out, int n) {
  char head[256];
  std::snprintf(head, sizeof head,
                "  <lang%02d kind=\"text\" order='%d'><code>0x%04X</code><prifix>l%d</prifix>"
                "<lang>Language %d</lang></lang%02d>\r\n",
                n, n, 0x400 + n % 0x400, n, n, n);
  *out += head;
}

void AppendMessages(std::string* out, int n) {
  char name[32];
  std::snprintf(name, sizeof name, "l%d", n);
  *out += "  <";
  *out += name;
  *out +=
      ">\r\n"
      "    <!-- messages shown by the updater -->\r\n"
      "    <message>\r\n"
      "      <wndtitle>アップデート Update</wndtitle>\r\n"
      "      <intoro>ゲームを最新の状態に更新します。\\nよろしいですか？ This updates the game.</intoro>\r\n"
      "      <success>アップデートが完了しました。\\nThe update has finished.</success>\r\n"
      "      <error_version>バージョンが違います。</error_version>\r\n"
      "      <error_inst>インストール先が見つかりません。</error_inst>\r\n"
      "      <error_copy>ファイルのコピーに失敗しました。</error_copy>\r\n"
      "    </message>\r\n"
      "    <message_sys><sellang>言語を選んでください</sellang><copying>コピー中...</copying></message_sys>\r\n"
      "    <message_error><language>言語がありません</language><boot>起動できません</boot><title>エラー</title></message_error>\r\n"
      "  </";
  *out += name;
  *out += ">\r\n";
}

}  // namespace

std::string GenerateDescription(std::size_t target_bytes) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<document>\r\n"
      "  <brand>Brand</brand>\r\n  <app>game</app>\r\n"
      "  <version><major>1</major><minor>2</minor></version>\r\n";
  out.reserve(target_bytes + 4096);
  std::string languages = "  <language>\r\n  <default>l0</default>\r\n";
  std::string messages;
  std::string deletes = "  <delete>\r\n";
  for (int n = 0; out.size() + languages.size() + messages.size() + deletes.size() < target_bytes;
       ++n) {
    AppendLanguage(&languages, n);
    AppendMessages(&messages, n);
    char entry[96];
    std::snprintf(entry, sizeof entry, "    <p%02d>data\\old\\file%d.bin</p%02d>\r\n", n + 1, n,
                  n + 1);
    deletes += entry;
  }
  out += languages + "  </language>\r\n" + messages + deletes + "  </delete>\r\n</document>\r\n";
  return out;
}

std::string GenerateDeleteList(std::size_t count) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<document>\r\n"
      "  <brand>Brand</brand>\r\n  <app>game</app>\r\n"
      "  <language>\r\n"
      "    <lang00><code>1041</code><prifix>l0</prifix><lang>Language</lang></lang00>\r\n"
      "  </language>\r\n";
  AppendMessages(&out, 0);
  out += "  <delete>\r\n";
  for (std::size_t n = 1; n <= count; ++n) {
    char entry[128];
    std::snprintf(entry, sizeof entry, "    <p%02zu>data\\scenario\\chapter%02zu\\scene%05zu.txt</p%02zu>\r\n", n,
                  n % 40, n, n);
    out += entry;
  }
  return out + "  </delete>\r\n</document>\r\n";
}
