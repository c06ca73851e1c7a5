#include "remote/ActionRunner.h"

#include <windows.h>

#include <string_view>
#include <vector>

namespace {

// False when Text is not valid UTF-8.
bool Widen(std::string_view Text, std::wstring& Wide) {
  Wide.clear();
  if (Text.empty()) return true;
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(),
                                       static_cast<int>(Text.size()), nullptr, 0);
  if (size <= 0) return false;
  Wide.resize(static_cast<size_t>(size));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), static_cast<int>(Text.size()),
                      Wide.data(), size);
  return true;
}

std::string SystemText(DWORD Code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.'))
    result.pop_back();
  if (result.empty()) result = "Windows error " + std::to_string(Code);
  return result;
}

INPUT KeyInput(WORD Key, WORD Scan, DWORD Flags) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = Key;
  input.ki.wScan = Scan;
  input.ki.dwFlags = Flags;
  return input;
}

// All of it in one call, so that no other input comes between its events.
bool Inject(std::vector<INPUT>& Inputs, std::string& Error) {
  const UINT sent = SendInput(static_cast<UINT>(Inputs.size()), Inputs.data(), sizeof(INPUT));
  if (sent == Inputs.size()) return true;
  Error = "The keyboard input could not be sent (" + SystemText(GetLastError()) +
          "); a program with higher rights may have the focus.";
  return false;
}

bool SendKeys(const TAction& Action, std::string& Error) {
  if (Action.Keys.empty()) {
    Error = "The keys: action names no key.";
    return false;
  }
  std::vector<INPUT> inputs;
  for (const TKeyStroke& key : Action.Keys) {
    const auto scan = static_cast<WORD>(MapVirtualKeyW(key.Key, MAPVK_VK_TO_VSC));
    inputs.push_back(KeyInput(key.Key, scan, key.Extended ? KEYEVENTF_EXTENDEDKEY : 0));
  }
  for (auto key = Action.Keys.rbegin(); key != Action.Keys.rend(); ++key) {
    const auto scan = static_cast<WORD>(MapVirtualKeyW(key->Key, MAPVK_VK_TO_VSC));
    inputs.push_back(
        KeyInput(key->Key, scan, KEYEVENTF_KEYUP | (key->Extended ? KEYEVENTF_EXTENDEDKEY : 0)));
  }
  return Inject(inputs, Error);
}

bool TypeText(const TAction& Action, std::string& Error) {
  std::wstring text;
  if (!Widen(Action.Text, text)) {
    Error = "The text of the text: action is not valid UTF-8.";
    return false;
  }
  if (text.empty()) return true;
  std::vector<INPUT> inputs;
  // Each UTF-16 unit as a character of its own; characters beyond the first 65536 go as their
  // two units, which the receiving window puts together.
  for (const wchar_t unit : text) {
    inputs.push_back(KeyInput(0, static_cast<WORD>(unit), KEYEVENTF_UNICODE));
    inputs.push_back(KeyInput(0, static_cast<WORD>(unit), KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
  }
  return Inject(inputs, Error);
}

bool Run(const TAction& Action, const std::string& ProgramDir, std::string& Error) {
  std::wstring command;
  std::wstring dir;
  if (!Widen(Action.Text, command) || !Widen(ProgramDir, dir)) {
    Error = "The command line of the run: action is not valid UTF-8.";
    return false;
  }
  if (command.find_first_not_of(L" \t") == std::wstring::npos) {
    Error = "The run: action has no command line.";
    return false;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  // CreateProcessW may write into the command line.
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &startup, &process)) {
    const DWORD code = GetLastError();
    Error = "\"" + Action.Text + "\" could not be started: " + SystemText(code) + ".";
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool Post(const TAction& Action, std::string& Error) {
  std::wstring windowClass;
  if (!Widen(Action.WindowClass, windowClass) || windowClass.empty()) {
    Error = "The message: action names no window class.";
    return false;
  }
  const HWND window = FindWindowW(windowClass.c_str(), nullptr);
  if (window == nullptr) {
    Error = "No window of class \"" + Action.WindowClass + "\" is open.";
    return false;
  }
  if (!PostMessageW(window, Action.Message, Action.WParam, static_cast<LPARAM>(Action.LParam))) {
    Error = "The message could not be posted to the window of class \"" + Action.WindowClass +
            "\": " + SystemText(GetLastError()) + ".";
    return false;
  }
  return true;
}

}  // namespace

bool RunAction(const TAction& Action, const std::string& ProgramDir, std::string& Error) {
  Error.clear();
  switch (Action.Kind) {
    case akKeys:
      return SendKeys(Action, Error);
    case akText:
      return TypeText(Action, Error);
    case akRun:
      return Run(Action, ProgramDir, Error);
    case akMessage:
      return Post(Action, Error);
  }
  Error = "Unknown kind of action.";
  return false;
}
