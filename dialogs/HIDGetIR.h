// The "Get IR Code" dialog: captures one code pair from the receiver, pressed twice to confirm,
// or optionally from the keyboard.
#pragma once

#include <windows.h>

#include <cstdint>

#include "gui/Form.h"

class TDModHID;

class TFormGetHID final : public TForm {
  // Comes first: creates the window from the form definition before the fields are bound.
  struct TCreated {
    explicit TCreated(TFormGetHID& Form);
  } FCreated;

 public:
  TFormGetHID();

  TPanel& Panel1;
  TBitBtn& BitBtnCancel;
  TLabel& LabelNoMatch;
  TTimer& Timer1;

  int32_t FFirstCode1 = 0;
  int32_t FFirstCode2 = 0;
  // What the next timer tick does: -1 nothing, 0 start, 1 or 2 pause and start, 99 close.
  int32_t FStep = -1;
  TDModHID* FEngine = nullptr;
  bool FAllowKeys = false;
  bool FWaitFirst = false;
  bool FConfirm = false;
  bool FPainted = false;
  bool FPlaySound = false;

  void FormCreate(void* Sender);
  void FormPaint(void* Sender);
  void FormShortCut(WORD CharCode, LPARAM KeyData, bool& Handled);
  void Timer1Timer(void* Sender);
  void WMHidCode(WPARAM wParam, LPARAM lParam);
  void WMHidStatus(WPARAM wParam);

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void StartCapture();
  void SetStatus(const char* Text);
  void PlaySound() const;
};

// Captures one code with Engine, which must hold its receiver (any state but rsNone). Returns
// Code1 and puts Code2 into Code2 when the dialog closed with OK; otherwise 0 and 0. Accepted,
// when given, tells the two apart (a captured 0,0 from none). The engine's state and target
// window are as before afterwards. With an Owner the dialog disables only that window.
int32_t GetIRCode(TDModHID* Engine, bool PlaySound, bool Confirm, bool AllowKeys, int32_t& Code2,
                  bool* Accepted = nullptr, HWND Owner = nullptr);

// The key code of a key message: the virtual-key code, Alt from bit 29 of KeyData, Shift and
// Ctrl from the key state.
int32_t ComposeKeyCode(WORD CharCode, LPARAM KeyData);
