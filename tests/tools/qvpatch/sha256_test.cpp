// SHA-256 against the example vectors published with FIPS 180-4.
#include <gtest/gtest.h>

#include <string>

#include "tools/qvpatch/sha256.h"

namespace {

std::string Hash(const std::string& text) {
  Sha256 hash;
  hash.Update(text.data(), text.size());
  return ToHex(hash.Finish());
}

TEST(Sha256, PublishedVectors) {
  EXPECT_EQ(Hash(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hash("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hash("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopq"
                 "klmnopqrlmnopqrsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  EXPECT_EQ(Hash(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Padding lands in one block or spills into a second around 55 and 56
// bytes; pieces of any size give the digest of the whole.
TEST(Sha256, PiecesAndPaddingBoundaries) {
  for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(i * 31 + 7);
    for (std::size_t piece : {1u, 3u, 63u, 64u, 100u}) {
      Sha256 hash;
      for (std::size_t at = 0; at < length; at += piece)
        hash.Update(text.data() + at, std::min(piece, length - at));
      EXPECT_EQ(ToHex(hash.Finish()), Hash(text)) << length << " in pieces of " << piece;
    }
  }
  EXPECT_EQ(Hash(std::string(55, 'a')), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
}

TEST(Sha256, HexRoundTripAndRefusals) {
  Sha256Digest digest;
  const std::string text = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
  ASSERT_TRUE(FromHex(text, &digest));
  EXPECT_EQ(ToHex(digest), Hash("abc"));
  EXPECT_FALSE(FromHex(text.substr(1), &digest));
  EXPECT_FALSE(FromHex(text.substr(0, 63) + "g", &digest));
  EXPECT_FALSE(FromHex(text + "00", &digest));
}

}  // namespace
