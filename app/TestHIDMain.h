// The "Test HID" window: starts and stops reception, lists the code pairs the engine posts and
// shows its state.
#pragma once

#include <string>

#include "gui/Form.h"

class TForm1 final : public TForm {
  // Comes first: creates the window from the form definition before the fields are bound.
  struct TCreated {
    explicit TCreated(TForm1& Form);
  } FCreated;

 public:
  TForm1();

  TButton& Button1;
  TButton& Button2;
  TPanel& Panel1;
  TPanel& Panel2;
  TListBox& ListBox1;
  TPanel& Panel3;
  TButton& Button4;
  TCheckBox& CBUnique;
  TButton& Button3;

  void Button1Click(void* Sender);
  void Button2Click(void* Sender);
  void Button3Click(void* Sender);
  void Button4Click(void* Sender);
  void WMHidCode(WPARAM wParam, LPARAM lParam);
  void WMHidStatus(WPARAM wParam);

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
};

// The program's main window.
extern TForm1* Form1;

// Selects the next synthetic report of the hidden Test button.
extern int TestStep;
