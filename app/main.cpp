// Program start: the application, the test window, the engine, then the message loop.
#include <windows.h>

#include <memory>

#include "app/TestHIDMain.h"
#include "engine/DMHID.h"
#include "widgets/Application.h"

int WINAPI WinMain(HINSTANCE /*Instance*/, HINSTANCE /*Previous*/, LPSTR /*CmdLine*/,
                   int /*Show*/) {
  Application().Initialize();
  auto form = std::make_unique<TForm1>();
  Form1 = form.get();
  Application().MainForm = Form1;
  auto engine = std::make_unique<TDModHID>();
  DModHID = engine.get();

  form->Show();
  Application().Run();

  // The engine releases its receiver without a message, then the window goes.
  DModHID = nullptr;
  engine.reset();
  Application().MainForm = nullptr;
  Form1 = nullptr;
  form.reset();
  return 0;
}
