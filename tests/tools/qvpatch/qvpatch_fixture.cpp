#include "qvpatch_fixture.h"

#include "tools/qvpatch/command.h"

namespace qvtest {

PatchTrees::PatchTrees() {
  MakeFolder("old");
  MakeFolder("new");
  WriteTemplate("template.xml");
}

void PatchTrees::WriteTemplate(const std::string& relative, const std::vector<std::string>& deletions) const {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<document>\n"
      "  <!-- the game's install record -->\n"
      "  <brand>QvTest</brand>\n  <app>Game</app>\n"
      "  <language><default>jp</default>\n"
      "    <lang00><code>1041</code><prifix>jp</prifix><lang>日本語</lang></lang00>\n"
      "  </language>\n"
      "  <jp>\n    <message><wndtitle>更新</wndtitle><intoro>更新しますか？</intoro>"
      "<success>完了</success><error_inst>見つかりません</error_inst>"
      "<error_copy>失敗</error_copy><error_link>リンク</error_link><error_name>名前</error_name>"
      "<error_length>長さ</error_length><error_case>大文字</error_case></message>\n"
      "    <message_sys><copying>コピー中</copying></message_sys>\n"
      "    <message_error><title>エラー</title><language>言語</language></message_error>\n"
      "  </jp>\n";
  Write(relative, xml + DeleteListXml(deletions) + "</document>\n");
}

ToolRun PatchTrees::Run(const std::vector<std::string>& arguments) const {
  ToolRun run;
  run.status = RunQvpatch(arguments, &run.out, &run.err);
  return run;
}

ToolRun PatchTrees::Make(const std::string& out, const std::vector<std::string>& extra) const {
  std::vector<std::string> arguments = {"make",       "--from", Arg("old"),          "--to",
                                        Arg("new"),   "--template", Arg("template.xml"), "--out",
                                        Arg(out)};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return Run(arguments);
}

}  // namespace qvtest
