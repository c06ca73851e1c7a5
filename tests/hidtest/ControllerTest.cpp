// The controller: scanning, arrivals and removals, handing devices out and back, Enumerate,
// the handlers it passes on, and the one-controller rule.
#include <gtest/gtest.h>
#include <windows.h>

#include <dbt.h>

#include <string>
#include <vector>

#include "gui/Application.h"
#include "hidtest/HidFixture.h"

namespace {

using Controller = THidTest;
using Strings = std::vector<std::string>;

std::string N(const TStandinDevice& Device) {
  return std::to_string(Device.DevInst());
}

// --- Scanning --------------------------------------------------------------------------------

TEST_F(Controller, WithNoDevicesAScanFiresNothingAndEnumerateCountsNone) {
  Hid->SetOnArrival(Rec.ArrivalEvent());
  Hid->SetOnRemoval(Rec.RemovalEvent());
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  Hid->SetOnEnumerate(Rec.EnumerateEvent());
  Hid->DeviceChange();
  EXPECT_TRUE(Rec.Log.empty());
  EXPECT_EQ(Hid->Count(), 0);
  EXPECT_EQ(Hid->Enumerate(), 0);
}

TEST_F(Controller, ArrivalsComeInTheOrderFoundThenOneChange) {
  const TStandinDevice& a = Plug();
  const TStandinDevice& b = Plug();
  Hid->SetOnArrival(Rec.ArrivalEvent());
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  Hid->DeviceChange();
  EXPECT_EQ(Rec.Log, (Strings{"arrival " + N(a), "arrival " + N(b), "change"}));
  ASSERT_EQ(Hid->Count(), 2);
  EXPECT_EQ(Hid->Devices(0)->PnPRecord()->DevInst, a.DevInst());
  EXPECT_EQ(Hid->Devices(1)->PnPRecord()->DevInst, b.DevInst());
  EXPECT_FALSE(Hid->Devices(0)->InHandler);
  EXPECT_FALSE(Hid->Devices(1)->InHandler);
}

TEST_F(Controller, ListedDevicesKeepTheirObjectsAndPlacesAndNewOnesAreAppended) {
  const TStandinDevice& a = Plug();
  TStandinDevice& b = Plug();
  Hid->DeviceChange();
  THidDevice* first = Hid->Devices(0);
  const std::string second = Name(Hid->Devices(1));
  Hid->SetOnArrival(Rec.ArrivalEvent());
  Hid->SetOnRemoval(Rec.RemovalEvent());
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  Hid->DeviceChange();
  EXPECT_TRUE(Rec.Log.empty()) << "a scan without changes";
  const TStandinDevice& c = Plug();
  b.Unplug();
  Hid->DeviceChange();
  EXPECT_EQ(Rec.Log, (Strings{"removal " + second, "arrival " + N(c), "change"}));
  ASSERT_EQ(Hid->Count(), 2);
  EXPECT_EQ(Hid->Devices(0), first);
  EXPECT_EQ(Hid->Devices(0)->PnPRecord()->DevInst, a.DevInst());
  EXPECT_EQ(Hid->Devices(1)->PnPRecord()->DevInst, c.DevInst());
}

TEST_F(Controller, RemovalsRunFromLastToFirstThenOneChange) {
  TStandinDevice& a = Plug();
  TStandinDevice& b = Plug();
  Hid->DeviceChange();
  Hid->SetOnRemoval(Rec.RemovalEvent());
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  a.Unplug();
  b.Unplug();
  Hid->DeviceChange();
  EXPECT_EQ(Rec.Log, (Strings{"removal " + N(b), "removal " + N(a), "change"}));
  EXPECT_EQ(Hid->Count(), 0);
}

TEST_F(Controller, TheBroadcastRunsAScanOnceLoadedAndTheFirstScanIsAskedFor) {
  const TStandinDevice& a = Plug();
  Hid->SetOnArrival(Rec.ArrivalEvent());
  const size_t hooks = Application().MainWindowHookCount();
  Hid->AfterLoad();
  EXPECT_EQ(Hid->Count(), 0) << "the first scan waits for the message loop";
  ASSERT_TRUE(PumpUntil([&] { return Hid->Count() == 1; }));
  const TStandinDevice& b = Plug();
  PostDeviceChange();
  ASSERT_TRUE(PumpUntil([&] { return Hid->Count() == 2; }));
  EXPECT_EQ(Rec.Log, (Strings{"arrival " + N(a), "arrival " + N(b)}));
  // Other device-change notifications are not scans. Those that carry a record can only be
  // sent; the others are posted like the broadcast.
  Plug();
  SendMessageA(Application().Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
  ASSERT_TRUE(PostMessageA(Application().Handle(), WM_DEVICECHANGE, DBT_CONFIGCHANGED, 0));
  PumpPending();
  EXPECT_EQ(Hid->Count(), 2);
  // Once the controller is gone, the broadcast reaches nothing of it.
  EXPECT_EQ(Application().MainWindowHookCount(), hooks + 1);
  Hid.reset();
  EXPECT_EQ(Application().MainWindowHookCount(), hooks);
}

TEST_F(Controller, SettingOnDeviceChangeScansAtOnceOnlyOnceLoaded) {
  Plug();
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  EXPECT_EQ(Hid->Count(), 0);
  Hid->SetOnDeviceChange({});
  Hid->AfterLoad();
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  EXPECT_EQ(Hid->Count(), 1);
  EXPECT_EQ(Rec.Log, (Strings{"change"}));
  // An equal handler changes nothing and runs no scan.
  Plug();
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  EXPECT_EQ(Hid->Count(), 1);
}

// --- Handing out and back --------------------------------------------------------------------

TEST_F(Controller, ClaimByIdsHandsOutEqualReceiversInListOrder) {
  Plug(Ids(0x1111, 2));
  Plug(Ids(0x1111, 2));
  Hid->DeviceChange();
  THidDevice* first = nullptr;
  THidDevice* second = nullptr;
  THidDevice* third = Hid->Devices(0);
  EXPECT_TRUE(Hid->ClaimByIds(first, 0x1111, 2));
  EXPECT_TRUE(Hid->ClaimByIds(second, 0x1111, 2));
  EXPECT_FALSE(Hid->ClaimByIds(third, 0x1111, 2));
  EXPECT_EQ(first, Hid->Devices(0));
  EXPECT_EQ(second, Hid->Devices(1));
  EXPECT_EQ(third, nullptr);
  EXPECT_TRUE(first->Claimed);
  EXPECT_TRUE(second->Claimed);
  Hid->ReleaseDevice(first);
  Hid->ReleaseDevice(second);
}

TEST_F(Controller, ProductIdMinusOneMatchesAnyProductButThereIsNoVendorWildcard) {
  Plug(Ids(0x1111, 1));
  Plug(Ids(0x2222, 5));
  Plug(Ids(0x2222, 6));
  Hid->DeviceChange();
  THidDevice* a = nullptr;
  THidDevice* b = nullptr;
  THidDevice* c = nullptr;
  EXPECT_TRUE(Hid->ClaimByIds(a, 0x2222, -1));
  EXPECT_TRUE(Hid->ClaimByIds(b, 0x2222, -1));
  EXPECT_FALSE(Hid->ClaimByIds(c, 0x2222, -1));
  EXPECT_EQ(a->DeviceAttributes.ProductID, 5);
  EXPECT_EQ(b->DeviceAttributes.ProductID, 6);
  EXPECT_FALSE(Hid->ClaimByIds(c, -1, 1));
  EXPECT_FALSE(Hid->ClaimByIds(c, 0x1111, 5));
  EXPECT_FALSE(Hid->ClaimByIds(c, 0x11111, 1));
  EXPECT_TRUE(Hid->ClaimByIds(c, 0x1111, 1));
  for (THidDevice* d : {a, b, c}) Hid->ReleaseDevice(d);
}

TEST_F(Controller, ClaimByIndexHandsOutAFreeDeviceAndReleaseMakesItFreeAgain) {
  Plug();
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  EXPECT_FALSE(Hid->ClaimByIndex(dev, 1));
  EXPECT_EQ(dev, nullptr);
  EXPECT_FALSE(Hid->ClaimByIndex(dev, -1));
  ASSERT_TRUE(Hid->ClaimByIndex(dev, 0));
  THidDevice* again = Hid->Devices(0);
  EXPECT_FALSE(Hid->ClaimByIndex(again, 0)) << "handed out already";
  EXPECT_EQ(again, nullptr);
  Hid->ReleaseDevice(again);  // none: nothing happens
  THidDevice* object = dev;
  Hid->ReleaseDevice(dev);
  EXPECT_EQ(dev, nullptr);
  EXPECT_FALSE(object->Claimed);
  ASSERT_EQ(Hid->Count(), 1);
  EXPECT_EQ(Hid->Devices(0), object);
}

TEST_F(Controller, AnUnpluggedHandedOutDeviceStaysListedUntilReleased) {
  TStandinDevice& d = Plug();
  Hid->DeviceChange();
  THidDevice* dev = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(dev, 0));
  Hid->SetOnRemoval(Rec.RemovalEvent());
  Hid->SetOnDeviceChange(Rec.ChangeEvent());
  d.Unplug();
  Hid->DeviceChange();
  ASSERT_EQ(Hid->Count(), 1);
  EXPECT_EQ(Hid->Devices(0), dev);
  EXPECT_FALSE(dev->Plugged);
  EXPECT_TRUE(dev->Claimed);
  // Every later scan counts it as removed again.
  Hid->DeviceChange();
  EXPECT_EQ(Rec.Log, (Strings{"removal " + N(d), "change", "removal " + N(d), "change"}));
  // It is no longer offered, nor handed out again.
  Hid->SetOnEnumerate(Rec.EnumerateEvent());
  EXPECT_EQ(Hid->Enumerate(), 0);
  THidDevice* other = nullptr;
  EXPECT_FALSE(Hid->ClaimByIds(other, 0x1234, 1));
  Hid->ReleaseDevice(dev);
  EXPECT_EQ(Hid->Count(), 0);
}

TEST_F(Controller, AReplugWhileHandedOutIsListedAsANewObject) {
  TStandinDevice& d = Plug();
  Hid->DeviceChange();
  THidDevice* old = nullptr;
  ASSERT_TRUE(Hid->ClaimByIds(old, 0x1234, 1));
  d.Unplug();
  Hid->DeviceChange();
  d.Plug();
  Hid->SetOnArrival(Rec.ArrivalEvent());
  Hid->DeviceChange();
  ASSERT_EQ(Hid->Count(), 2);
  THidDevice* fresh = Hid->Devices(1);
  EXPECT_NE(fresh, old);
  EXPECT_TRUE(fresh->Plugged);
  EXPECT_EQ(fresh->PnPRecord()->DevInst, old->PnPRecord()->DevInst);
  EXPECT_EQ(Rec.Log, (Strings{"arrival " + N(d)}));
  THidDevice* claimed = nullptr;
  ASSERT_TRUE(Hid->ClaimByIds(claimed, 0x1234, 1));
  EXPECT_EQ(claimed, fresh);
  Hid->ReleaseDevice(old);
  EXPECT_EQ(Hid->Count(), 1);
  EXPECT_EQ(Hid->Devices(0), fresh);
  Hid->ReleaseDevice(claimed);
}

// --- Handlers that give devices back while the list is walked --------------------------------

// The holder of a device: gives it back when the device fails to read or is reported removed.
struct THolder {
  THidDeviceController* Hid = nullptr;
  THidDevice* Held = nullptr;
  TRecorder* Rec = nullptr;
  void GiveBack() {
    if (Held != nullptr) Hid->ReleaseDevice(Held);
  }
  void Error(THidDevice* /*HidDev*/, uint32_t /*Error*/) { GiveBack(); }
  void Removal(THidDevice* HidDev) {
    Rec->Removal(HidDev);
    if (HidDev != Held) GiveBack();
  }
  THidDataErrorEvent ErrorEvent() { return THidDataErrorEvent::Bind<&THolder::Error>(this); }
  THidPlugEvent RemovalEvent() { return THidPlugEvent::Bind<&THolder::Removal>(this); }
};

TEST_F(Controller, ClearingOnDeviceDataStopsEveryReaderWhenAHandlerGivesItsDeviceBack) {
  TStandinDevice& a = Plug();
  TStandinDevice& b = Plug();
  Hid->SetOnDeviceData(Rec.DataEvent());
  Hid->DeviceChange();
  THolder first{Hid.get(), nullptr, &Rec};
  THidDevice* second = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(first.Held, 0));
  ASSERT_TRUE(Hid->ClaimByIndex(second, 1));
  ASSERT_TRUE(Deliver(b, std::vector<uint8_t>(9, 1), Rec));
  first.Held->DataErrorHandler = first.ErrorEvent();
  // The first receiver goes; the failure of its next read waits to be handed over.
  a.Unplug();
  Hid->DeviceChange();
  ASSERT_TRUE(WaitForQueuedHandOver());
  // Stopping the first reader delivers that failure; its holder gives the device back, which
  // takes it out of the list.
  Hid->SetOnDeviceData({});
  EXPECT_EQ(first.Held, nullptr);
  ASSERT_EQ(Hid->Count(), 1);
  EXPECT_EQ(second->Reader(), nullptr) << "the second device still reads";
  EXPECT_FALSE(second->DataHandler());
  EXPECT_EQ(b.Send(std::vector<uint8_t>(9, 7)), 1);
  PumpPending();
  EXPECT_EQ(Rec.Reports.size(), 1u);
  Hid->ReleaseDevice(second);
}

