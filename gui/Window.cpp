#include "gui/Window.h"

#include <exception>

#include "gui/Application.h"

TWindow::~TWindow() {
  DestroyHandle();
}

TWindow* TWindow::FromHandle(HWND Handle) {
  if (Handle == nullptr) return nullptr;
  return Application().WindowObject(Handle);
}

void TWindow::Attach(HWND Handle) {
  FHandle = Handle;
  Application().SetWindowObject(Handle, this);
}

void TWindow::CreateHandle(const TCreateParams& Params) {
  if (FHandle != nullptr) return;
  if (Params.Subclass) {
    CreateSystemHandle(Params);
    return;
  }
  // The classes belong to the module of this code, so that a host program's classes of the
  // same names stay apart from them.
  const HINSTANCE instance = ModuleInstance();
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = Params.ClassStyle;
  wc.lpfnWndProc = &StaticWndProc;
  wc.hInstance = instance;
  wc.hCursor = Params.Cursor != nullptr ? Params.Cursor : LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = Params.Background;
  wc.lpszClassName = Params.ClassName;
  Application().RegisterWindowClass(wc);
  CreateWindowExA(Params.ExStyle, Params.ClassName, Params.Caption.c_str(), Params.Style,
                  Params.Left, Params.Top, Params.Width, Params.Height, Params.Parent,
                  reinterpret_cast<HMENU>(Params.Id), instance, this);
}

void TWindow::CreateSystemHandle(const TCreateParams& Params) {
  const HWND handle =
      CreateWindowExA(Params.ExStyle, Params.ClassName, Params.Caption.c_str(), Params.Style,
                      Params.Left, Params.Top, Params.Width, Params.Height, Params.Parent,
                      reinterpret_cast<HMENU>(Params.Id), ModuleInstance(), nullptr);
  if (handle == nullptr) return;
  Attach(handle);
  FClassProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticWndProc)));
}

void TWindow::DestroyHandle() {
  if (FHandle != nullptr) DestroyWindow(FHandle);
}

LRESULT TWindow::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (FClassProc != nullptr) return CallWindowProcA(FClassProc, FHandle, Msg, wParam, lParam);
  return DefWindowProcA(FHandle, Msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::StaticWndProc(HWND Handle, UINT Msg, WPARAM wParam, LPARAM lParam) {
  TWindow* self = FromHandle(Handle);
  if (Msg == WM_NCCREATE && self == nullptr) {
    self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    if (self != nullptr) self->Attach(Handle);
  }
  if (self == nullptr) return DefWindowProcA(Handle, Msg, wParam, lParam);
  LRESULT result = 0;
  // No exception may leave a window procedure: it is shown to the user instead.
  try {
    result = self->WndProc(Msg, wParam, lParam);
  } catch (const std::exception& e) {
    Application().ShowException(e.what());
  } catch (...) {
    Application().ShowException("Unexpected error");
  }
  if (Msg == WM_NCDESTROY) {
    Application().SetWindowObject(Handle, nullptr);
    if (self->FClassProc != nullptr) {
      SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->FClassProc));
    }
    self->FHandle = nullptr;
    self->FClassProc = nullptr;
  }
  return result;
}
