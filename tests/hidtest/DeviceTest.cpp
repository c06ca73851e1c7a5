// A device object: opening and identifying, the queries, the reader's preconditions, unplugging.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hid/Hid.h"
#include "hidtest/HidFixture.h"

namespace {

using Device = THidTest;

// --- Construction ----------------------------------------------------------------------------

TEST_F(Device, ConstructionIdentifiesTheDeviceAndLeavesItFree) {
  const TStandinDevice& d = Plug(Ids(0x1234, 0xBEEF));
  Hid->DeviceChange();
  ASSERT_EQ(Hid->Count(), 1);
  THidDevice* dev = Hid->Devices(0);
  EXPECT_EQ(dev->DeviceAttributes.Size, 12u);
  EXPECT_EQ(dev->DeviceAttributes.VendorID, 0x1234);
  EXPECT_EQ(dev->DeviceAttributes.ProductID, 0xBEEF);
  EXPECT_TRUE(dev->Plugged);
  EXPECT_FALSE(dev->Claimed);
  EXPECT_FALSE(dev->InHandler);
  EXPECT_TRUE(dev->ReadWriteOpen);
  EXPECT_EQ(dev->Reader(), nullptr);
  EXPECT_EQ(dev->Controller(), Hid.get());
  EXPECT_EQ(dev->PnPRecord()->Path, d.Path());
  EXPECT_EQ(dev->PnPRecord()->DevInst, d.DevInst());
  EXPECT_EQ(dev->ReadSleepTime(), 100);
  EXPECT_FALSE(dev->DataErrorHandler);
}

TEST_F(Device, OneThatCannotBeOpenedRaisesAndIsLeftOutOfTheScan) {
  // Listed on the bus, but nobody serves the pipe.
  standin::TDeviceName ghost{standin::BusName(), 999999, {}};
  standin::PlugIn(ghost);
  Plug();
  Hid->SetOnArrival(Rec.ArrivalEvent());
  Hid->DeviceChange();
  EXPECT_EQ(Hid->Count(), 1);
  EXPECT_EQ(Rec.Log.size(), 1u);
  try {
    THidDevice direct(
        std::make_unique<THidPnPInfo>(999999, standin::PipePrefix + standin::FormatName(ghost)),
        nullptr);
    FAIL() << "no error raised";
  } catch (const EControllerError& e) {
    EXPECT_STREQ(e.what(), "Device cannot be opened");
  }
  standin::Unplug(ghost);
}

TEST_F(Device, OneThatCannotBeIdentifiedRaisesAndIsLeftOutOfTheScan) {
  standin::TDeviceKind kind;
  kind.NoAttributes = true;
  const TStandinDevice& d = Plug(kind);
  Hid->DeviceChange();
  EXPECT_EQ(Hid->Count(), 0);
  try {
    THidDevice direct(std::make_unique<THidPnPInfo>(d.DevInst(), d.Path()), nullptr);
    FAIL() << "no error raised";
  } catch (const EControllerError& e) {
    EXPECT_STREQ(e.what(), "Device cannot be identified");
  }
}

TEST_F(Device, OneHeldElsewhereIsListedWithoutReadWriteAccessAndNeverRead) {
  standin::TDeviceKind kind;
  kind.Busy = true;
  TStandinDevice& d = Plug(kind);
  Hid->SetOnDeviceData(Rec.DataEvent());
  THidDevice* dev = Claim(d);
  ASSERT_NE(dev, nullptr);
  EXPECT_TRUE(dev->Plugged);
  EXPECT_FALSE(dev->ReadWriteOpen);
  EXPECT_EQ(dev->Reader(), nullptr);
  // Queries still work on the handle opened without access rights.
  EXPECT_EQ(dev->QueryCaps().InputReportByteLength, 9);
  EXPECT_EQ(dev->ProductName(), L"Stand-in Receiver " + std::to_wstring(d.DevInst()));
  dev->SetDataHandler(Rec.DataEvent());
  EXPECT_EQ(dev->Reader(), nullptr);
  // Nobody holds the device open to read it.
  const std::vector<uint8_t> report(9, 1);
  EXPECT_EQ(d.Send(report), 0);
  PumpPending();
  EXPECT_TRUE(Rec.Reports.empty());
  Hid->ReleaseDevice(dev);
}

// --- Queries ---------------------------------------------------------------------------------

TEST_F(Device, StringsAreReadOnlyWhileAccessibleAndThenCached) {
  const TStandinDevice& d = Plug(Ids(0x0ABC, 1));
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  // Neither handed out nor shown to a handler: nothing is opened, nothing is known.
  EXPECT_EQ(dev->ProductName(), L"");
  EXPECT_EQ(dev->VendorName(), L"");
  THidDevice* claimed = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(claimed, 0));
  EXPECT_EQ(dev->ProductName(), L"Stand-in Receiver " + std::to_wstring(d.DevInst()));
  EXPECT_EQ(dev->VendorName(), L"Stand-in Vendor 0ABC");
  Hid->ReleaseDevice(claimed);
  EXPECT_EQ(dev->ProductName(), L"Stand-in Receiver " + std::to_wstring(d.DevInst()));
}