TEST_F(Controller, ARemovalHandlerThatGivesBackAnEarlierDeviceSeesEachRemovalOnce) {
  TStandinDevice& a = Plug();
  TStandinDevice& b = Plug();
  Hid->DeviceChange();
  THolder first{Hid.get(), nullptr, &Rec};
  THidDevice* second = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(first.Held, 0));
  ASSERT_TRUE(Hid->ClaimByIndex(second, 1));
  a.Unplug();
  Hid->DeviceChange();
  // Both are gone now; the removal of the second makes the holder give the first back.
  b.Unplug();
  Hid->SetOnRemoval(first.RemovalEvent());
  Hid->DeviceChange();
  EXPECT_EQ(Rec.Log, (Strings{"removal " + N(b)}));
  EXPECT_EQ(first.Held, nullptr);
  ASSERT_EQ(Hid->Count(), 1);
  EXPECT_EQ(Hid->Devices(0), second);
  Hid->ReleaseDevice(second);
}

TEST_F(Controller, ADeviceGivenBackWhileItsReaderStopsGoesOnlyAfterTheStop) {
  TStandinDevice& a = Plug();
  TStandinDevice& b = Plug();
  Hid->AfterLoad();
  Hid->SetOnDeviceData(Rec.DataEvent());
  ASSERT_TRUE(PumpUntil([&] { return Hid->Count() == 2; }));
  THidDevice* first = nullptr;
  THidDevice* second = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(first, 0));
  ASSERT_TRUE(Hid->ClaimByIndex(second, 1));
  // The first receiver goes; after its first failure its reader rests a long slice.
  first->DataErrorHandler = Rec.ErrorEvent();
  first->SetReadSleepTime(10000);
  a.Unplug();
  Hid->DeviceChange();
  ASSERT_TRUE(PumpUntil([&] { return !Rec.Errors.empty(); }));
  // A report of the second waits to be handed over; its handler gives the first back.
  int dataLeft = -1;
  Rec.OnData = [&](THidDevice* HidDev) {
    if (HidDev != second || first == nullptr) return;
    Hid->ReleaseDevice(first);
    dataLeft = LivePreparsedData();
  };
  ASSERT_TRUE(b.SendToReader(std::vector<uint8_t>(9, 1)));
  ASSERT_TRUE(WaitForQueuedHandOver());
  // Clearing the handler stops the first reader, and the report is delivered meanwhile.
  Hid->SetOnDeviceData({});
  EXPECT_EQ(Rec.Reports.size(), 1u);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(dataLeft, 2) << "the first device went while its reader was being stopped";
  EXPECT_EQ(Hid->Count(), 1);
  ASSERT_TRUE(PumpUntil([] { return LivePreparsedData() == 1; }));
  Hid->ReleaseDevice(second);
}

