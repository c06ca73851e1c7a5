// Saves what the screen shows of a window (frame included) as a BMP file, when the
// environment variable KELHID_SCREENSHOTS names a folder. scripts/test turns them into PNGs.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

inline void SaveScreenshot(HWND Window, const std::string& Name) {
  const char* folder = std::getenv("KELHID_SCREENSHOTS");
  if (folder == nullptr || *folder == '\0' || Window == nullptr) return;
  // Paint what is pending, then copy the screen. Invalidating everything here would catch the
  // themed buttons half redrawn.
  RedrawWindow(Window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  GdiFlush();
  RECT r;
  GetWindowRect(Window, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
  const DWORD size = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
  fh.bfSize = fh.bfOffBits + size;
  const std::string path = std::string(folder) + "\\" + Name + ".bmp";
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, &fh, sizeof(fh), &written, nullptr);
  WriteFile(file, &bi.bmiHeader, sizeof(bi.bmiHeader), &written, nullptr);
  WriteFile(file, bits, size, &written, nullptr);
  CloseHandle(file);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}