TEST_F(Device, StringsThatCannotBeReadStayEmpty) {
  standin::TDeviceKind kind;
  kind.NoStrings = true;
  THidDevice* dev = Claim(Plug(kind));
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(dev->ProductName(), L"");
  EXPECT_EQ(dev->VendorName(), L"");
  Hid->ReleaseDevice(dev);
}

TEST_F(Device, CapsComeFromPreparsedDataFetchedOnceAndFreedWithTheDevice) {
  standin::TDeviceKind kind;
  kind.ReportLength = 23;
  THidDevice* dev = Claim(Plug(kind));
  ASSERT_NE(dev, nullptr);
  const PHIDP_PREPARSED_DATA first = dev->QueryPreparsed();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(dev->QueryPreparsed(), first);
  EXPECT_EQ(dev->QueryCaps().InputReportByteLength, 23);
  EXPECT_EQ(LivePreparsedData(), 1);
  Hid->ReleaseDevice(dev);
  // Still listed and plugged: the data stays until the object goes.
  EXPECT_EQ(LivePreparsedData(), 1);
  Hid.reset();
  EXPECT_EQ(LivePreparsedData(), 0);
}

TEST_F(Device, CapsThatCannotBeFetchedAreZero) {
  standin::TDeviceKind kind;
  kind.NoCaps = true;
  THidDevice* dev = Claim(Plug(kind));
  ASSERT_NE(dev, nullptr);
  EXPECT_EQ(dev->QueryPreparsed(), nullptr);
  const HIDP_CAPS caps = dev->QueryCaps();
  EXPECT_EQ(caps.InputReportByteLength, 0);
  EXPECT_EQ(caps.UsagePage, 0);
  Hid->ReleaseDevice(dev);
}

TEST_F(Device, ReadSleepTimeTakesTenToTenThousandMilliseconds) {
  Plug();
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  dev->SetReadSleepTime(9);
  EXPECT_EQ(dev->ReadSleepTime(), 100);
  dev->SetReadSleepTime(10001);
  EXPECT_EQ(dev->ReadSleepTime(), 100);
  dev->SetReadSleepTime(10);
  EXPECT_EQ(dev->ReadSleepTime(), 10);
  dev->SetReadSleepTime(10000);
  EXPECT_EQ(dev->ReadSleepTime(), 10000);
}

// --- When a reader runs --------------------------------------------------------------------

TEST_F(Device, AHandlerOnAFreeDeviceStartsNoReaderUntilItIsHandedOut) {
  Plug();
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  Hid->SetOnDeviceData(Rec.DataEvent());
  EXPECT_EQ(dev->DataHandler(), Rec.DataEvent());
  EXPECT_EQ(dev->Reader(), nullptr);
  THidDevice* claimed = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(claimed, 0));
  EXPECT_NE(dev->Reader(), nullptr);
  Hid->ReleaseDevice(claimed);
  EXPECT_EQ(dev->Reader(), nullptr);
  // Given back, it keeps its handler.
  EXPECT_EQ(dev->DataHandler(), Rec.DataEvent());
}

TEST_F(Device, ClearingTheHandlerStopsTheReaderBeforeTheHandlerIsForgotten) {
  THidDevice* dev = Claim(Plug());
  ASSERT_NE(dev, nullptr);
  dev->SetDataHandler(Rec.DataEvent());
  const THidDeviceReadThread* reader = dev->Reader();
  ASSERT_NE(reader, nullptr);
  HANDLE thread = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), reader->Handle(), GetCurrentProcess(), &thread,
                              SYNCHRONIZE, FALSE, 0));
  const TUniqueHandle ownThread(thread);
  dev->SetDataHandler({});
  EXPECT_EQ(dev->Reader(), nullptr);
  EXPECT_FALSE(dev->DataHandler());
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the reading thread still runs";
  Hid->ReleaseDevice(dev);
}

// --- Unplugging ------------------------------------------------------------------------------

TEST_F(Device, MarkUnpluggedCallsTheUnplugHandlerOnceAndClosesTheDevice) {
  THidDevice* dev = Claim(Plug());
  ASSERT_NE(dev, nullptr);
  dev->UnplugHandler = Rec.UnplugEvent();
  dev->MarkUnplugged();
  EXPECT_FALSE(dev->Plugged);
  EXPECT_EQ(Rec.Unplugs, 1);
  EXPECT_FALSE(dev->UnplugHandler);
  dev->MarkUnplugged();
  EXPECT_EQ(Rec.Unplugs, 1);
  // No longer accessible: queries open nothing and know nothing new.
  EXPECT_EQ(dev->ProductName(), L"");
  EXPECT_EQ(dev->QueryPreparsed(), nullptr);
  Hid->ReleaseDevice(dev);
  EXPECT_EQ(Hid->Count(), 0);
}

}  // namespace
