#include <gtest/gtest.h>

#include <set>
#include <string>

#include "text/base64.h"
#include "text/chain_codec.h"
#include "text/md5.h"
#include "text/settings_codec.h"

namespace qelo::text {
namespace {

struct Pair {
  std::string in;
  std::string out;
};

TEST(Base64, EncodesRfcVectorsAndDecodesThemBack) {
  const Pair cases[] = {{"", ""},
                        {"f", "Zg=="},
                        {"fo", "Zm8="},
                        {"foo", "Zm9v"},
                        {"foob", "Zm9vYg=="},
                        {"fooba", "Zm9vYmE="},
                        {"foobar", "Zm9vYmFy"},
                        {std::string("\xFF\xFE\x00", 3), "//4A"}};
  for (const Pair& c : cases) {
    EXPECT_EQ(Base64Encode(c.in), c.out) << c.in;
    EXPECT_EQ(Base64Decode(c.out), c.in) << c.out;
  }
}

TEST(Base64, DecodesLeniently) {
  const Pair cases[] = {
      {"Zm9vYg", "foo"},         // incomplete final group ignored
      {"Zm9vY", "foo"},          //
      {"Zg==Zm8=", "ffo"},       // padding does not end the decoding
      {"Zm8=Zm9v", "fofoo"},     //
      {"Zm9vYmFyQQ", "foobar"},  // two check digits after the body
  };
  for (const Pair& c : cases)
    EXPECT_EQ(Base64Decode(c.in), c.out) << c.in;
  // Bytes outside the alphabet do not crash; they count as zero bits.
  EXPECT_EQ(Base64Decode("!!!!").size(), 3u);
}

TEST(Md5, MatchesRfcVectors) {
  const Pair cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const Pair& c : cases)
    EXPECT_EQ(Md5Hex(c.in), c.out) << c.in;
}

TEST(Md5, PaddingBoundaries) {
  // 55, 56 and 64 bytes put the length in the first or a second final block.
  EXPECT_EQ(Md5Hex(std::string(55, 'a')), "EF1772B6DFF9A122358552954AD0DF65");
  EXPECT_EQ(Md5Hex(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218");
  EXPECT_EQ(Md5Hex(std::string(64, 'a')), "014842D480B571495A4A0363793F7367");
}

TEST(ChainCodec, EncodesKnownValues) {
  EXPECT_EQ(ChainEncodeFrom(0, "A", ""), "0010");  // empty key: the default key
  EXPECT_EQ(ChainEncodeFrom(0, "A", kChainDefaultKey), "0010");
  EXPECT_EQ(ChainEncodeFrom(0xC8, "Charm|user", "RunoTesph"), "C85EB37B82BB5DA165A247");
  EXPECT_EQ(ChainDecode("c85eb37b82bb5da165a247", "RunoTesph"), "Charm|user");
}

TEST(ChainCodec, EmptyDataIsTheStartValueAloneWhichDoesNotDecode) {
  const std::string hex = ChainEncode("", "");
  ASSERT_EQ(hex.size(), 2u);
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  // A start value without any pair is not a text of ours: a damaged file, not an empty name.
  for (const std::string& text : {hex, std::string("00"), std::string("ff")}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(ChainDecode(text, ""), EConvertError);
    EXPECT_THROW(ChainDecode(text, "RunoTesph"), EConvertError);
  }
}

TEST(ChainCodec, EveryByteSurvivesFromEveryStartValue) {
  std::string all;
  for (int b = 1; b <= 255; ++b)
    all += static_cast<char>(b);
  all += "\xFF\xFF\x01\xFF";
  for (int start = 0; start <= 255; ++start) {
    for (std::string_view key : {"", "RunoTesph", "k"}) {
      const std::string hex = ChainEncodeFrom(static_cast<uint8_t>(start), all, key);
      ASSERT_EQ(hex.size(), 2 + 2 * all.size());
      ASSERT_EQ(ChainDecode(hex, key), all) << "start " << start << " key " << key;
    }
  }
  EXPECT_EQ(ChainDecode(ChainEncode(all, "RunoTesph"), "RunoTesph"), all);
  EXPECT_EQ(ChainDecode(ChainEncodeFrom(7, std::string("a\0b", 3), ""), ""),
            "a\xFF"
            "b");
}

TEST(ChainCodec, RejectsTextThatIsNotItsOutput) {
  const std::string bad[] = {"", "0", "00A", "0G10", "G010", "00 1", "0010zz"};
  for (const std::string& text : bad)
    EXPECT_THROW(ChainDecode(text, ""), EConvertError) << text;
  EXPECT_EQ(ChainDecode("00105", ""), "A");  // one character left over is ignored
}

TEST(SettingsCodec, EncodedLineHasTheFileLayout) {
  const std::string line = SettingsCodec("Charm|user", true);
  ASSERT_EQ(line.size(), 118u);
  EXPECT_EQ(line.front(), 'A');
  EXPECT_EQ(line.back(), 'Z');
  const std::string body = line.substr(1, 88);
  EXPECT_EQ(
      body.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
      std::string::npos);
  EXPECT_EQ(line.substr(89, 28).find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(SettingsCodec, DecodesWithOrWithoutLineEnd) {
  const std::string plain[] = {"Charm|user", "Dark Blue|user", "\xD6\xD0\xCE\xC4|user", "x"};
  for (const std::string& p : plain) {
    const std::string line = SettingsCodec(p, true);
    EXPECT_EQ(SettingsCodec(line + "\r\n", false), p);
    EXPECT_EQ(SettingsCodec(line, false), p);
    EXPECT_EQ(SettingsCodec(JoinLinesCrLf(line + "\n"), false), p);
  }
}

TEST(SettingsCodec, EncodingsDifferAndAllDecode) {
  std::set<std::string> lines;
  for (int i = 0; i < 20; ++i) {
    const std::string line = SettingsCodec("Charm|user", true);
    EXPECT_EQ(SettingsCodec(line + "\r\n", false), "Charm|user");
    lines.insert(line);
  }
  EXPECT_GT(lines.size(), 1u);
}

TEST(SettingsCodec, DamagedTextsFailToDecode) {
  const std::string line = SettingsCodec("Charm|user", true);
  // An empty second line: four check digits form a whole group and spoil the decoding.
  EXPECT_THROW(SettingsCodec(JoinLinesCrLf(line + "\r\n\r\n"), false), EConvertError);
  EXPECT_THROW(SettingsCodec("", false), EConvertError);
  // An empty name encodes, but its inner cipher text is the start value alone.
  EXPECT_THROW(SettingsCodec(SettingsCodec("", true), false), EConvertError);
  EXPECT_THROW(SettingsCodec(std::string(30, 'A'), false), EConvertError);
  EXPECT_THROW(SettingsCodec("hello world, this is not a settings line at all\r\n", false),
               EConvertError);
}

TEST(SettingsCodec, JoinsLinesWithCrLf) {
  const Pair cases[] = {{"", ""},
                        {"a", "a\r\n"},
                        {"a\r\n", "a\r\n"},
                        {"a\rb", "a\r\nb\r\n"},
                        {"a\n\nb\n", "a\r\n\r\nb\r\n"},
                        {"a\r\n\r\n", "a\r\n\r\n"}};
  for (const Pair& c : cases)
    EXPECT_EQ(JoinLinesCrLf(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace qelo::text
