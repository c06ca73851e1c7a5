#include "widgets/Window.h"

#include <exception>

#include "widgets/Application.h"

TWindow::~TWindow() {
  DestroyHandle();
}

TWindow* TWindow::FromHandle(HWND Handle) {
  if (Handle == nullptr) return nullptr;
  // Only windows of our own classes carry an object; their class procedure tells them apart.
  if (reinterpret_cast<WNDPROC>(GetClassLongPtrA(Handle, GCLP_WNDPROC)) != &StaticWndProc) {
    return nullptr;
  }
  return reinterpret_cast<TWindow*>(GetWindowLongPtrA(Handle, GWLP_USERDATA));
}

void TWindow::CreateHandle(const TCreateParams& Params) {
  if (FHandle != nullptr) return;
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof(existing);
  if (!GetClassInfoExA(instance, Params.ClassName, &existing)) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = Params.ClassStyle;
    wc.lpfnWndProc = &StaticWndProc;
    wc.hInstance = instance;
    wc.hCursor = Params.Cursor != nullptr ? Params.Cursor : LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = Params.Background;
    wc.lpszClassName = Params.ClassName;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    RegisterClassExA(&wc);
  }
  CreateWindowExA(Params.ExStyle, Params.ClassName, Params.Caption, Params.Style, Params.Left,
                  Params.Top, Params.Width, Params.Height, Params.Parent, nullptr, instance, this);
}

void TWindow::DestroyHandle() {
  if (FHandle != nullptr) DestroyWindow(FHandle);
}

LRESULT TWindow::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(FHandle, Msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::StaticWndProc(HWND Handle, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(Handle, GWLP_USERDATA));
  if (Msg == WM_NCCREATE) {
    self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->FHandle = Handle;
    SetWindowLongPtrA(Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
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
    SetWindowLongPtrA(Handle, GWLP_USERDATA, 0);
    self->FHandle = nullptr;
    self->HandleDestroyed();
  }
  return result;
}
