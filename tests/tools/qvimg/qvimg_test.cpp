#include "support/picture_files.h"
#include "support/file_tree.h"
#include "tools/qvimg/command.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qvtest {
namespace {

class QvimgTest : public ImageTest, public FileTree {
 protected:
  void Write(const std::string& name, const Bytes& bytes) const {
    FileTree::Write(name, std::string(bytes.begin(), bytes.end()));
  }
  Bytes Read(const std::string& name) const {
    const std::string bytes = FileTree::Read(name);
    return Bytes(bytes.begin(), bytes.end());
  }
  int Run(std::vector<std::string> arguments) {
    out_.clear();
    err_.clear();
    return RunQvimg(arguments, &out_, &err_);
  }
  int Convert(const std::string& in, const std::string& out, std::vector<std::string> options = {}) {
    std::vector<std::string> arguments = {"convert", Arg(in), Arg(out)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return Run(arguments);
  }

  std::string out_;
  std::string err_;
};

TEST_F(QvimgTest, EveryPairOfLosslessFormatsKeepsThePicture) {
  for (std::uint32_t bpp : {3u, 4u}) {
    // Alpha stays above 0 so that no saver may clear colours or crop.
    auto picture = MakePicture(13, 6, bpp, Pattern::kNoise, 5);
    for (std::uint32_t y = 0; y < 6 && bpp == 4; ++y)
      for (std::uint32_t x = 0; x < 13; ++x) picture->GetPixelAddress(x, y)[3] |= 1;
    const Bytes expected = Bgra(*picture);
    // HG-3 always decodes to 4 bytes per pixel; HG-2 keeps 3.
    const std::string source = bpp == 3 ? "source.hg2" : "source.hg3";
    Write(source, bpp == 3 ? SaveHg2(*picture) : SaveHg3(*picture));
    const char* formats[] = {"png", "bmp", "qvf", "hg2", "hg3"};
    for (const char* first : formats) {
      const std::string a = std::string("a.") + first;
      ASSERT_EQ(Convert(source, a), 0) << err_;
      for (const char* second : formats) {
        const std::string b = std::string("b_") + first + "." + second;
        ASSERT_EQ(Convert(a, b), 0) << a << " -> " << b << ": " << err_;
        ASSERT_EQ(Convert(b, "out.bgra"), 0) << err_;
        EXPECT_EQ(Read("out.bgra"), expected) << bpp << ": " << a << " -> " << b;
      }
    }
  }
}

TEST_F(QvimgTest, LossyFormatsKeepBlueAndRedApart) {
  auto blue = MakePicture(8, 8, 3, Pattern::kTransparent);
  for (std::uint32_t i = 0; i < 64; ++i) blue->GetPixelAddress(i % 8, i / 8)[0] = 200;
  Write("blue.hg2", SaveHg2(*blue));
  for (const char* lossy : {"blue.jpg", "blue.webp"}) {
    ASSERT_EQ(Convert("blue.hg2", lossy), 0) << err_;
    ASSERT_EQ(Convert(lossy, "out.bgra"), 0) << err_;
    const Bytes bgra = Read("out.bgra");
    ASSERT_EQ(bgra.size(), 8u * 8 * 4);
    EXPECT_NEAR(bgra[0], 200, 8) << lossy;
    EXPECT_NEAR(bgra[2], 0, 8) << lossy;
  }
}

TEST_F(QvimgTest, FramesExpandAndFlatten) {
  auto first = MakePicture(3, 2, 3, Pattern::kNoise, 1);
  auto second = MakePicture(6, 4, 4, Pattern::kTransparent);
  std::uint8_t* p = second->GetPixelAddress(2, 1);
  p[0] = 0x40;
  p[3] = 0x80;
  Write("chain.hg2", ChainHg2({SaveHg2(*first, 4), SaveHg2(*second, 8)}));

  ASSERT_EQ(Convert("chain.hg2", "first.bgra"), 0) << err_;
  EXPECT_EQ(Read("first.bgra"), Bgra(*first));
  ASSERT_EQ(Convert("chain.hg2", "second.bgra", {"--frame-index", "1"}), 0) << err_;
  EXPECT_EQ(Read("second.bgra").size(), 4u) << "cropped to its one visible pixel";
  ASSERT_EQ(Convert("chain.hg2", "expanded.bgra", {"--frame-id", "8", "--expand"}), 0) << err_;
  EXPECT_EQ(Read("expanded.bgra"), Bgra(*second));
  ASSERT_EQ(Convert("chain.hg2", "flat.bgra", {"--frame-id", "8", "--flatten", "0000FF"}), 0);
  // (0x40 - 0xFF) * 0x80 >> 8 + 0xFF over blue, 0 over green and red.
  EXPECT_EQ(Read("flat.bgra"), (Bytes{0x9F, 0, 0, 255}));

  EXPECT_EQ(Convert("chain.hg2", "x.bgra", {"--frame-index", "2"}), 1);
  EXPECT_NE(err_.find("no frame at index 2"), std::string::npos) << err_;
  EXPECT_EQ(Convert("chain.hg2", "x.bgra", {"--frame-id", "5"}), 1);

  ASSERT_EQ(Run({"info", Arg("chain.hg2")}), 0) << err_;
  EXPECT_NE(out_.find("type: HG-2 (4)"), std::string::npos) << out_;
  EXPECT_NE(out_.find("size: 3 x 2, 3 bytes per pixel"), std::string::npos) << out_;
  EXPECT_NE(out_.find("frames: 0 (id 4), 1 (id 8)"), std::string::npos) << out_;
}

TEST_F(QvimgTest, OneAndTwoBytePixelsAreKeptOnlyAsQvf) {
  for (std::uint32_t bpp : {1u, 2u}) {
    const Bytes saved = SaveQvf(*MakePicture(5, 3, bpp, Pattern::kNoise));
    ASSERT_FALSE(saved.empty());
    Write("narrow.qvf", saved);
    for (const char* target : {"out.bgra", "out.png", "out.bmp", "out.hg3"}) {
      EXPECT_EQ(Convert("narrow.qvf", target), 1) << bpp << " " << target;
      EXPECT_NE(err_.find("only be written as .qvf"), std::string::npos) << err_;
    }
    ASSERT_EQ(Convert("narrow.qvf", "copy.qvf"), 0) << err_;
    EXPECT_EQ(Read("copy.qvf"), saved);
  }
}

TEST_F(QvimgTest, ErrorsAreOneLineAndUsageIsStatusTwo) {
  Write("junk.png", Bytes(40, 'x'));
  Write("good.hg3", SaveHg3(*MakePicture(2, 2, 4, Pattern::kNoise)));
  EXPECT_EQ(Convert("missing.hg3", "out.png"), 1);
  EXPECT_EQ(err_, "qvimg: " + Arg("missing.hg3") + ": cannot open the file\n");
  EXPECT_EQ(Convert("junk.png", "out.png"), 1);
  EXPECT_EQ(err_, "qvimg: " + Arg("junk.png") + ": not a picture in a supported format\n");
  EXPECT_EQ(Convert("good.hg3", "no-such-folder/out.png"), 1);
  EXPECT_EQ(err_, "qvimg: " + Arg("no-such-folder/out.png") + ": cannot create the file\n");
  EXPECT_EQ(Run({"info", Arg("junk.png"), Arg("missing.hg3")}), 1);
  EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 2);

  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(err_, "qvimg: unknown command frobnicate (see qvimg --help)\n");
  EXPECT_EQ(Convert("junk.png", "out.png", {"--quality"}), 2);
  EXPECT_EQ(err_, "qvimg: --quality needs a value (see qvimg --help)\n");
  const std::string in = Arg("junk.png"), out = Arg("out.png");
  for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
           {}, {"convert", in}, {"convert", in, Arg("out.gif")}, {"convert", in, out, "--quality", "0"},
           {"convert", in, out, "--flatten", "12345"}, {"convert", in, out, "--bogus"},
           {"convert", in, out, "--frame-index", "1", "--frame-id", "1"}})
    EXPECT_EQ(Run(usage), 2) << ::testing::PrintToString(usage);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.find("--frame-index"), std::string::npos);
}

}  // namespace
}  // namespace qvtest
