// The settings file through the Windows profile functions.
#include <gtest/gtest.h>

#include <memory>

#include "dialogs/HIDSetup.h"
#include "engine/DMHID.h"
#include "win/FakeHid.h"
#include "win/TempDir.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    auto controller = std::make_unique<TFakeController>();
    Hid = controller.get();
    Eng = std::make_unique<TDModHID>(std::move(controller));
  }
  bool Load(const std::string& dir) { return LoadHIDSettings(Eng.get(), dir.c_str()); }
  // Fields that no file holds, so that a load that changes nothing shows.
  void Scramble() {
    Eng->FVendorID = 1;
    Eng->FProductID = 2;
    Eng->FRepeatDelay = 3;
    Eng->FHeldDelay = 4;
    Eng->FCheckByte = 5;
    Eng->FUseCheck = true;
    Eng->FIniDir = "old";
  }
  void ExpectDefaults() const {
    EXPECT_EQ(Eng->FVendorID, 0);
    EXPECT_EQ(Eng->FProductID, 0);
    EXPECT_EQ(Eng->FRepeatDelay, 500);
    EXPECT_EQ(Eng->FHeldDelay, 500);
    EXPECT_EQ(Eng->FCheckByte, 0);
    EXPECT_FALSE(Eng->FUseCheck);
  }
  void ExpectUnchanged() const {
    EXPECT_EQ(Eng->FVendorID, 1);
    EXPECT_EQ(Eng->FRepeatDelay, 3);
    EXPECT_TRUE(Eng->FUseCheck);
    EXPECT_EQ(Eng->FIniDir, "old");
  }

  TTempDir Dir;
  TFakeController* Hid = nullptr;
  std::unique_ptr<TDModHID> Eng;
};

TEST_F(Settings, LoadsEveryKey) {
  Dir.Write("KelHID.ini",
            "[SETUP]\r\nNAME=Receiver\r\nVID=0x04D8\r\nPID=$FF\r\nDelay=300\r\n"
            "HeldDelay=120\r\nCheck=300\r\nUseCheck=2\r\n");
  Scramble();
  EXPECT_TRUE(Load(Dir.Path()));
  EXPECT_EQ(Eng->FVendorID, 1240);
  EXPECT_EQ(Eng->FProductID, 255);
  EXPECT_EQ(Eng->FRepeatDelay, 300);
  EXPECT_EQ(Eng->FHeldDelay, 120);
  EXPECT_EQ(Eng->FCheckByte, 44);
  EXPECT_TRUE(Eng->FUseCheck);
  EXPECT_EQ(Eng->FIniDir, Dir.Path());
}

TEST_F(Settings, EmptyFileOrNoSetupSectionLoadsDefaultsAndIsFound) {
  Dir.Write("KelHID.ini", "");
  Scramble();
  EXPECT_TRUE(Load(Dir.Path()));
  ExpectDefaults();
  Dir.Write("KelHID.ini", "[OTHER]\r\nVID=1240\r\n");
  Scramble();
  EXPECT_TRUE(Load(Dir.Path()));
  ExpectDefaults();
}

TEST_F(Settings, MissingFileSetsDefaultsButNotFound) {
  Scramble();
  EXPECT_FALSE(Load(Dir.Path()));
  ExpectDefaults();
  EXPECT_EQ(Eng->FIniDir, Dir.Path());    // the directory existed
  EXPECT_EQ(Dir.Read("KelHID.ini"), "");  // loading never creates the file
}

TEST_F(Settings, MissingDirectoryChangesNothing) {
  Scramble();
  EXPECT_FALSE(Load(Dir.File("nowhere")));
  ExpectUnchanged();
  EXPECT_FALSE(LoadHIDSettings(Eng.get(), nullptr));
  ExpectUnchanged();
  EXPECT_FALSE(Load("   "));
  ExpectUnchanged();
  // A directory name that is a file.
  Dir.Write("plain", "x");
  EXPECT_FALSE(Load(Dir.File("plain")));
  ExpectUnchanged();
}

TEST_F(Settings, DirectoryIsTrimmedAndGetsOneBackslash) {
  Dir.Write("KelHID.ini", "[SETUP]\r\nVID=7\r\n");
  EXPECT_TRUE(Load("  \t" + Dir.Path() + " \r\n"));
  EXPECT_EQ(Eng->FIniDir, Dir.Path());
  EXPECT_EQ(Eng->FVendorID, 7);
  EXPECT_TRUE(Load(Dir.Path() + "\\"));
  EXPECT_EQ(Eng->FIniDir, Dir.Path() + "\\");
  EXPECT_EQ(Eng->FVendorID, 7);
}

TEST_F(Settings, LoadingStopsReceptionFirstEvenWithoutDirectory) {
  Hid->Add(0x1234, 1);
  Eng->FVendorID = 0x1234;
  Eng->FProductID = 1;
  ASSERT_TRUE(Eng->StartReceiving(false));
  EXPECT_FALSE(Load(Dir.File("nowhere")));
  EXPECT_EQ(Eng->FState, rsOff);
  EXPECT_FALSE(Hid->OnDeviceData());
}

