#include <gtest/gtest.h>

#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "rtl/guid.h"
#include "rtl/random.h"

namespace {

using rtl::TGUID;

TEST(Guid, TextAndByteForms) {
  const TGUID guid = TGUID::Create("{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_EQ(guid.D1, 0x00112233u);
  EXPECT_EQ(guid.D2, 0x4455);
  EXPECT_EQ(guid.D3, 0x6677);
  EXPECT_EQ(guid.D4[0], 0x88);
  EXPECT_EQ(guid.D4[7], 0xFF);
  EXPECT_EQ(guid.ToString(), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_EQ(guid.ToString(false), "00112233-4455-6677-8899-AABBCCDDEEFF");
  EXPECT_EQ(rtl::GuidToHex32(guid), "00112233445566778899aabbccddeeff");
  EXPECT_EQ(rtl::StringToGUID("{00112233-4455-6677-8899-aabbccddeeff}"), guid);

  const rtl::TBytes bytes = guid.ToByteArray();
  EXPECT_EQ(bytes, (rtl::TBytes{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC,
                                0xDD, 0xEE, 0xFF}));
  EXPECT_EQ(TGUID::Create(bytes), guid);
  EXPECT_THROW(TGUID::Create(rtl::TBytes(15)), rtl::EArgumentException);

  EXPECT_TRUE(TGUID::Empty().IsEmpty());
  EXPECT_FALSE(guid.IsEmpty());
  EXPECT_EQ(TGUID::Empty().ToString(), "{00000000-0000-0000-0000-000000000000}");
}

TEST(Guid, BadTextRaises) {
  const char* texts[] = {
      "",
      "00112233-4455-6677-8899-AABBCCDDEEFF",   // no braces
      "{00112233-4455-6677-8899-AABBCCDDEEFF",  // one brace
      "{00112233-4455-6677-8899-AABBCCDDEEFG}", // not hex
      "{001122334-455-6677-8899-AABBCCDDEEFF}", // dash out of place
      "{00112233_4455-6677-8899-AABBCCDDEEFF}", // wrong separator
      "{00112233-4455-6677-8899-AABBCCDDEEFF} ",
      "{+0112233-4455-6677-8899-AABBCCDDEEFF}",
  };
  for (const char* text : texts)
    EXPECT_THROW(TGUID::Create(text), rtl::EConvertError) << text;
  try {
    TGUID::Create("nonsense");
  } catch (const rtl::EConvertError& error) {
    EXPECT_EQ(error.Message(), "'nonsense' is not a valid GUID value");
  }
}

TEST(Guid, NewGuidsAreRandomVersion4AndRoundTrip) {
  std::unordered_set<TGUID> seen;
  for (int i = 0; i < 100; ++i) {
    const TGUID guid = TGUID::NewGuid();
    const std::string text = guid.ToString();
    EXPECT_EQ(text[15], '4') << text;
    EXPECT_NE(std::string("89AB").find(text[20]), std::string::npos) << text;
    EXPECT_EQ(TGUID::Create(text), guid);
    EXPECT_EQ(TGUID::Create(guid.ToByteArray()), guid);
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(Random, SeedsReplaySequences) {
  const auto draw = [] {
    std::vector<double> values;
    for (int i = 0; i < 5; ++i)
      values.push_back(rtl::Random(1000) + rtl::Random());
    return values;
  };
  rtl::SetRandSeed(42);
  const std::vector<double> first = draw();
  const uint64_t midway = rtl::RandSeed();
  const std::vector<double> second = draw();
  rtl::SetRandSeed(42);
  EXPECT_EQ(draw(), first);
  rtl::SetRandSeed(midway);
  EXPECT_EQ(draw(), second) << "a saved seed resumes the sequence";
  EXPECT_NE(first, second);

  rtl::TRandom local(42);
  rtl::TRandom fork = local;
  EXPECT_EQ(local.Next(), fork.Next());
  rtl::Randomize();
  local.Randomize();
  EXPECT_NE(rtl::RandSeed(), local.GetSeed());
}

TEST(Random, RangesAreKept) {
  rtl::TRandom random(7);
  std::set<int> hits;
  for (int i = 0; i < 1000; ++i) {
    const int value = random.Random(10);
    ASSERT_TRUE(value >= 0 && value < 10) << value;
    hits.insert(value);
    const double unit = random.Random();
    ASSERT_TRUE(unit >= 0.0 && unit < 1.0) << unit;
  }
  EXPECT_EQ(hits.size(), 10u);
  EXPECT_EQ(random.Random(0), 0);
  EXPECT_EQ(rtl::Random(-5), 0);
  EXPECT_LT(rtl::Random(uint64_t(3)), 3u);
}

} // namespace
