#include "remote/RemoteEvents.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr TCodePair VolUp{2864, 75};
constexpr TCodePair Ok{2940, 75};
constexpr TCodePair Unnamed{2992, 75};

TRemoteFile File() {
  TRemoteFile file;
  const auto problems = file.Load(
      "[Remote]\r\nName=myremote\r\n[Buttons]\r\nKEY_VOLUMEUP=2864,75\r\nKEY_OK=2940,75\r\n"
      "KEY_MUTE=2861,75\r\nKEY_1=2849,75\r\n[Actions]\r\nKEY_VOLUMEUP=keys:VolumeUp\r\n"
      "KEY_OK=run:notepad.exe\r\nKEY_MUTE=keys:NoSuchKey\r\n");
  EXPECT_EQ(problems.size(), 1u);  // the bad action line of KEY_MUTE
  return file;
}

TEST(RemoteEvents, PressesRunTheirActionRepeatsOnlyWhereTheActionRepeats) {
  enum TStep { Press, Repeat, Release };
  struct TCase {
    TStep Step;
    TCodePair Code;
    std::string Name;  // expected
    bool Runs;
    std::string Line;
  };
  const TCase cases[] = {
      {Press, VolUp, "KEY_VOLUMEUP", true, "0000004b00000b30 00 KEY_VOLUMEUP myremote\n"},
      {Repeat, VolUp, "KEY_VOLUMEUP", true, "0000004b00000b30 01 KEY_VOLUMEUP myremote\n"},
      {Repeat, VolUp, "KEY_VOLUMEUP", true, "0000004b00000b30 02 KEY_VOLUMEUP myremote\n"},
      {Release, VolUp, "", false, ""},
      // run: does not repeat while held, but its repeats still reach the server.
      {Press, Ok, "KEY_OK", true, "0000004b00000b7c 00 KEY_OK myremote\n"},
      {Repeat, Ok, "KEY_OK", false, "0000004b00000b7c 01 KEY_OK myremote\n"},
      {Release, Ok, "", false, ""},
      // A pair without a name goes out as its pair and runs nothing.
      {Press, Unnamed, "", false, "0000004b00000bb0 00 2992,75 myremote\n"},
      {Repeat, Unnamed, "", false, "0000004b00000bb0 01 2992,75 myremote\n"},
      // A button without an action.
      {Press, {2849, 75}, "KEY_1", false, "0000004b00000b21 00 KEY_1 myremote\n"},
      // A press of the same key after a release counts from 0 again.
      {Press, VolUp, "KEY_VOLUMEUP", true, "0000004b00000b30 00 KEY_VOLUMEUP myremote\n"},
  };
  const TRemoteFile file = File();
  TRemoteEvents events;
  int step = 0;
  for (const TCase& c : cases) {
    ++step;
    if (c.Step == Release) {
      events.Release();
      continue;
    }
    const TCodeOutcome got = events.Code(file, c.Code, c.Step == Repeat);
    EXPECT_EQ(got.ButtonName, c.Name) << "step " << step;
    EXPECT_EQ(got.RunAction, c.Runs) << "step " << step;
    EXPECT_EQ(got.Line, c.Line) << "step " << step;
    EXPECT_TRUE(got.ActionProblem.empty()) << "step " << step;
  }
}

TEST(RemoteEvents, ABadActionLineRunsNothingAndSaysWhy) {
  const TRemoteFile file = File();
  TRemoteEvents events;
  const TCodeOutcome got = events.Code(file, {2861, 75}, false);
  EXPECT_EQ(got.ButtonName, "KEY_MUTE");
  EXPECT_FALSE(got.RunAction);
  EXPECT_NE(got.ActionProblem.find("NoSuchKey"), std::string::npos) << got.ActionProblem;
  EXPECT_EQ(got.Line, "0000004b00000b2d 00 KEY_MUTE myremote\n");
}

TEST(RemoteEvents, TheActionOfThePressIsTheOneToRun) {
  const TRemoteFile file = File();
  TRemoteEvents events;
  const TCodeOutcome got = events.Code(file, Ok, false);
  ASSERT_TRUE(got.RunAction);
  EXPECT_EQ(got.Action.Kind, akRun);
  EXPECT_EQ(got.Action.Text, "notepad.exe");
}

TEST(RemoteEvents, WindowTexts) {
  EXPECT_EQ(LastCodeText(VolUp, "KEY_VOLUMEUP"), "2864,75  KEY_VOLUMEUP");
  EXPECT_EQ(LastCodeText(Unnamed, ""), "2992,75  (unnamed)");
  EXPECT_EQ(ButtonRow({"KEY_OK", Ok, "run:notepad.exe", 0}), "KEY_OK\t2940,75\trun:notepad.exe");
  EXPECT_EQ(ButtonRow({"KEY_1", {1, 2}, "", 0}), "KEY_1\t1,2\t");
}

}  // namespace

namespace {

std::string ReadSample() {
  std::ifstream in(std::string(KELHID_SOURCE_DIR) + "/dist/KelHIDRemote.ini", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The sample file of the packages loads without a problem, and every action it shows as an
// example is one the program takes.
TEST(RemoteSample, LoadsCleanlyAndItsExamplesAreActions) {
  const std::string text = ReadSample();
  ASSERT_FALSE(text.empty());
  TRemoteFile file;
  const auto problems = file.Load(text);
  for (const TFileProblem& p : problems) ADD_FAILURE() << DescribeProblem(p);
  EXPECT_EQ(file.RemoteName(), "myremote");
  EXPECT_FALSE(file.Server().Enabled);
  EXPECT_EQ(file.Server().Port, DefaultServerPort);
  // Saving it again changes nothing but line ends.
  TRemoteFile again;
  EXPECT_TRUE(again.Load(file.Save()).empty());
  EXPECT_EQ(again.Save(), file.Save());

  int examples = 0;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (line.rfind(";   KEY_", 0) != 0 || eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    value = value.substr(0, value.find("   "));  // the explanation after the example
    if (ParseCodePair(value)) continue;
    TAction action;
    EXPECT_EQ(ParseAction(value, action), "") << value;
    ++examples;
  }
  EXPECT_EQ(examples, 4);
}

}  // namespace
