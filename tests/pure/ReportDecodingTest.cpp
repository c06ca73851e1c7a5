#include "engine/ReportDecoding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct DecodeCase {
  std::vector<uint8_t> Data;
  uint32_t Code1;
  uint32_t Code2;
  bool Held;
};

// Shows a case as its bytes, which also names the test.
void PrintTo(const DecodeCase& c, std::ostream* os) {
  *os << "[";
  for (size_t i = 0; i < c.Data.size(); ++i) {
    *os << (i ? " " : "") << std::hex << std::uppercase << (c.Data[i] < 16 ? "0" : "")
        << int{c.Data[i]};
  }
  *os << "]";
}

class DecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, GivesThePairAndTheHeldFlag) {
  const DecodeCase& c = GetParam();
  const TReportCode code = DecodeReport(c.Data, false, 0);
  EXPECT_FALSE(code.Refused);
  EXPECT_EQ(code.Code1, c.Code1);
  EXPECT_EQ(code.Code2, c.Code2);
  EXPECT_EQ(code.Held, c.Held);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, DecodeTable,
    ::testing::Values(
        DecodeCase{{0x0B, 0x0B, 0x01}, 33, 11, false}, DecodeCase{{0x05, 0x0B, 0x81}, 33, 5, true},
        // Significant byte 1 does not enter a three-byte code.
        DecodeCase{{0x05, 0xFF, 0x81}, 33, 5, true}, DecodeCase{{0x0B, 0x0B, 0x06}, 38, 11, false},
        DecodeCase{{0x05, 0x0B, 0x86}, 38, 5, true},
        // Below seven bytes there is neither mask nor zero skipping: key value 0x0B81.
        DecodeCase{{0x05, 0x0B, 0x81, 0x00}, 2977, 5, true},
        DecodeCase{{0x00, 0x05, 0x00, 0x0B, 0x81, 0x00, 0x00}, 2977, 5, true},
        // The seventh significant byte is ignored.
        DecodeCase{{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00}, 0x5040223, 0x601, false},
        DecodeCase{{0x07, 0x01}, 288, 7, false}, DecodeCase{{0x07}, 32, 7, false},
        DecodeCase{{}, 32, 0, false}, DecodeCase{std::vector<uint8_t>(8, 0), 32, 0, false},
        // Zeros inside a short report are significant: 00 is byte 0, 0x81 is byte 2.
        DecodeCase{{0x00, 0x0B, 0x81, 0x7F, 0x01, 0x02}, 0x017F0B81u + 32, 0x0200, true},
        // The key value wraps around in 32 bits.
        DecodeCase{{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}, 31, 1, true}));

TEST(DecodeReport, SyntheticTestReportsGiveTheirPairs) {
  const std::vector<std::vector<uint8_t>> reports = {
      {0x0B, 0x0B, 0x01}, {0x05, 0x0B, 0x81}, {0x0B, 0x0B, 0x02}, {0x05, 0x0B, 0x82},
      {0x0B, 0x0B, 0x03}, {0x05, 0x0B, 0x83}, {0x0B, 0x0B, 0x04}, {0x05, 0x0B, 0x84},
      {0x0B, 0x0B, 0x05}, {0x0B, 0x0B, 0x06}, {0x05, 0x0B, 0x86}};
  const std::vector<std::pair<uint32_t, uint32_t>> pairs = {{33, 11}, {33, 5},  {34, 11}, {34, 5},
                                                            {35, 11}, {35, 5},  {36, 11}, {36, 5},
                                                            {37, 11}, {38, 11}, {38, 5}};
  for (size_t i = 0; i < reports.size(); ++i) {
    const TReportCode code = DecodeReport(reports[i], false, 0);
    EXPECT_EQ(code.Code1, pairs[i].first) << "report " << i;
    EXPECT_EQ(code.Code2, pairs[i].second) << "report " << i;
  }
}

TEST(DecodeReport, CheckByteRefusesOtherScanCodes) {
  const std::vector<uint8_t> matching = {0x0B, 0x0B, 0x01};
  const std::vector<uint8_t> other = {0x05, 0x0B, 0x81};
  EXPECT_FALSE(DecodeReport(matching, true, 0x0B).Refused);
  EXPECT_EQ(DecodeReport(matching, true, 0x0B).Code2 & 0xFF, 0x0Bu);
  EXPECT_TRUE(DecodeReport(other, true, 0x0B).Refused);
  // Zero skipping comes first: the check looks at the first non-zero byte of a long report.
  const std::vector<uint8_t> longReport = {0x00, 0x0B, 0x00, 0x0B, 0x81, 0x00, 0x00};
  EXPECT_FALSE(DecodeReport(longReport, true, 0x0B).Refused);
  EXPECT_TRUE(DecodeReport(longReport, true, 0x05).Refused);
}

TEST(DecodeReport, CheckByteCannotRefuseReportsWithoutSignificantBytes) {
  const TReportCode empty = DecodeReport({}, true, 0x0B);
  EXPECT_FALSE(empty.Refused);
  EXPECT_EQ(empty.Code1, 32u);
  const std::vector<uint8_t> zeros(8, 0);
  EXPECT_FALSE(DecodeReport(zeros, true, 0x0B).Refused);
}

TEST(DecodeReport, LongReportsStopAfterSixSignificantBytes) {
  std::vector<uint8_t> big(4096, 0xAA);
  const TReportCode code = DecodeReport(big, false, 0);
  EXPECT_EQ(code.Code1, 0xAAAAAAAAu + 32u);
  EXPECT_EQ(code.Code2, 0xAAAAu);
}

TEST(RepeatGate, PassesOnceTheDelayHasElapsed) {
  EXPECT_FALSE(PassesGate(100, 500));
  EXPECT_FALSE(PassesGate(499, 500));
  EXPECT_TRUE(PassesGate(500, 500));
  EXPECT_TRUE(PassesGate(0, 0));
  EXPECT_TRUE(PassesGate(0, -5));
  // The full count is compared: more than 2^31 ms without a code still passes.
  EXPECT_TRUE(PassesGate(int64_t{1} << 32, 500));
  EXPECT_TRUE(PassesGate((int64_t{1} << 31) + 1, INT32_MAX));
}

TEST(RepeatGate, HeldDelayOnlyForARepeatOfTheSameHeldKey) {
  const std::vector<uint8_t> held = {0x05, 0x0B, 0x81};
  const std::vector<uint8_t> plain = {0x0B, 0x0B, 0x01};
  const TReportCode h = DecodeReport(held, false, 0);
  const TReportCode p = DecodeReport(plain, false, 0);
  EXPECT_EQ(NextDelay(h, 0, 0, 100, 500), 500);    // first press after a start
  EXPECT_EQ(NextDelay(h, 33, 5, 100, 500), 100);   // the same held key again
  EXPECT_EQ(NextDelay(h, 33, 6, 100, 500), 500);   // another second number
  EXPECT_EQ(NextDelay(p, 33, 11, 100, 500), 500);  // the same key without the flag
}

}  // namespace
