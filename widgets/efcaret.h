// The carets of the entry fields: the description of a caret (shape, alignment in the character
// cell, size, blink time, gray or bitmap look), its fitting to the cell, and the caret objects
// of a field that keep the system caret of the field's window in step. No Windows here: the
// system caret is reached through TEfSystemCaret, which the window side supplies.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "gui/Event.h"

enum TEfCaretShape : uint8_t { csBlock, csHalfBlock, csVertLine, csHorzLine, csCustom, csBitmap };
enum TEfCaretAlign : uint8_t { caLeft, caTop, caRight, caBottom, caCenter };

// A caret picture: Width x Height pixels, 0x00RRGGBB each, rows top down.
struct TEfCaretBitmap {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;

  [[nodiscard]] bool Empty() const { return Width <= 0 || Height <= 0; }
  // An empty picture, or one whose Pixels hold at least Width x Height values.
  [[nodiscard]] bool PixelsFit() const;
  friend bool operator==(const TEfCaretBitmap&, const TEfCaretBitmap&) = default;
};

// A caret picture with fewer pixel values than its size needs.
class EInvalidCaretBitmap : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The description of a caret. Shared between holders through std::shared_ptr; the holder that
// shows it hooks OnChange to learn of every change.
class TEfCaret {
 public:
  TEfCaret() = default;
  TEfCaret(const TEfCaret&) = delete;
  TEfCaret& operator=(const TEfCaret&) = delete;

  [[nodiscard]] const TEfCaretBitmap& Bitmap() const { return FBitmap; }
  // Copies the picture; always a change. A picture whose pixels do not fill it is refused
  // (EInvalidCaretBitmap) and nothing changes.
  void SetBitmap(const TEfCaretBitmap& Value);
  // The point of the picture that lies on the caret position (csBitmap only).
  [[nodiscard]] int BitmapHotSpotX() const { return FHotSpotX; }
  void SetBitmapHotSpotX(int Value);
  [[nodiscard]] int BitmapHotSpotY() const { return FHotSpotY; }
  void SetBitmapHotSpotY(int Value);
  // A new shape also sets the alignment and, for lines and bitmaps, a size.
  [[nodiscard]] TEfCaretShape Shape() const { return FShape; }
  void SetShape(TEfCaretShape Value);
  [[nodiscard]] TEfCaretAlign Align() const { return FAlign; }
  void SetAlign(TEfCaretAlign Value);
  // Blink period in ms while the caret exists; 0 keeps the system's.
  [[nodiscard]] uint16_t BlinkTime() const { return FBlinkTime; }
  void SetBlinkTime(uint16_t Value);
  // Pixels; values of 0 or less are refused.
  [[nodiscard]] int CaretHeight() const { return FHeight; }
  void SetCaretHeight(int Value);
  [[nodiscard]] int CaretWidth() const { return FWidth; }
  void SetCaretWidth(int Value);
  [[nodiscard]] bool IsGray() const { return FIsGray; }
  void SetIsGray(bool Value);

  TNotifyEvent OnChange;

 private:
  friend void FitCaretToCell(TEfCaret& Caret, int CellWidth, int CellHeight);
  void Changed();

  TEfCaretBitmap FBitmap;
  int FHotSpotX = 0;
  int FHotSpotY = 0;
  TEfCaretShape FShape = csVertLine;
  TEfCaretAlign FAlign = caLeft;
  uint16_t FBlinkTime = 0;
  int FHeight = 10;
  int FWidth = 2;
  bool FIsGray = false;
};

struct TEfCaretOffset {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TEfCaretOffset&, const TEfCaretOffset&) = default;
};

// Sizes the caret to a cell of CellWidth x CellHeight as its shape asks (no change notice).
void FitCaretToCell(TEfCaret& Caret, int CellWidth, int CellHeight);
// Where the caret lies inside the cell, from its alignment (and hot spot for csBitmap).
[[nodiscard]] TEfCaretOffset CaretOffsetInCell(const TEfCaret& Caret, int CellWidth,
                                               int CellHeight);

