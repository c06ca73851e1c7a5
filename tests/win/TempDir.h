// A fresh directory under the temporary folder, removed with everything in it at the end.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

class TTempDir {
 public:
  TTempDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
      FPath = std::string(base) + "kelhid-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter);
      if (CreateDirectoryA(FPath.c_str(), nullptr)) break;
    }
  }
  ~TTempDir() { Remove(FPath); }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  [[nodiscard]] const std::string& Path() const { return FPath; }
  [[nodiscard]] std::string File(std::string_view Name) const {
    return FPath + "\\" + std::string(Name);
  }
  void Write(std::string_view Name, std::string_view Text) const {
    const HANDLE h = CreateFileA(File(Name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, Text.data(), static_cast<DWORD>(Text.size()), &written, nullptr);
    CloseHandle(h);
  }
  [[nodiscard]] std::string Read(std::string_view Name) const {
    const HANDLE h = CreateFileA(File(Name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(h);
    return text;
  }

 private:
  static void Remove(const std::string& Dir) {
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA((Dir + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = Dir + "\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          Remove(path);
        } else {
          SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileA(path.c_str());
        }
      } while (FindNextFileA(find, &found));
      FindClose(find);
    }
    RemoveDirectoryA(Dir.c_str());
  }

  std::string FPath;
};
