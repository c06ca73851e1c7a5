#include "sim/RemoteKeys.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "engine/ReportDecoding.h"

namespace {

// What the receiver engine makes of a report of the remote, the scan-code check in use.
TReportCode Decode(const remote::TReport& Report) {
  EXPECT_EQ(Report[0], 0) << "report id";
  return DecodeReport(std::span(Report).subspan(1), true, remote::ScanCode);
}

TEST(RemoteReports, EveryKeyDecodesToAPairOfItsOwnAndItsHeldPairToAnother) {
  std::set<std::pair<uint32_t, uint32_t>> seen;
  for (const remote::TKey& key : remote::Keys()) {
    SCOPED_TRACE(std::string(key.Name));
    for (const bool held : {false, true}) {
      const TReportCode code = Decode(remote::MakeReport(key.Code, held));
      EXPECT_FALSE(code.Refused);
      EXPECT_EQ(code.Held, held);
      EXPECT_EQ(code.Code1, remote::KeyCode1(key.Code, held));
      EXPECT_EQ(code.Code2, remote::KeyCode2);
      EXPECT_TRUE(seen.emplace(code.Code1, code.Code2).second) << "pair taken by another key";
    }
  }
  EXPECT_EQ(seen.size(), 2 * remote::Keys().size());
}

TEST(RemoteReports, KeysAreFoundByTheirNames) {
  ASSERT_NE(remote::FindKey("Vol +"), nullptr);
  EXPECT_EQ(remote::FindKey("Vol +")->Name, "Vol +");
  EXPECT_EQ(remote::FindKey("vol +"), nullptr);
  EXPECT_EQ(remote::FindKey(""), nullptr);
}

TEST(RemoteReports, AHeldRepeatOfTheSameKeySelectsTheHeldDelay) {
  const uint8_t code = remote::FindKey("Vol +")->Code;
  const TReportCode first = Decode(remote::MakeReport(code, true));
  const TReportCode again = Decode(remote::MakeReport(code, true));
  EXPECT_EQ(NextDelay(again, first.Code1, first.Code2, 100, 400), 100);
  // The press itself does not: its pair differs from the held one.
  const TReportCode press = Decode(remote::MakeReport(code, false));
  EXPECT_EQ(NextDelay(first, press.Code1, press.Code2, 100, 400), 400);
}

// Times (ms after the press) at which a key held for HoldMs repeats, polled every PollMs.
std::vector<uint64_t> Repeats(uint64_t HoldMs, uint64_t PollMs) {
  remote::TKeyRepeat repeat;
  const uint64_t start = 5000;
  repeat.Press(start);
  std::vector<uint64_t> times;
  for (uint64_t t = start; t <= start + HoldMs; t += PollMs) {
    if (repeat.RepeatDue(t)) times.push_back(t - start);
  }
  repeat.Release();
  EXPECT_FALSE(repeat.RepeatDue(start + HoldMs + 1000));
  return times;
}

TEST(RemoteRepeat, AHeldKeyRepeatsEvery108Ms) {
  EXPECT_EQ(Repeats(500, 1), (std::vector<uint64_t>{108, 216, 324, 432}));
  EXPECT_TRUE(Repeats(107, 1).empty());
  EXPECT_EQ(Repeats(2000, 10).size(), 18u);
}

TEST(RemoteRepeat, ALatePollSendsOneRepeatAndKeepsTheGrid) {
  remote::TKeyRepeat repeat;
  repeat.Press(0);
  EXPECT_TRUE(repeat.RepeatDue(350));  // three were due: one goes
  EXPECT_FALSE(repeat.RepeatDue(431));
  EXPECT_TRUE(repeat.RepeatDue(432));
  EXPECT_FALSE(repeat.RepeatDue(432));
}

TEST(RemoteRepeat, APressStartsTheGridAfresh) {
  remote::TKeyRepeat repeat;
  repeat.Press(0);
  EXPECT_TRUE(repeat.RepeatDue(108));
  repeat.Release();
  EXPECT_FALSE(repeat.RepeatDue(216));
  repeat.Press(250);
  EXPECT_FALSE(repeat.RepeatDue(324));
  EXPECT_TRUE(repeat.RepeatDue(358));
}

}  // namespace