// --- Enumerate -------------------------------------------------------------------------------

TEST_F(Controller, EnumerateStopsAtTheFirstFalseAndCountsThatDevice) {
  const TStandinDevice& a = Plug();
  const TStandinDevice& b = Plug();
  Plug();
  Hid->DeviceChange();
  Rec.StopAt = 2;
  Hid->SetOnEnumerate(Rec.EnumerateEvent());
  EXPECT_EQ(Hid->Enumerate(), 2);
  EXPECT_EQ(Rec.Log, (Strings{"offer " + N(a) + " at 0", "offer " + N(b) + " at 1"}));
  // Inside the handler the strings can be read; outside they were never read.
  EXPECT_EQ(Rec.ProductNames[0], L"Stand-in Receiver " + std::to_wstring(a.DevInst()));
  EXPECT_FALSE(Hid->Devices(0)->InHandler);
  Hid->SetOnEnumerate({});
  EXPECT_EQ(Hid->Enumerate(), 1) << "without a handler the first offer answers false";
}

TEST_F(Controller, EnumerateOffersListPositionsAndSkipsUnpluggedDevices) {
  TStandinDevice& a = Plug();
  const TStandinDevice& b = Plug();
  Hid->DeviceChange();
  THidDevice* held = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(held, 0));
  a.Unplug();
  Hid->DeviceChange();
  Hid->SetOnEnumerate(Rec.EnumerateEvent());
  EXPECT_EQ(Hid->Enumerate(), 1);
  EXPECT_EQ(Rec.Log, (Strings{"offer " + N(b) + " at 1"}));
  Hid->ReleaseDevice(held);
}

