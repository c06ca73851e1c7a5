#include "dialogs/VersionInfo.h"

#include <cstdio>

std::string LibraryVersionText(TVersionSource Source, const TFileVersion& Version) {
  switch (Source) {
    case TVersionSource::FileMissing:
      return "KelHID.dll not found";
    case TVersionSource::NoVersion:
      return "KelHID.dll (no version information)";
    case TVersionSource::Read:
      break;
  }
  char text[80];
  std::snprintf(text, sizeof(text), "KelHID.dll (Version %d.%d.%d Build %d)", Version.Major,
                Version.Minor, Version.Release, Version.Build);
  return text;
}
