// Records of the Windows HID class services, as the system passes them.
#pragma once

#include <cstdint>

// HidD_GetAttributes fills this; Size is set to 12 before the call.
struct HIDD_ATTRIBUTES {
  uint32_t Size;
  uint16_t VendorID;
  uint16_t ProductID;
  uint16_t VersionNumber;
};
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);
