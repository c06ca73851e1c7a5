#include "hid/Hid.h"

#include "hid/BoundLibrary.h"
#include "hid/SetupApi.h"

namespace {

TBoundLibrary Library;
THidEntries Entries;

bool LookupAll(THidEntries& Table) {
  return Library.Lookup("HidD_GetHidGuid", Table.HidD_GetHidGuid) &&
         Library.Lookup("HidD_GetAttributes", Table.HidD_GetAttributes) &&
         Library.Lookup("HidD_GetPreparsedData", Table.HidD_GetPreparsedData) &&
         Library.Lookup("HidD_FreePreparsedData", Table.HidD_FreePreparsedData) &&
         Library.Lookup("HidP_GetCaps", Table.HidP_GetCaps) &&
         Library.Lookup("HidD_GetManufacturerString", Table.HidD_GetManufacturerString) &&
         Library.Lookup("HidD_GetProductString", Table.HidD_GetProductString);
}

}  // namespace

bool BindHidServices() {
  if (Library.Loaded()) return true;
  THidEntries table;
  if (!Library.Load("HID.dll") || !LookupAll(table)) {
    Library.Free();
    return false;
  }
  Entries = table;
  return true;
}

void ReleaseHidServices() {
  Entries = {};
  Library.Free();
}

bool HidServicesBound() {
  return Library.Loaded();
}

const THidEntries& HidApi() {
  return Entries;
}

THidServiceBinding::THidServiceBinding() {
  FSetupBound = BindSetupServices();
  if (FSetupBound) FHidBound = BindHidServices();
}

THidServiceBinding::~THidServiceBinding() {
  if (FHidBound) ReleaseHidServices();
  if (FSetupBound) ReleaseSetupServices();
}
