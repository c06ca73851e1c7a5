// What the remote program asks of the system besides its windows: where its file lives, reading
// and writing it, and the user's Run key.
#pragma once

#include <string>
#include <string_view>

// The folder of the program's own file: Dir itself when a file can be made there, else
// %APPDATA%\KelHID (made when missing). Empty with Error set when neither can be used.
[[nodiscard]] std::string RemoteFileFolder(const std::string& Dir, std::string& Error);

// The whole file; false with Error set when it cannot be read. A missing file is no error: it
// reads as empty and Exists is false.
bool ReadTextFile(const std::string& Path, std::string& Text, bool& Exists, std::string& Error);
// Writes the file whole, through a new file that then takes the old one's place, so that a
// failed write leaves the old file as it was.
bool WriteTextFile(const std::string& Path, std::string_view Text, std::string& Error);

// The value of the user's Run key that starts the program with Windows.
inline constexpr const char* RunValueName = "KelHID Remote";
// Whether the Run key starts this program (ExePath) with Windows.
[[nodiscard]] bool StartsWithWindows(const std::string& ExePath);
// Adds or removes the Run key's value; false with Error set when the key cannot be changed.
bool SetStartWithWindows(const std::string& ExePath, bool Value, std::string& Error);

// The system's text for an error number.
[[nodiscard]] std::string SystemErrorText(unsigned long Code);
