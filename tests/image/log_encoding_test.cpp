// Every 8-bit text the library writes is Shift-JIS: a whole __debug__.log,
// filled by the picture decoders and the memory file, decodes as code page
// 932 into the engine's Japanese lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file/memory_file.h"
#include "image/image_bmp.h"
#include "image/image_hg2.h"
#include "image/image_hg3.h"
#include "image/image_holder.h"
#include "image/image_qvf.h"
#include "support/image_test_support.h"
#include "support/debug_log_capture.h"
#include "test_support.h"
#include "util/text_convert.h"

namespace {

using namespace qvtest;

class LogEncodingTest : public ImageTest {};

template <typename Decoder>
void Load(const Bytes& bytes, std::uint32_t frame = 0) {
  auto image = Make<Decoder>();
  const qvMemBlock block = View(bytes);
  EXPECT_EQ(image->Load(&block, frame), 0);
}

Bytes Hg2Header(std::uint32_t version) {
  Bytes file = {'H', 'G', '-', '2'};
  AppendLe32(file, 12);
  AppendLe32(file, version);
  file.resize(12 + 36 + 40, 0);
  return file;
}

TEST_F(LogEncodingTest, TheWholeLogDecodesAsCodePage932) {
  DebugLogCapture log;
  char byte = 0;
  qvMemFile().Read(&byte, 1);
  Load<qvImageHg3>({'H', 'G', '-', '4', 12, 0, 0, 0, 0, 0, 0, 0});
  Load<qvImageHg3>({'H', 'G', '-', '3', 16, 0, 0, 0, 0, 0, 0, 0});
  Load<qvImageHg2>({'H', 'G', '-', '9'});
  Load<qvImageHg2>(Hg2Header(0x30));
  Load<qvImageHg2>(Hg2Header(0x25), 7);
  Load<qvImageQvf>({'Q', 'V', 'X', 0});
  Load<qvImageBmp>({'B', 'X'});
  qvImageHolder holder;
  const Bytes unknown = {1, 2, 3, 4};
  const qvMemBlock unknown_block = View(unknown);
  EXPECT_EQ(holder.LoadFromMemory(&unknown_block, 0, 0), nullptr);
  auto hg2 = Make<qvImageHg2>();
  ASSERT_EQ(hg2->CreateBlank(2, 2, 2), 1);
  OwnedBlock out;
  EXPECT_EQ(hg2->Save(&out.block, 0, 0, 0, 0), 0);
  auto qvf = Make<qvImageQvf>();
  ASSERT_EQ(qvf->CreateBlank(0x10000, 1, 1), 1);
  EXPECT_EQ(qvf->Save(&out.block, 0, 0, 0, 0), 0);

  const std::string bytes = log.Contents();
  std::vector<char16_t> wide(bytes.size() + 1);
  ASSERT_GT(ShiftJisToWide(wide.data(), wide.size(), bytes.c_str()), 0);
  // Nothing was replaced on the way: the text converts back to the bytes.
  std::vector<char> again(bytes.size() + 1);
  ASSERT_GT(WideToShiftJis(again.data(), again.size(), wide.data()), 0);
  EXPECT_EQ(std::string(again.data()), bytes);
  const std::u16string text(wide.data());
  for (const char16_t* line : {u"qvMemFile : ファイルがオープンされていません", u"HG3 : ヘッダが違います",
                               u"HG3 : ヘッダサイズが違います", u"HG2 : ヘッダが違います",
                               u"HG2 : 未対応のバージョンです", u"HG2(7) : 対応するIDが見つかりません",
                               u"イメージのタイプが違います", u"展開できないイメージです",
                               u"この色数には対応していません", u"イメージの保存に失敗しました"}) {
    EXPECT_NE(text.find(std::u16string(u"\t") + line + u"\r\n"), std::u16string::npos) << U8(line);
  }
}

}  // namespace
