// The base of every window of the program: one object per window, and a window procedure that
// finds the object through the window and calls its member handlers.
#pragma once

#include <windows.h>

class TWindow {
 public:
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  virtual ~TWindow();

  [[nodiscard]] HWND Handle() const { return FHandle; }
  [[nodiscard]] bool HandleAllocated() const { return FHandle != nullptr; }

  // The object of a window made by this layer, or none.
  [[nodiscard]] static TWindow* FromHandle(HWND Handle);

 protected:
  TWindow() = default;

  struct TCreateParams {
    const char* ClassName = nullptr;  // registered once per name by this layer
    const char* Caption = "";
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int Left = CW_USEDEFAULT;
    int Top = CW_USEDEFAULT;
    int Width = CW_USEDEFAULT;
    int Height = CW_USEDEFAULT;
    HWND Parent = nullptr;
    UINT ClassStyle = CS_DBLCLKS;
    HBRUSH Background = nullptr;
    HCURSOR Cursor = nullptr;
  };
  // Creates the window; the object receives its messages from WM_NCCREATE on.
  void CreateHandle(const TCreateParams& Params);
  void DestroyHandle();

  // Handles one message; the default passes it to DefWindowProcA.
  virtual LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam);
  // Called after WM_NCDESTROY, once the window is gone.
  virtual void HandleDestroyed() {}

 public:
  // A queued message for this top-level window or one of its children, before it is translated
  // and dispatched; true when it was handled here (keyboard interface of forms).
  virtual bool PreTranslateMessage(MSG& /*Message*/) { return false; }

 private:
  static LRESULT CALLBACK StaticWndProc(HWND Handle, UINT Msg, WPARAM wParam, LPARAM lParam);

  HWND FHandle = nullptr;
};
