// Settings file loader and writer.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "dialogs/SettingsValues.h"
#include "dialogs/VersionInfo.h"

class TDModHID;

// Loads "KelHID.ini" of the directory Dir into the engine's settings fields. Stops the engine's
// reception first. True only when the file was found; a missing file sets the defaults, a
// missing directory changes nothing.
bool LoadHIDSettings(TDModHID* Engine, const char* Dir);

// A settings file that could not be written.
class ESettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Copies Settings into the engine, then writes them with Name to FileName, key by key. Raises
// ESettingsWriteError "Unable to write to <file>" at the first write that fails; the keys
// before it stay written.
void WriteHIDSettings(TDModHID& Engine, const std::string& FileName, std::string_view Name,
                      const THIDSettings& Settings);

// The version of the file FileName from its version resource: the two halves of the file
// version's most and least significant words, and the reported file flags (VersionFlags). False,
// with the outputs untouched, when the file is missing or has no readable version resource.
bool GetFileVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor,
                    uint16_t& Release, uint16_t& Build, uint16_t& Flags);
