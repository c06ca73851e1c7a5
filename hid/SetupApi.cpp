#include "hid/SetupApi.h"

#include "hid/BoundLibrary.h"

namespace {

TBoundLibrary Library;
TSetupApiEntries Entries;
int References = 0;

bool LookupAll(TSetupApiEntries& Table) {
  return Library.Lookup("SetupDiGetClassDevsA", Table.SetupDiGetClassDevsA) &&
         Library.Lookup("SetupDiEnumDeviceInterfaces", Table.SetupDiEnumDeviceInterfaces) &&
         Library.Lookup("SetupDiGetDeviceInterfaceDetailA",
                        Table.SetupDiGetDeviceInterfaceDetailA) &&
         Library.Lookup("SetupDiDestroyDeviceInfoList", Table.SetupDiDestroyDeviceInfoList);
}

}  // namespace

bool BindSetupServices() {
  if (References == 0) {
    TSetupApiEntries table;
    if (!Library.Load("SetupApi.dll") || !LookupAll(table)) {
      Library.Free();
      return false;
    }
    Entries = table;
  }
  ++References;
  return true;
}

void ReleaseSetupServices() {
  if (References == 0) return;
  if (--References == 0) {
    Entries = {};
    Library.Free();
  }
}

bool SetupServicesBound() {
  return References > 0;
}

const TSetupApiEntries& SetupApi() {
  return Entries;
}
