// Fuzzes the remote program's file and its action lines: no crash or undefined behaviour on
// any text, a saved file loads as the same file, and no value written holds a line break.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "remote/Actions.h"
#include "remote/RemoteFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view text(reinterpret_cast<const char*>(Data), Size);
  TRemoteFile file;
  (void)file.Load(text);
  const std::string saved = file.Save();
  TRemoteFile again;
  (void)again.Load(saved);
  if (again.Save() != saved) std::abort();
  if (again.Buttons().size() != file.Buttons().size()) std::abort();
  for (const TRemoteButton& b : file.Buttons()) {
    if (!ButtonNameProblem(b.Name).empty()) std::abort();
    if (again.ButtonName(b.Code) != b.Name) std::abort();
  }

  TAction action;
  if (ParseAction(text, action).empty()) {
    if (action.Kind == akKeys && action.Keys.empty()) std::abort();
    for (const TKeyStroke& k : action.Keys)
      if (k.Key == 0) std::abort();
    if ((action.Kind == akText || action.Kind == akRun) && action.Text.empty()) std::abort();
    if (action.Kind == akMessage && action.WindowClass.empty()) std::abort();
  }
  return 0;
}