// The system caret of one window, as the caret objects use it.
class TEfSystemCaret {
 public:
  virtual ~TEfSystemCaret() = default;
  [[nodiscard]] virtual bool WindowExists() const = 0;
  // Creates the caret for the window: from the bitmap for csBitmap, else gray or solid with the
  // caret's width and height. Hidden at first.
  virtual void Create(const TEfCaret& Caret) = 0;
  virtual void Destroy() = 0;
  virtual void SetPos(int X, int Y) = 0;
  virtual void Show(bool Visible) = 0;
  [[nodiscard]] virtual unsigned BlinkTime() const = 0;
  virtual void SetBlinkTime(unsigned Ms) = 0;
};

// The caret of an entry field: the current description fitted to the character cell at the
// caret position, and the system caret while it is linked (the field has the focus).
class TEfSingleCaret {
 public:
  // A coordinate that puts the caret outside the window.
  static constexpr int NoPosition = INT_MAX;

  explicit TEfSingleCaret(std::unique_ptr<TEfSystemCaret> System);
  TEfSingleCaret(const TEfSingleCaret&) = delete;
  TEfSingleCaret& operator=(const TEfSingleCaret&) = delete;
  // Unlinks, hides and lets go of the description.
  virtual ~TEfSingleCaret();

  [[nodiscard]] const std::shared_ptr<TEfCaret>& Current() const { return FCurrent; }
  void SetCurrent(std::shared_ptr<TEfCaret> Caret);

  [[nodiscard]] int CellHeight() const { return FCellHeight; }
  [[nodiscard]] int CellWidth() const { return FCellWidth; }
  // Ignored unless positive and different.
  void SetCellHeight(int Value);
  void SetCellWidth(int Value);

  // A negative coordinate is kept as NoPosition.
  void SetPosition(int X, int Y);
  [[nodiscard]] int PositionX() const { return FPosX; }
  [[nodiscard]] int PositionY() const { return FPosY; }
  [[nodiscard]] TEfCaretOffset Offset() const { return FOffset; }

  // Creates (true, only while the window exists) or destroys the system caret; a blink time of
  // the caret's own holds while linked and the system's comes back afterwards.
  void Link(bool Value);
  [[nodiscard]] bool Linked() const { return FLinked; }
  void Show(bool Value);
  [[nodiscard]] bool Shown() const { return FShown; }

 protected:
  // Unlinks, fits and links again as it was.
  void Refresh();

 private:
  void CaretChanged(void* Sender);
  void Fit();
  void MoveSystemCaret();

  std::unique_ptr<TEfSystemCaret> FSystem;
  std::shared_ptr<TEfCaret> FCurrent;
  int FCellHeight = 10;
  int FCellWidth = 10;
  int FPosX = NoPosition;
  int FPosY = NoPosition;
  TEfCaretOffset FOffset;
  bool FLinked = false;
  bool FShown = false;
  unsigned FSavedBlinkTime = 0;
};

// The two carets of an entry field: CaretIns in insert mode (a vertical line), CaretOvr in
// overwrite mode (a block).
class TEfCaretPair : public TEfSingleCaret {
 public:
  explicit TEfCaretPair(std::unique_ptr<TEfSystemCaret> System);

  [[nodiscard]] const std::shared_ptr<TEfCaret>& CaretIns() const { return FCaretIns; }
  [[nodiscard]] const std::shared_ptr<TEfCaret>& CaretOvr() const { return FCaretOvr; }
  // Replaces a description (only by another object); the new one is current in its mode.
  void SetCaretIns(std::shared_ptr<TEfCaret> Caret);
  void SetCaretOvr(std::shared_ptr<TEfCaret> Caret);

  [[nodiscard]] bool InsertMode() const { return FInsertMode; }
  void SetInsertMode(bool Value);

 private:
  std::shared_ptr<TEfCaret> FCaretIns;
  std::shared_ptr<TEfCaret> FCaretOvr;
  bool FInsertMode = true;
};
