#include "remote/RemoteFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The file as a user writes it, with LF line ends.
const std::string Sample =
    "; comments are whole lines\n"
    "[Remote]\n"
    "; the remote's name in the server's lines (default \"remote\")\n"
    "Name=myremote\n"
    "[Buttons]\n"
    "; a button's name = its code pair \"%u,%u\" (the pair of its press)\n"
    "KEY_VOLUMEUP=2864,75\n"
    "KEY_VOLUMEDOWN=2865,75\n"
    "[Actions]\n"
    "KEY_VOLUMEUP=keys:VolumeUp\n"
    "[Server]\n"
    "; Enabled default 0\n"
    "Enabled=1\n"
    "Address=127.0.0.1\n"
    "Port=8765\n";

std::string WithCrLf(const std::string& Text) {
  std::string crlf;
  for (const char c : Text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

std::string Lines(const std::vector<TFileProblem>& Problems) {
  std::string text;
  for (const TFileProblem& p : Problems) text += DescribeProblem(p) + "\n";
  return text;
}

TRemoteFile Loaded(const std::string& Text) {
  TRemoteFile file;
  EXPECT_EQ(Lines(file.Load(Text)), "");
  return file;
}

TEST(RemoteFile, LoadsTheSampleWithEitherLineEnd) {
  for (const std::string& text : {Sample, WithCrLf(Sample), "\xEF\xBB\xBF" + Sample}) {
    const TRemoteFile file = Loaded(text);
    EXPECT_EQ(file.RemoteName(), "myremote");
    ASSERT_EQ(file.Buttons().size(), 2U);
    EXPECT_EQ(file.Buttons()[0].Name, "KEY_VOLUMEUP");
    EXPECT_EQ(file.Buttons()[0].Code, (TCodePair{2864, 75}));
    EXPECT_EQ(file.Buttons()[0].Action, "keys:VolumeUp");
    EXPECT_EQ(file.Buttons()[0].ActionLine, 10);
    EXPECT_EQ(file.Buttons()[1].Action, "");
    EXPECT_TRUE(file.Server().Enabled);
    EXPECT_EQ(file.Server().Address, "127.0.0.1");
    EXPECT_EQ(file.Server().Port, 8765);
  }
}

TEST(RemoteFile, MissingKeysTakeTheirDefaults) {
  for (const std::string text : {"", "[Remote]\n[Server]\n", "; nothing\n"}) {
    const TRemoteFile file = Loaded(text);
    EXPECT_EQ(file.RemoteName(), "remote");
    EXPECT_TRUE(file.Buttons().empty());
    EXPECT_FALSE(file.Server().Enabled);
    EXPECT_EQ(file.Server().Address, "127.0.0.1");
    EXPECT_EQ(file.Server().Port, 8765);
  }
}

TEST(RemoteFile, SectionsAndKeysMatchWithoutRegardToCase) {
  const TRemoteFile file = Loaded(
      "[REMOTE]\nname = tv\n[ buttons ]\nKey_Up = 1,2\n[actions]\nKEY_UP=keys:Up\n"
      "[server]\nENABLED=1\nport=9000\naddress=0.0.0.0\n");
  EXPECT_EQ(file.RemoteName(), "tv");
  ASSERT_NE(file.FindButton("key_up"), nullptr);
  EXPECT_EQ(file.FindButton("KEY_UP")->Action, "keys:Up");
  EXPECT_EQ(file.Server().Port, 9000);
  EXPECT_EQ(file.Server().Address, "0.0.0.0");
  EXPECT_TRUE(file.Server().Enabled);
}

TEST(RemoteFile, ReportsBadLinesAndLoadsTheRest) {
  struct TCase {
    std::string Line;  // put into its section between two good lines
    std::string Section;
    std::string Why;
  };
  const TCase cases[] = {
      {"KEY_UP 1,2", "Buttons", "no key=value line"},
      {"=1,2", "Buttons", "no key before \"=\""},
      {"KEY UP=1,2", "Buttons", "\"KEY UP\" is refused: The name holds a blank"},
      {"KEY_UP=1;2", "Buttons", "\"1;2\" is no code pair"},
      {"KEY_UP=", "Buttons", "\"\" is no code pair"},
      {"KEY_FIRST=5,6", "Buttons", "The name KEY_FIRST is used already (line 3)"},
      {"key_first=5,6", "Buttons", "The name key_first is used already (line 3)"},
      {"KEY_UP=1,1", "Buttons", "The pair 1,1 is named KEY_FIRST already (line 3)"},
      {"Nam=x", "Remote", "[Remote] has no key \"Nam\""},
      {"Name=my remote", "Remote", "\"my remote\" is refused"},
      {"Enabled=yes", "Server", "Enabled is 0 or 1"},
      {"Port=0", "Server", "\"0\" is no number from 1 to 65535"},
      {"Port=65536", "Server", "\"65536\" is no number"},
      {"Port=80x", "Server", "\"80x\" is no number"},
      {"Address=localhost", "Server", "\"localhost\" is no IPv4 address"},
      {"Address=1.2.3.256", "Server", "is no IPv4 address"},
      {"Address=1.2.3", "Server", "is no IPv4 address"},
      {"Address=1.2.3.4.", "Server", "is no IPv4 address"},
      {"Listen=1", "Server", "[Server] has no key \"Listen\""},
      {"KEY_NONE=keys:Up", "Actions", "There is no button KEY_NONE"},
      {"KEY_FIRST=keys:Nope", "Actions", "The action of KEY_FIRST is refused: keys: knows no key"},
      {"[Other", "Buttons", "no key=value line"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Line);
    // The line under test is line 5, in the section named.
    const std::string text = "[Buttons]\n; first\nKEY_FIRST=1,1\n[" + c.Section + "]\n" + c.Line +
                             "\n[Buttons]\nKEY_LAST=9,9\n";
    TRemoteFile file;
    const std::vector<TFileProblem> problems = file.Load(text);
    ASSERT_EQ(problems.size(), 1U) << Lines(problems);
    EXPECT_EQ(problems[0].Line, 5);
    EXPECT_NE(problems[0].Reason.find(c.Why), std::string::npos) << problems[0].Reason;
    EXPECT_NE(file.FindButton("KEY_FIRST"), nullptr);
    EXPECT_NE(file.FindButton("KEY_LAST"), nullptr);
    // What could not be taken is written back as it was, so nothing the user wrote is lost.
    const std::string saved = file.Save();
    EXPECT_NE(saved.find("\r\n" + c.Line + "\r\n"), std::string::npos) << saved;
  }
}

TEST(RemoteFile, ALineBeforeTheFirstSectionIsReportedAndKept) {
  TRemoteFile file;
  const auto problems = file.Load("; top\nName=tv\n[Remote]\nName=kitchen\n");
  ASSERT_EQ(problems.size(), 1U) << Lines(problems);
  EXPECT_EQ(DescribeProblem(problems[0]),
            "Line 2: The line comes before the first section header such as [Buttons].");
  EXPECT_EQ(file.RemoteName(), "kitchen");
  EXPECT_TRUE(file.Save().starts_with("; top\r\nName=tv\r\n[Remote]\r\nName=kitchen\r\n"));
}

TEST(RemoteFile, ABadActionStillLoadsAsTheButtonsActionText) {
  TRemoteFile file;
  const auto problems = file.Load(
      "[Actions]\nKEY_A=keys:Up\nKEY_B=keys:Ctrl+\nKEY_A=keys:Down\n[Buttons]\nKEY_A=1,2\nKEY_B=3,"
      "4\n");
  ASSERT_EQ(problems.size(), 2U) << Lines(problems);
  EXPECT_EQ(DescribeProblem(problems[0]),
            "Line 3: The action of KEY_B is refused: keys: has an empty key name (next to \"+\"; "
            "the key is Plus).");
  EXPECT_EQ(DescribeProblem(problems[1]),
            "Line 4: The action of KEY_A is given twice; line 2 counts.");
  EXPECT_EQ(file.FindButton("KEY_A")->Action, "keys:Up");
  EXPECT_EQ(file.FindButton("KEY_B")->Action, "keys:Ctrl+");
  EXPECT_EQ(file.FindButton("KEY_B")->ActionLine, 3);
}

TEST(RemoteFile, KeepsCommentsWithTheLinesTheyDescribe) {
  const std::string text =
      "; head\n"
      "[Buttons]\n"
      "; volume\n"
      "KEY_VOLUMEUP=2864,75\n"
      "\n"
      "; power\n"
      "KEY_POWER=1,75\n"
      "; before Remote\n"
      "[Remote]\n"
      "Name=tv\n"
      "[Actions]\n"
      "; power's action\n"
      "KEY_POWER=run:shutdown.exe /h\n"
      "[Plugins]\n"
      "; theirs\n"
      "Any=thing\n"
      "; tail\n";
  TRemoteFile file = Loaded(text.substr(0, text.find("[Plugins]")));
  EXPECT_EQ(file.Save(), WithCrLf("; head\n"
                                  "; before Remote\n"
                                  "[Remote]\n"
                                  "Name=tv\n"
                                  "[Buttons]\n"
                                  "; volume\n"
                                  "KEY_VOLUMEUP=2864,75\n"
                                  "; power\n"
                                  "KEY_POWER=1,75\n"
                                  "[Actions]\n"
                                  "; power's action\n"
                                  "KEY_POWER=run:shutdown.exe /h\n"
                                  "[Server]\n"
                                  "Enabled=0\n"
                                  "Address=127.0.0.1\n"
                                  "Port=8765\n"));
  // A section of another name is kept whole, comments and all; it is reported once.
  const auto problems = file.Load(text);
  ASSERT_EQ(problems.size(), 1U) << Lines(problems);
  EXPECT_EQ(problems[0].Line, 14);
  EXPECT_NE(problems[0].Reason.find("[Plugins]"), std::string::npos);
  const std::string saved = file.Save();
  EXPECT_TRUE(saved.ends_with("Port=8765\r\n[Plugins]\r\n; theirs\r\nAny=thing\r\n; tail\r\n"))
      << saved;
  // The saved file loads as the same file.
  TRemoteFile again;
  EXPECT_EQ(again.Load(saved).size(), 1U);
  EXPECT_EQ(again.Save(), saved);
}

TEST(RemoteFile, ASavedFileLoadsAsTheSameFile) {
  const std::string texts[] = {
      "\xEF\xBB\xBF\xEF\xBB\xBF; two marks\n[Remote]\n",   // a mark would go, a line be new
      "[Buttons]\nA=1,2\n[Actions]\nA=\nA=keys:Up\n",      // an empty action line is none
      "[Buttons]\nA=1,2\n[Actions]\nA=keys:Up\x7F\x01\n",  // control characters at the end
      "[Buttons]\nA=1,2\na=3,4\nB=1,2\n[Actions]\nB=keys:Up\nA=keys:Nope\na=keys:Down\n",
      "x\n[Other]\n; c\n[Buttons]\nA=1,2\n; tail\n",
      "[Remote]\nName=a b\nname=tv\n[Server]\nPort=0\nPort=80\n",
      "\r\n\xEF\xBB\xBF,1\r\n[Remote]\n",  // a mark after a blank line, on a bad line
  };
  for (const std::string& text : texts) {
    TRemoteFile file;
    (void)file.Load(text);
    const std::string saved = file.Save();
    TRemoteFile again;
    (void)again.Load(saved);
    EXPECT_EQ(again.Save(), saved) << text;
  }
  TRemoteFile file;
  EXPECT_EQ(file.Load(texts[1]).size(), 0U);
  EXPECT_EQ(file.FindButton("A")->Action, "keys:Up");
}

TEST(RemoteFile, AFreshFileHoldsEveryKeyWithItsDefault) {
  EXPECT_EQ(TRemoteFile().Save(),
            "[Remote]\r\nName=remote\r\n[Buttons]\r\n[Actions]\r\n[Server]\r\nEnabled=0\r\n"
            "Address=127.0.0.1\r\nPort=8765\r\n");
}

TEST(RemoteFile, WritesNoLineBreakOrControlCharacterInsideAValue) {
  TRemoteFile file;
  ASSERT_EQ(file.AddButton("KEY_A", {1, 2}), "");
  ASSERT_EQ(file.SetAction("KEY_A", "text:one\r\n[Server]\nEnabled=1\ttwo\x7F"), "");
  EXPECT_EQ(file.FindButton("KEY_A")->Action, "text:one  [Server] Enabled=1 two");
  const std::string saved = file.Save();
  EXPECT_NE(saved.find("\r\nKEY_A=text:one  [Server] Enabled=1 two\r\n"), std::string::npos);
  TRemoteFile again = Loaded(saved);
  EXPECT_FALSE(again.Server().Enabled);
  EXPECT_EQ(again.FindButton("KEY_A")->Action, "text:one  [Server] Enabled=1 two");
  // Names and addresses with such characters are refused before they reach the file.
  EXPECT_NE(file.SetRemoteName("a\r\nb"), "");
  EXPECT_NE(file.SetServer({true, "127.0.0.1\r\nPort=1", 8765}), "");
  EXPECT_NE(file.AddButton("KEY_B\r\n", {3, 4}), "");
  EXPECT_EQ(file.Save(), saved);
}

TEST(RemoteFile, FindsButtonsByNameAndByPair) {
  const TRemoteFile file = Loaded(Sample);
  EXPECT_EQ(file.ButtonName({2864, 75}), "KEY_VOLUMEUP");
  EXPECT_EQ(file.ButtonName({2865, 75}), "KEY_VOLUMEDOWN");
  EXPECT_EQ(file.ButtonName({2864, 76}), "");
  EXPECT_EQ(file.ButtonName({75, 2864}), "");
  ASSERT_NE(file.FindButton(TCodePair{2865, 75}), nullptr);
  EXPECT_EQ(file.FindButton(TCodePair{2865, 75})->Name, "KEY_VOLUMEDOWN");
  EXPECT_EQ(file.FindButton("KEY_VOLUME"), nullptr);
  EXPECT_EQ(file.FindButton("key_volumeup")->Code, (TCodePair{2864, 75}));
}

TEST(RemoteFile, RefusesANameUsedOrAPairNamedAlready) {
  struct TCase {
    std::string Name;
    TCodePair Code;
    std::string Message;
  };
  const TCase cases[] = {
      {"KEY_VOLUMEUP", {1, 2}, "The name KEY_VOLUMEUP is used already by the button 2864,75."},
      {"key_volumeup", {1, 2}, "The name KEY_VOLUMEUP is used already by the button 2864,75."},
      {"KEY_MUTE", {2865, 75}, "The button 2865,75 has a name already: KEY_VOLUMEDOWN."},
      {"KEY MUTE", {1, 2}, "The name holds a blank; LIRC names are one word (use _ instead)."},
      {"", {1, 2}, "The name is empty."},
  };
  for (const TCase& c : cases) {
    TRemoteFile file = Loaded(Sample);
    EXPECT_EQ(file.AddButton(c.Name, c.Code), c.Message);
    EXPECT_EQ(file.Save(), Loaded(Sample).Save()) << "changed by " << c.Name;
  }
  TRemoteFile file = Loaded(Sample);
  EXPECT_EQ(file.AddButton("KEY_MUTE", {2866, 75}), "");
  EXPECT_EQ(file.ButtonName({2866, 75}), "KEY_MUTE");
  EXPECT_EQ(file.Buttons().back().Name, "KEY_MUTE");
}

TEST(RemoteFile, RenameKeepsPairActionAndComments) {
  TRemoteFile file =
      Loaded("[Buttons]\n; loud\nKEY_A=1,2\nKEY_B=3,4\n[Actions]\n; act\nKEY_A=keys:VolumeUp\n");
  EXPECT_EQ(file.RenameButton("KEY_A", "KEY_B"),
            "The name KEY_B is used already by the button 3,4.");
  EXPECT_EQ(file.RenameButton("KEY_C", "KEY_D"), "There is no button KEY_C.");
  EXPECT_EQ(file.RenameButton("KEY_A", "KEY A"), ButtonNameProblem("KEY A"));
  EXPECT_EQ(file.RenameButton("key_a", "Key_A"), "");  // its own name in other letters
  EXPECT_EQ(file.RenameButton("KEY_A", "KEY_VOLUMEUP"), "");
  EXPECT_EQ(file.FindButton("KEY_A"), nullptr);
  EXPECT_EQ(file.Save(),
            WithCrLf("[Remote]\nName=remote\n[Buttons]\n; loud\nKEY_VOLUMEUP=1,2\nKEY_B=3,4\n"
                     "[Actions]\n; act\nKEY_VOLUMEUP=keys:VolumeUp\n[Server]\nEnabled=0\n"
                     "Address=127.0.0.1\nPort=8765\n"));
}

TEST(RemoteFile, DeleteTakesTheActionAndCommentsWithIt) {
  TRemoteFile file =
      Loaded("[Buttons]\n; loud\nKEY_A=1,2\nKEY_B=3,4\n[Actions]\n; act\nKEY_A=keys:VolumeUp\n");
  EXPECT_EQ(file.DeleteButton("KEY_C"), "There is no button KEY_C.");
  EXPECT_EQ(file.DeleteButton("key_a"), "");
  EXPECT_EQ(file.ButtonName({1, 2}), "");
  EXPECT_EQ(file.AddButton("KEY_A", {5, 6}), "");
  EXPECT_EQ(file.Save(),
            WithCrLf("[Remote]\nName=remote\n[Buttons]\nKEY_B=3,4\nKEY_A=5,6\n[Actions]\n[Server]\n"
                     "Enabled=0\nAddress=127.0.0.1\nPort=8765\n"));
}

TEST(RemoteFile, SetActionRefusesABadLineAndAnEmptyOneRemovesIt) {
  TRemoteFile file = Loaded(Sample);
  EXPECT_EQ(file.SetAction("KEY_VOLUMEUP", "keys:Nope"), "keys: knows no key \"Nope\".");
  EXPECT_EQ(file.FindButton("KEY_VOLUMEUP")->Action, "keys:VolumeUp");
  EXPECT_EQ(file.SetAction("KEY_NONE", "keys:Up"), "There is no button KEY_NONE.");
  EXPECT_EQ(file.SetAction("key_volumedown", " keys:VolumeDown,repeat "), "");
  EXPECT_EQ(file.FindButton("KEY_VOLUMEDOWN")->Action, "keys:VolumeDown,repeat");
  EXPECT_EQ(file.FindButton("KEY_VOLUMEDOWN")->ActionLine, 0);
  EXPECT_EQ(file.SetAction("KEY_VOLUMEUP", ""), "");
  const std::string saved = file.Save();
  EXPECT_EQ(saved.find("KEY_VOLUMEUP=keys"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[Actions]\r\nKEY_VOLUMEDOWN=keys:VolumeDown,repeat\r\n"),
            std::string::npos);
}

TEST(RemoteFile, RemoteNameAndServerAreCheckedWhenSet) {
  TRemoteFile file;
  EXPECT_EQ(file.SetRemoteName("living_room"), "");
  EXPECT_EQ(file.RemoteName(), "living_room");
  EXPECT_NE(file.SetRemoteName("living room"), "");
  EXPECT_EQ(file.RemoteName(), "living_room");
  EXPECT_EQ(file.SetServer({true, "192.168.1.20", 9000}), "");
  EXPECT_EQ(file.SetServer({true, "192.168.1", 9000}),
            "The address \"192.168.1\" is no IPv4 address like 127.0.0.1.");
  EXPECT_EQ(file.SetServer({true, "127.0.0.1", 0}), "The port is 0; it must be 1 to 65535.");
  EXPECT_EQ(file.Server().Address, "192.168.1.20");
  EXPECT_EQ(file.Server().Port, 9000);
  const TRemoteFile again = Loaded(file.Save());
  EXPECT_EQ(again.RemoteName(), "living_room");
  EXPECT_TRUE(again.Server().Enabled);
  EXPECT_EQ(again.Server().Address, "192.168.1.20");
  EXPECT_EQ(again.Server().Port, 9000);
}

TEST(RemoteFile, LivesBesideTheProgram) {
  EXPECT_EQ(RemoteFilePath("C:\\Tools"), "C:\\Tools\\KelHIDRemote.ini");
  EXPECT_EQ(RemoteFilePath("C:\\"), "C:\\KelHIDRemote.ini");
}

}  // namespace