TEST_F(Controller, AHandlerMayClaimAndReleaseTheDeviceItIsOffered) {
  Plug();
  Plug();
  Hid->DeviceChange();
  std::vector<bool> readWrite;
  struct TLister {
    THidDeviceController* Hid;
    std::vector<bool>* ReadWrite;
    bool Offer(THidDevice* /*HidDev*/, int32_t Idx) {
      THidDevice* dev = nullptr;
      if (Hid->ClaimByIndex(dev, Idx)) {
        ReadWrite->push_back(dev->ReadWriteOpen);
        Hid->ReleaseDevice(dev);
      }
      return true;
    }
  } lister{Hid.get(), &readWrite};
  Hid->SetOnEnumerate(THidEnumerateEvent::Bind<&TLister::Offer>(&lister));
  EXPECT_EQ(Hid->Enumerate(), 2);
  EXPECT_EQ(readWrite, (std::vector<bool>{true, true}));
  EXPECT_FALSE(Hid->Devices(0)->Claimed);
  EXPECT_FALSE(Hid->Devices(1)->Claimed);
}

// --- Handlers and settings passed on -----------------------------------------------------------

// Handlers with functions of their own: handlers with equal functions count as equal.
struct TOtherHandlers {
  void Data(THidDevice* /*HidDev*/, uint8_t /*ReportID*/, const uint8_t* /*Data*/,
            uint16_t /*Size*/) {}
  void Data2(THidDevice* /*HidDev*/, uint8_t /*ReportID*/, const uint8_t* /*Data*/,
             uint16_t /*Size*/) {}
  void DataError(THidDevice* /*HidDev*/, uint32_t /*Error*/) {}
  THidDataEvent DataEvent() { return THidDataEvent::Bind<&TOtherHandlers::Data>(this); }
  THidDataEvent Data2Event() { return THidDataEvent::Bind<&TOtherHandlers::Data2>(this); }
  THidDataErrorEvent ErrorEvent() {
    return THidDataErrorEvent::Bind<&TOtherHandlers::DataError>(this);
  }
};

