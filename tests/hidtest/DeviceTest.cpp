// A device object: opening and identifying, the queries, when a reader runs, unplugging.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hid/Hid.h"
#include "hidtest/HidFixture.h"

namespace {

using Device = THidTest;

// The message of the EControllerError that making a device for Path raises; empty if none.
std::string ConstructionError(DWORD DevInst, const std::string& Path) {
  try {
    const THidDevice device(std::make_unique<THidPnPInfo>(DevInst, Path), nullptr);
  } catch (const EControllerError& e) {
    return e.what();
  }
  return {};
}

standin::TDeviceKind Kind(void (*Change)(standin::TDeviceKind&)) {
  standin::TDeviceKind kind;
  Change(kind);
  return kind;
}

TEST_F(Device, ConstructionIdentifiesTheDeviceAndLeavesItFreeAndClosed) {
  const TStandinDevice& d = Plug(Ids(0x1234, 0xBEEF));
  Hid->DeviceChange();
  ASSERT_EQ(Hid->Count(), 1);
  THidDevice* dev = Hid->Devices(0);
  EXPECT_EQ(dev->DeviceAttributes.Size, 12u);
  EXPECT_EQ(dev->DeviceAttributes.VendorID, 0x1234);
  EXPECT_EQ(dev->DeviceAttributes.ProductID, 0xBEEF);
  EXPECT_TRUE(dev->Plugged && dev->ReadWriteOpen);
  EXPECT_FALSE(dev->Claimed || dev->InHandler);
  EXPECT_EQ(dev->Reader(), nullptr);
  EXPECT_EQ(dev->Controller(), Hid.get());
  EXPECT_EQ(dev->PnPRecord()->Path, d.Path());
  EXPECT_EQ(dev->PnPRecord()->DevInst, d.DevInst());
  EXPECT_EQ(dev->ReadSleepTime(), 100);
  EXPECT_FALSE(dev->DataErrorHandler);
  // Nothing was left open: the device's only user went.
  EXPECT_EQ(Devices[0]->Send(std::vector<uint8_t>(9, 0)), 0);
}

TEST_F(Device, OnesThatCannotBeOpenedOrIdentifiedRaiseAndAreLeftOut) {
  // Listed on the bus, but nobody serves its pipe.
  const standin::TDeviceName ghost{standin::BusName(), 999999, {}};
  standin::PlugIn(ghost);
  const TStandinDevice& anonymous = Plug(Kind([](auto& k) { k.NoAttributes = true; }));
  const TStandinDevice& fine = Plug();
  Hid->DeviceChange();
  ASSERT_EQ(Hid->Count(), 1);
  EXPECT_EQ(Hid->Devices(0)->PnPRecord()->DevInst, fine.DevInst());
  EXPECT_EQ(ConstructionError(1, standin::PipePrefix + standin::FormatName(ghost)),
            "Device cannot be opened");
  EXPECT_EQ(ConstructionError(anonymous.DevInst(), anonymous.Path()),
            "Device cannot be identified");
  standin::Unplug(ghost);
}

TEST_F(Device, OneHeldElsewhereIsListedWithoutReadWriteAccessAndNeverRead) {
  TStandinDevice& d = Plug(Kind([](auto& k) { k.Busy = true; }));
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  EXPECT_TRUE(dev->Plugged);
  EXPECT_FALSE(dev->ReadWriteOpen);
  EXPECT_EQ(dev->Reader(), nullptr);
  // Queries work on the handle opened without access rights.
  EXPECT_EQ(dev->QueryCaps().InputReportByteLength, 9);
  EXPECT_EQ(dev->ProductName(), L"Stand-in Receiver " + std::to_wstring(d.DevInst()));
  dev->SetDataHandler(Rec.DataEvent());
  EXPECT_EQ(dev->Reader(), nullptr);
  EXPECT_EQ(d.Send(std::vector<uint8_t>(9, 1)), 0) << "someone holds the device open";
  PumpPending();
  EXPECT_TRUE(Rec.Reports.empty());
  Hid->ReleaseDevice(dev);
}

TEST_F(Device, StringsAreReadOnlyWhileAccessibleThenCachedOrLeftEmpty) {
  const TStandinDevice& d = Plug(Ids(0x0ABC, 1));
  Plug(Kind([](auto& k) { k.NoStrings = true; }));
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  // Neither handed out nor shown to a handler: nothing is opened, nothing is known.
  EXPECT_EQ(dev->ProductName(), L"");
  THidDevice* claimed = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(claimed, 0));
  EXPECT_EQ(dev->ProductName(), L"Stand-in Receiver " + std::to_wstring(d.DevInst()));
  EXPECT_EQ(dev->VendorName(), L"Stand-in Vendor 0ABC");
  Hid->ReleaseDevice(claimed);
  EXPECT_EQ(dev->ProductName(), L"Stand-in Receiver " + std::to_wstring(d.DevInst()));