TEST_F(Settings, BadInputGetsTheDefaultsSilently) {
  const std::string longValue(5000, '7');
  std::string junk = "[SETUP]\r\nVID=\x01\xFF\xFE\x80junk\r\nPID 1240\r\n";
  junk += "Delay=" + longValue + "\r\nHeldDelay=" + std::string(3000, '0') + "250\r\n";
  junk += std::string("\0\0\x1A\r\n", 5) + "Check=\r\nUseCheck==1\r\n";
  Dir.Write("KelHID.ini", junk);
  Scramble();
  EXPECT_TRUE(Load(Dir.Path()));
  EXPECT_EQ(Eng->FVendorID, 0);
  EXPECT_EQ(Eng->FProductID, 0);      // no "=" on its line
  EXPECT_EQ(Eng->FRepeatDelay, 500);  // too large for 32 bits
  EXPECT_EQ(Eng->FHeldDelay, 250);    // long, but a number
  EXPECT_EQ(Eng->FCheckByte, 0);
  EXPECT_FALSE(Eng->FUseCheck);
}

TEST_F(Settings, ValueTooLongToReadWholeGetsTheDefault) {
  // Cut off at any length, this would read as 0.
  Dir.Write("KelHID.ini", "[SETUP]\r\nDelay=" + std::string(size_t{1} << 20, '0') + "x\r\n");
  EXPECT_TRUE(Load(Dir.Path()));
  EXPECT_EQ(Eng->FRepeatDelay, 500);
}

TEST_F(Settings, KeyNamesMatchWithoutRegardToCase) {
  Dir.Write("KelHID.ini", "[setup]\r\nvid=1240\r\nHELDDELAY=90\r\n");
  EXPECT_TRUE(Load(Dir.Path()));
  EXPECT_EQ(Eng->FVendorID, 1240);
  EXPECT_EQ(Eng->FHeldDelay, 90);
}

const THIDSettings Saved{.VendorID = 0x8001,
                         .ProductID = 0x0002,
                         .RepeatDelay = 800,
                         .HeldDelay = 300,
                         .CheckByte = 0x2B,
                         .UseCheck = true};

TEST_F(Settings, WriterFillsTheEngineAndCreatesTheFileInOrder) {
  const std::string file = Dir.File("KelHID.ini");
  WriteHIDSettings(*Eng, file, "Remote - Maker (32769,2)", Saved);
  EXPECT_EQ(Eng->FVendorID, 0x8001);
  EXPECT_EQ(Eng->FProductID, 2);
  EXPECT_EQ(Eng->FRepeatDelay, 800);
  EXPECT_EQ(Eng->FHeldDelay, 300);
  EXPECT_EQ(Eng->FCheckByte, 0x2B);
  EXPECT_TRUE(Eng->FUseCheck);
  const std::string text = Dir.Read("KelHID.ini");
  const char* keys[] = {"[SETUP]",   "NAME=Remote - Maker (32769,2)",
                        "VID=32769", "PID=2",
                        "Delay=800", "HeldDelay=300",
                        "Check=43",  "UseCheck=1"};
  size_t at = 0;
  for (const char* key : keys) {
    const size_t found = text.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " in\n" << text;
    at = found;
  }
  // And it reads back.
  Scramble();
  EXPECT_TRUE(Load(Dir.Path()));
  EXPECT_EQ(Eng->FVendorID, 0x8001);
  EXPECT_EQ(Eng->FCheckByte, 0x2B);
}

TEST_F(Settings, WriterKeepsOtherLinesAndReplacesItsOwn) {
  Dir.Write("KelHID.ini", "; kept\r\n[SETUP]\r\nVID=1\r\nExtra=keep me\r\n[Other]\r\nA=B\r\n");
  WriteHIDSettings(*Eng, Dir.File("KelHID.ini"), "R", Saved);
  const std::string text = Dir.Read("KelHID.ini");
  EXPECT_NE(text.find("; kept"), std::string::npos);
  EXPECT_NE(text.find("Extra=keep me"), std::string::npos);
  EXPECT_NE(text.find("A=B"), std::string::npos);
  EXPECT_EQ(text.find("VID=1\r"), std::string::npos);
  EXPECT_NE(text.find("VID=32769"), std::string::npos);
}

TEST_F(Settings, FailedWriteRaisesAndLosesNothing) {
  const std::string before = "[SETUP]\r\nVID=1\r\nPID=2\r\n";
  Dir.Write("KelHID.ini", before);
  const std::string file = Dir.File("KelHID.ini");
  // Another program holds the file without sharing it.
  const HANDLE held =
      CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  try {
    WriteHIDSettings(*Eng, file, "R", Saved);
    ADD_FAILURE() << "no error raised";
  } catch (const ESettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + file);
  }
  CloseHandle(held);
  EXPECT_EQ(Dir.Read("KelHID.ini"), before);
  EXPECT_EQ(Eng->FVendorID, 0x8001);  // the engine already holds the new values

  // A path whose directory is missing cannot be written at all.
  EXPECT_THROW(WriteHIDSettings(*Eng, Dir.File("gone\\KelHID.ini"), "R", Saved),
               ESettingsWriteError);
}

}  // namespace