TEST_F(Controller, OnDeviceDataGoesToTheDevicesCarryingThePreviousHandler) {
  TOtherHandlers other;
  TOtherHandlers third;
  Hid->SetOnDeviceData(Rec.DataEvent());
  Plug();
  Plug();
  Hid->DeviceChange();
  THidDevice* a = Hid->Devices(0);
  THidDevice* b = Hid->Devices(1);
  EXPECT_EQ(a->DataHandler(), Rec.DataEvent()) << "new devices take the controller's handler";
  b->SetDataHandler(other.DataEvent());
  Hid->SetOnDeviceData(third.Data2Event());
  EXPECT_EQ(a->DataHandler(), third.Data2Event());
  EXPECT_EQ(a->DataHandler().Object(), &third);
  EXPECT_EQ(b->DataHandler(), other.DataEvent());
  EXPECT_EQ(Hid->OnDeviceData(), third.Data2Event());
  // Equal by function: the object is not taken either.
  Hid->SetOnDeviceData(other.Data2Event());
  EXPECT_EQ(Hid->OnDeviceData().Object(), &third);
  EXPECT_EQ(a->DataHandler().Object(), &third);
}

TEST_F(Controller, ErrorAndUnplugHandlersReachListedDevicesButOnlyUnplugReachesNewOnes) {
  TOtherHandlers other;
  Plug();
  Hid->DeviceChange();
  Hid->SetOnDeviceDataError(Rec.ErrorEvent());
  Hid->SetOnDeviceUnplug(Rec.UnplugEvent());
  EXPECT_EQ(Hid->Devices(0)->DataErrorHandler, Rec.ErrorEvent());
  EXPECT_EQ(Hid->Devices(0)->UnplugHandler, Rec.UnplugEvent());
  Plug();
  Hid->DeviceChange();
  EXPECT_FALSE(Hid->Devices(1)->DataErrorHandler);
  EXPECT_EQ(Hid->Devices(1)->UnplugHandler, Rec.UnplugEvent());
  // A device carrying another handler keeps it.
  Hid->Devices(0)->DataErrorHandler = other.ErrorEvent();
  Hid->SetOnDeviceDataError({});
  Hid->SetOnDeviceUnplug({});
  EXPECT_EQ(Hid->Devices(0)->DataErrorHandler, other.ErrorEvent());
  EXPECT_FALSE(Hid->Devices(0)->UnplugHandler);
  EXPECT_FALSE(Hid->Devices(1)->UnplugHandler);
}