  ASSERT_TRUE(Hid->ClaimByIndex(claimed, 1));
  EXPECT_EQ(claimed->ProductName(), L"");
  EXPECT_EQ(claimed->VendorName(), L"");
  Hid->ReleaseDevice(claimed);
}

TEST_F(Device, CapsComeFromPreparsedDataFetchedOnceAndFreedWithTheDevice) {
  Plug(Kind([](auto& k) { k.ReportLength = 23; }));
  Plug(Kind([](auto& k) { k.NoCaps = true; }));
  Hid->DeviceChange();
  THidDevice* dev = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(dev, 0));
  const PHIDP_PREPARSED_DATA first = dev->QueryPreparsed();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(dev->QueryPreparsed(), first);
  EXPECT_EQ(dev->QueryCaps().InputReportByteLength, 23);
  EXPECT_EQ(LivePreparsedData(), 1);

  THidDevice* without = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(without, 1));
  EXPECT_EQ(without->QueryPreparsed(), nullptr);
  EXPECT_EQ(without->QueryCaps().InputReportByteLength, 0);
  EXPECT_EQ(without->QueryCaps().UsagePage, 0);

  Hid->ReleaseDevice(dev);
  Hid->ReleaseDevice(without);
  EXPECT_EQ(LivePreparsedData(), 1) << "listed devices keep their data";
  Hid.reset();
  EXPECT_EQ(LivePreparsedData(), 0);
}

TEST_F(Device, ReadSleepTimeTakesTenToTenThousandMilliseconds) {
  Plug();
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  for (const int32_t refused : {9, 10001, -1}) dev->SetReadSleepTime(refused);
  EXPECT_EQ(dev->ReadSleepTime(), 100);
  dev->SetReadSleepTime(10);
  EXPECT_EQ(dev->ReadSleepTime(), 10);
  dev->SetReadSleepTime(10000);
  EXPECT_EQ(dev->ReadSleepTime(), 10000);
}

TEST_F(Device, AReaderRunsOnlyWhileHandedOutWithAHandler) {
  Plug();
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  Hid->SetOnDeviceData(Rec.DataEvent());
  EXPECT_EQ(dev->DataHandler(), Rec.DataEvent());
  EXPECT_EQ(dev->Reader(), nullptr) << "not handed out";
  THidDevice* claimed = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(claimed, 0));
  ASSERT_NE(dev->Reader(), nullptr);

  // Clearing the handler ends the thread before the handler is forgotten.
  HANDLE thread = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), dev->Reader()->Handle(), GetCurrentProcess(),
                              &thread, SYNCHRONIZE, FALSE, 0));
  const TUniqueHandle ownThread(thread);
  Hid->SetOnDeviceData({});
  EXPECT_EQ(dev->Reader(), nullptr);
  EXPECT_FALSE(dev->DataHandler());
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the reading thread still runs";

  // Given back, the device keeps its handler but reads no more.
  Hid->SetOnDeviceData(Rec.DataEvent());
  EXPECT_NE(dev->Reader(), nullptr);
  Hid->ReleaseDevice(claimed);
  EXPECT_EQ(dev->Reader(), nullptr);
  EXPECT_EQ(dev->DataHandler(), Rec.DataEvent());
}

TEST_F(Device, MarkUnpluggedCallsTheUnplugHandlerOnceAndClosesTheDevice) {
  THidDevice* dev = Claim(Plug());
  ASSERT_NE(dev, nullptr);
  dev->UnplugHandler = Rec.UnplugEvent();
  dev->MarkUnplugged();
  dev->MarkUnplugged();
  EXPECT_FALSE(dev->Plugged);
  EXPECT_EQ(Rec.Unplugs, 1);
  EXPECT_FALSE(dev->UnplugHandler);
  // No longer accessible: queries open nothing and learn nothing new.
  EXPECT_EQ(dev->ProductName(), L"");
  EXPECT_EQ(dev->QueryPreparsed(), nullptr);
  Hid->ReleaseDevice(dev);
  EXPECT_EQ(Hid->Count(), 0);
}

}  // namespace
