// Saves what the screen shows of a window (frame included) as a BMP file, when the environment
// variable KELHID_SCREENSHOTS names a folder. scripts/test turns them into PNGs.
//
// A window's drawing reaches the screen a little after it was made (under Wine the window's
// pixels are copied to the X screen when its thread next waits), so the picture is taken only
// once the screen shows what the window drew: for a window of this process, once the screen
// equals the window's own pixels; for another program's window, once the screen stays the
// same for a while. Messages are not handled meanwhile, so the window stays in the state the
// test has just seen.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

// The pixels of a rectangle of a device context, 24 bits each, rows bottom up.
struct TScreenPicture {
  int Width = 0;
  int Height = 0;
  std::vector<unsigned char> Bits;

  static TScreenPicture Copy(HDC Source, int X, int Y, int W, int H) {
    TScreenPicture p{W, H, {}};
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = W;
    bi.bmiHeader.biHeight = H;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(Source);
    const HBITMAP bitmap = CreateDIBSection(Source, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, W, H, Source, X, Y, SRCCOPY);
    GdiFlush();
    const auto* b = static_cast<const unsigned char*>(bits);
    p.Bits.assign(b, b + p.Stride() * static_cast<size_t>(H));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return p;
  }
  [[nodiscard]] size_t Stride() const { return ((static_cast<size_t>(Width) * 3 + 3) / 4) * 4; }
  friend bool operator==(const TScreenPicture&, const TScreenPicture&) = default;

  void Save(const std::string& Path) const {
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = Width;
    ih.biHeight = Height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(Bits.size());
    const HANDLE file =
        CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, &fh, sizeof(fh), &written, nullptr);
    WriteFile(file, &ih, sizeof(ih), &written, nullptr);
    WriteFile(file, Bits.data(), static_cast<DWORD>(Bits.size()), &written, nullptr);
    CloseHandle(file);
  }
};

// How many pixels of a window's client area, as the window drew it, pass Test (given the
// pixel's colour).
template <class TTest>
int CountPixels(HWND Window, TTest&& Test) {
  RedrawWindow(Window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  GdiFlush();
  RECT r{};
  GetClientRect(Window, &r);
  const HDC dc = GetDC(Window);
  const TScreenPicture p = TScreenPicture::Copy(dc, 0, 0, r.right, r.bottom);
  ReleaseDC(Window, dc);
  int count = 0;
  for (int y = 0; y < p.Height; ++y) {
    for (int x = 0; x < p.Width; ++x) {
      const unsigned char* px = &p.Bits[static_cast<size_t>(y) * p.Stride() + x * 3u];
      if (Test(RGB(px[2], px[1], px[0]))) ++count;
    }
  }
  return count;
}
inline int CountPixels(HWND Window, COLORREF Colour) {
  return CountPixels(Window, [Colour](COLORREF c) { return c == Colour; });
}
// Clearly red, as a red cross or red text smoothed against its background.
inline bool Reddish(COLORREF c) {
  return GetRValue(c) >= 160 && GetGValue(c) <= 90 && GetBValue(c) <= 90;
}
inline bool Bluish(COLORREF c) {
  return GetBValue(c) >= 160 && GetRValue(c) <= 90 && GetGValue(c) <= 90;
}

inline void SaveScreenshot(HWND Window, const std::string& Name) {
  const char* folder = std::getenv("KELHID_SCREENSHOTS");
  if (folder == nullptr || *folder == '\0' || Window == nullptr) return;
  // Paint what is pending. Invalidating everything here would catch the themed buttons half
  // redrawn.
  RedrawWindow(Window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  GdiFlush();
  RECT r;
  GetWindowRect(Window, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  DWORD process = 0;
  GetWindowThreadProcessId(Window, &process);
  const bool ours = process == GetCurrentProcessId();

  const HDC screen = GetDC(nullptr);
  TScreenPicture shown;
  TScreenPicture before;
  const DWORD start = GetTickCount();
  for (;;) {
    shown = TScreenPicture::Copy(screen, r.left, r.top, w, h);
    bool settled = false;
    if (ours) {
      const HDC own = GetWindowDC(Window);
      settled = TScreenPicture::Copy(own, 0, 0, w, h) == shown;
      ReleaseDC(Window, own);
    } else {
      settled = shown == before;
      before = shown;
    }
    // A window partly covered by another never equals its own pixels: the screen it is.
    if (settled || GetTickCount() - start > 2000) break;
    // Waiting lets the window's pixels go out to the screen; no message is handled.
    MsgWaitForMultipleObjectsEx(0, nullptr, ours ? 20 : 150, 0, 0);
  }
  ReleaseDC(nullptr, screen);
  shown.Save(std::string(folder) + "\\" + Name + ".bmp");
}