TEST_F(Controller, DevThreadSleepTimeReachesDevicesWithTheControllersValueOnly) {
  Plug();
  Hid->DeviceChange();
  THidDevice* dev = Hid->Devices(0);
  EXPECT_EQ(Hid->DevThreadSleepTime(), 100);
  Hid->SetDevThreadSleepTime(5);
  EXPECT_EQ(Hid->DevThreadSleepTime(), 5);
  EXPECT_EQ(dev->ReadSleepTime(), 100);
  Hid->SetDevThreadSleepTime(250);
  EXPECT_EQ(dev->ReadSleepTime(), 100) << "its slice was not the controller's 5";
  Hid->SetDevThreadSleepTime(100);
  Hid->SetDevThreadSleepTime(40);
  EXPECT_EQ(dev->ReadSleepTime(), 40);
  Plug();
  Hid->DeviceChange();
  EXPECT_EQ(Hid->Devices(1)->ReadSleepTime(), 100) << "new devices start at 100";
}

TEST_F(Controller, VersionReadsTheSameWhateverIsAssigned) {
  EXPECT_EQ(Hid->Version(), "1.0.26");
  Hid->SetVersion("2.0");
  EXPECT_EQ(Hid->Version(), "1.0.26");
}

// --- One controller --------------------------------------------------------------------------

TEST_F(Controller, ASecondControllerIsRefusedAndTheFirstGoesOn) {
  Plug();
  EXPECT_EQ(THidDeviceController::ControllerCount(), 1);
  try {
    THidDeviceController second;
    FAIL() << "a second controller was made";
  } catch (const EControllerError& e) {
    EXPECT_STREQ(e.what(), "Only one THidDeviceController allowed per program");
  }
  EXPECT_EQ(THidDeviceController::ControllerCount(), 1);
  Hid->DeviceChange();
  EXPECT_EQ(Hid->Count(), 1);
  Hid.reset();
  EXPECT_EQ(THidDeviceController::ControllerCount(), 0);
  Hid = std::make_unique<THidDeviceController>();
  EXPECT_TRUE(Hid->ServicesBound());
}

TEST_F(Controller, DestroyingItUnplugsAHandedOutDevice) {
  Plug();
  Hid->SetOnDeviceUnplug(Rec.UnplugEvent());
  Hid->DeviceChange();
  THidDevice* dev = nullptr;
  ASSERT_TRUE(Hid->ClaimByIndex(dev, 0));
  Hid.reset();
  EXPECT_EQ(Rec.Log, (Strings{"unplug " + std::to_string(Devices[0]->DevInst())}));
}

}  // namespace
