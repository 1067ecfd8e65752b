// Every 8-bit text the library writes is Shift-JIS: the picture decoders'
// and the memory file's lines reach __debug__.log as code page 932 bytes.
// (The HG-3 decoder's lines are checked with its own tests.)
#include <gtest/gtest.h>

#include <string>

#include "file/memory_file.h"
#include "image/image_bmp.h"
#include "image/image_hg2.h"
#include "image/image_holder.h"
#include "image/image_qvf.h"
#include "support/image_test_support.h"
#include "support/debug_log_capture.h"

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

// The engine's lines as code page 932 bytes.
const char* const kEngineLines[] = {
    // qvMemFile : ファイルがオープンされていません
    "qvMemFile : \x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1",
    // HG2 : ヘッダが違います
    "HG2 : \x83w\x83" "b\x83_\x82\xaa\x88\xe1\x82\xa2\x82\xdc\x82\xb7",
    // HG2 : 未対応のバージョンです
    "HG2 : \x96\xa2\x91\xce\x89\x9e\x82\xcc\x83o\x81[\x83W\x83\x87\x83\x93\x82\xc5\x82\xb7",
    // HG2(7) : 対応するIDが見つかりません
    "HG2(7) : \x91\xce\x89\x9e\x82\xb7\x82\xe9ID\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1",
    // イメージのタイプが違います
    "\x83" "C\x83\x81\x81[\x83W\x82\xcc\x83^\x83" "C\x83v\x82\xaa\x88\xe1\x82\xa2\x82\xdc\x82\xb7",
    // 展開できないイメージです
    "\x93W\x8aJ\x82\xc5\x82\xab\x82\xc8\x82\xa2\x83" "C\x83\x81\x81[\x83W\x82\xc5\x82\xb7",
    // この色数には対応していません
    "\x82\xb1\x82\xcc\x90" "F\x90\x94\x82\xc9\x82\xcd\x91\xce\x89\x9e\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1",
    // イメージの保存に失敗しました
    "\x83" "C\x83\x81\x81[\x83W\x82\xcc\x95\xdb\x91\xb6\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd",
};

TEST_F(LogEncodingTest, EngineLinesAreCodePage932Bytes) {
  DebugLogCapture log;
  char byte = 0;
  qvMemFile().Read(&byte, 1);
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
  for (const char* line : kEngineLines) {
    EXPECT_NE(bytes.find(std::string("\t") + line + "\r\n"), std::string::npos) << line;
  }
  // The pixel buffers above were all had: the line for a failed one is not there.
  // ピクセルイメージ用バッファの確保に失敗しました
  EXPECT_EQ(bytes.find("\x83s\x83N\x83Z\x83\x8b\x83" "C\x83\x81\x81[\x83W\x97p\x83o\x83"
                       "b\x83t\x83@\x82\xcc\x8am\x95\xdb\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd"),
            std::string::npos);
}

}  // namespace
