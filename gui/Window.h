// The base of every window of the program: one object per window, and a window procedure that
// finds the object through the window and calls its member handlers.
//
// Windows of the program's own classes get the object from WM_NCCREATE on. Standard controls
// (buttons, list boxes, ...) are created with their system class and then subclassed, so they
// reach their object the same way and fall back to their class procedure.
#pragma once

#include <windows.h>

#include <string>

class TWindow {
 public:
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  virtual ~TWindow();

  [[nodiscard]] HWND Handle() const { return FHandle; }
  [[nodiscard]] bool HandleAllocated() const { return FHandle != nullptr; }

  // The object of a window made by this layer, or none.
  [[nodiscard]] static TWindow* FromHandle(HWND Handle);

  // A queued message for this top-level window or one of its children, before it is translated
  // and dispatched; true when it was handled here (keyboard interface of forms).
  virtual bool PreTranslateMessage(MSG& /*Message*/) { return false; }

 protected:
  TWindow() = default;

  struct TCreateParams {
    const char* ClassName = nullptr;  // registered once per name, unless it is a system class
    std::string Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int Left = CW_USEDEFAULT;
    int Top = CW_USEDEFAULT;
    int Width = CW_USEDEFAULT;
    int Height = CW_USEDEFAULT;
    HWND Parent = nullptr;
    UINT_PTR Id = 0;  // child windows: the control id
    UINT ClassStyle = CS_DBLCLKS;
    HBRUSH Background = nullptr;
    HCURSOR Cursor = nullptr;
    bool Subclass = false;  // ClassName is a system class: create it, then subclass it
  };
  // Creates the window. A window of a class of the program's own receives its messages from
  // WM_NCCREATE on; a window of a system class from the moment it is subclassed.
  void CreateHandle(const TCreateParams& Params);
  void DestroyHandle();

  // Handles one message; the default is the class's own handling.
  virtual LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK StaticWndProc(HWND Handle, UINT Msg, WPARAM wParam, LPARAM lParam);
  void Attach(HWND Handle);
  void CreateSystemHandle(const TCreateParams& Params);

  HWND FHandle = nullptr;
  WNDPROC FClassProc = nullptr;  // system classes: their own procedure
};
