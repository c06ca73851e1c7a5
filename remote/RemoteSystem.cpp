#include "remote/RemoteSystem.h"

#include <windows.h>

#include <shlobj.h>

#include <memory>

namespace {

struct THandleCloser {
  void operator()(HANDLE Handle) const {
    if (Handle != INVALID_HANDLE_VALUE && Handle != nullptr) CloseHandle(Handle);
  }
};
using THandle = std::unique_ptr<void, THandleCloser>;

struct TKeyCloser {
  void operator()(HKEY Key) const { RegCloseKey(Key); }
};
using TKey = std::unique_ptr<std::remove_pointer_t<HKEY>, TKeyCloser>;

constexpr const char* RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

bool CanMakeFileIn(const std::string& Dir) {
  const std::string probe = Dir + "\\KelHIDRemote.probe." + std::to_string(GetCurrentProcessId());
  const THandle file(CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return file.get() != INVALID_HANDLE_VALUE;
}

bool SamePath(std::string_view A, std::string_view B) {
  return A.size() == B.size() &&
         CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, A.data(), static_cast<int>(A.size()),
                        B.data(), static_cast<int>(B.size())) == CSTR_EQUAL;
}

// The command line of the Run value: the program's path in quotes.
std::string RunCommand(const std::string& ExePath) {
  return "\"" + ExePath + "\"";
}

}  // namespace

std::string SystemErrorText(unsigned long Code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result =
      length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(Code);
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.')) {
    result.pop_back();
  }
  return result;
}

std::string RemoteFileFolder(const std::string& Dir, std::string& Error) {
  if (CanMakeFileIn(Dir)) return Dir;
  char appData[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) {
    Error = "Neither the program's folder nor the user's application data can be written.";
    return {};
  }
  std::string folder = std::string(appData) + "\\KelHID";
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    Error = "Cannot make the folder " + folder + ": " + SystemErrorText(GetLastError()) + ".";
    return {};
  }
  return folder;
}

bool ReadTextFile(const std::string& Path, std::string& Text, bool& Exists, std::string& Error) {
  Text.clear();
  Exists = false;
  const THandle file(CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    Error = "Cannot read " + Path + ": " + SystemErrorText(code) + ".";
    return false;
  }
  Exists = true;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) != FALSE && got > 0) {
    Text.append(buffer, got);
    // A settings file of a few kilobytes; anything near this size is no such file.
    if (Text.size() > 4 * 1024 * 1024) {
      Error = Path + " is too large to be the remote's file.";
      return false;
    }
  }
  return true;
}

bool WriteTextFile(const std::string& Path, std::string_view Text, std::string& Error) {
  const std::string fresh = Path + ".new";
  {
    const THandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file.get() == INVALID_HANDLE_VALUE) {
      Error = "Cannot write " + Path + ": " + SystemErrorText(GetLastError()) + ".";
      return false;
    }
    if (WriteFile(file.get(), Text.data(), static_cast<DWORD>(Text.size()), &written, nullptr) ==
            FALSE ||
        written != Text.size() || FlushFileBuffers(file.get()) == FALSE) {
      Error = "Cannot write " + Path + ": " + SystemErrorText(GetLastError()) + ".";
      DeleteFileA(fresh.c_str());
      return false;
    }
  }
  if (MoveFileExA(fresh.c_str(), Path.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
    Error = "Cannot replace " + Path + ": " + SystemErrorText(GetLastError()) + ".";
    DeleteFileA(fresh.c_str());
    return false;
  }
  return true;
}

bool StartsWithWindows(const std::string& ExePath) {
  HKEY raw = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) {
    return false;
  }
  const TKey key(raw);
  char value[MAX_PATH + 16] = {};
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key.get(), RunValueName, nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  std::string_view command(value);
  if (command.size() >= 2 && command.front() == '"') {
    command.remove_prefix(1);
    command = command.substr(0, command.find('"'));
  }
  return SamePath(command, ExePath);
}

bool SetStartWithWindows(const std::string& ExePath, bool Value, std::string& Error) {
  HKEY raw = nullptr;
  LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &raw, nullptr);
  if (result == ERROR_SUCCESS) {
    const TKey key(raw);
    if (Value) {
      const std::string command = RunCommand(ExePath);
      result = RegSetValueExA(key.get(), RunValueName, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(command.c_str()),
                              static_cast<DWORD>(command.size()) + 1);
    } else {
      result = RegDeleteValueA(key.get(), RunValueName);
      if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    }
  }
  if (result != ERROR_SUCCESS) {
    Error =
        "Cannot change the user's Run key: " + SystemErrorText(static_cast<DWORD>(result)) + ".";
    return false;
  }
  return true;
}
