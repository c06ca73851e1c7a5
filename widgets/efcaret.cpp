#include "widgets/efcaret.h"

#include <algorithm>
#include <string>
#include <utility>

bool TEfCaretBitmap::PixelsFit() const {
  if (Empty()) return true;
  return static_cast<uint64_t>(Width) * static_cast<uint64_t>(Height) <= Pixels.size();
}

// --- TEfCaret -----------------------------------------------------------------------------

void TEfCaret::Changed() {
  if (OnChange) OnChange(this);
}

void TEfCaret::SetBitmap(const TEfCaretBitmap& Value) {
  // The window side makes the system caret from Width x Height pixels of the buffer.
  if (!Value.PixelsFit()) {
    throw EInvalidCaretBitmap(
        "A caret picture of " + std::to_string(Value.Width) + " x " + std::to_string(Value.Height) +
        " pixels needs " +
        std::to_string(static_cast<uint64_t>(Value.Width) * static_cast<uint64_t>(Value.Height)) +
        " pixel values, not " + std::to_string(Value.Pixels.size()));
  }
  FBitmap = Value;
  if (FShape == csBitmap && !FBitmap.Empty()) {
    FHeight = FBitmap.Height;
    FWidth = FBitmap.Width;
  }
  Changed();
}

void TEfCaret::SetBitmapHotSpotX(int Value) {
  if (Value == FHotSpotX) return;
  FHotSpotX = Value;
  if (FShape == csBitmap) Changed();
}

void TEfCaret::SetBitmapHotSpotY(int Value) {
  if (Value == FHotSpotY) return;
  FHotSpotY = Value;
  if (FShape == csBitmap) Changed();
}

void TEfCaret::SetShape(TEfCaretShape Value) {
  if (Value == FShape) return;
  FShape = Value;
  switch (Value) {
    case csBlock:
      FAlign = caLeft;
      break;
    case csHalfBlock:
      FAlign = caBottom;
      break;
    case csVertLine:
      FAlign = caLeft;
      FWidth = 2;
      break;
    case csHorzLine:
      FAlign = caBottom;
      FHeight = 2;
      break;
    case csBitmap:
      // An empty picture has no size to give.
      if (!FBitmap.Empty()) {
        FHeight = FBitmap.Height;
        FWidth = FBitmap.Width;
      }
      break;
    case csCustom:
      break;
  }
  Changed();
}

void TEfCaret::SetAlign(TEfCaretAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  Changed();
}

void TEfCaret::SetBlinkTime(uint16_t Value) {
  if (Value == FBlinkTime) return;
  FBlinkTime = Value;
  Changed();
}

void TEfCaret::SetCaretHeight(int Value) {
  if (Value <= 0 || Value == FHeight) return;
  FHeight = Value;
  Changed();
}

void TEfCaret::SetCaretWidth(int Value) {
  if (Value <= 0 || Value == FWidth) return;
  FWidth = Value;
  Changed();
}

void TEfCaret::SetIsGray(bool Value) {
  if (Value == FIsGray) return;
  FIsGray = Value;
  Changed();
}

// --- Geometry -----------------------------------------------------------------------------

void FitCaretToCell(TEfCaret& Caret, int CellWidth, int CellHeight) {
  switch (Caret.Shape()) {
    case csBlock:
      Caret.FHeight = CellHeight;
      Caret.FWidth = CellWidth;
      break;
    case csHalfBlock:
      // A one-pixel cell still gets a caret of one pixel.
      Caret.FHeight = std::max(1, CellHeight / 2);
      Caret.FWidth = CellWidth;
      break;
    case csVertLine:
      Caret.FHeight = CellHeight;
      break;
    case csHorzLine:
      Caret.FWidth = CellWidth;
      break;
    case csCustom:
    case csBitmap:
      break;
  }
}

TEfCaretOffset CaretOffsetInCell(const TEfCaret& Caret, int CellWidth, int CellHeight) {
  const int centreX = (CellWidth - Caret.CaretWidth()) / 2;
  const int centreY = (CellHeight - Caret.CaretHeight()) / 2;
  TEfCaretOffset o;
  switch (Caret.Align()) {
    case caLeft:
      o = {0, centreY};
      break;
    case caTop:
      o = {centreX, 0};
      break;
    case caRight:
      o = {CellWidth - Caret.CaretWidth(), centreY};
      break;
    case caBottom:
      o = {centreX, CellHeight - Caret.CaretHeight()};
      break;
    case caCenter:
      o = {centreX, centreY};
      break;
  }
  if (Caret.Shape() == csBitmap) {
    o.X -= Caret.BitmapHotSpotX();
    o.Y -= Caret.BitmapHotSpotY();
  }
  return o;
}

// --- TEfSingleCaret -----------------------------------------------------------------------

TEfSingleCaret::TEfSingleCaret(std::unique_ptr<TEfSystemCaret> System)
    : FSystem(std::move(System)) {}

TEfSingleCaret::~TEfSingleCaret() {
  Show(false);
  Link(false);
  if (FCurrent && FCurrent->OnChange.Object() == this) FCurrent->OnChange = {};
}

void TEfSingleCaret::SetCurrent(std::shared_ptr<TEfCaret> Caret) {
  if (Caret == FCurrent || !Caret) return;
  if (FCurrent && FCurrent->OnChange.Object() == this) FCurrent->OnChange = {};
  FCurrent = std::move(Caret);
  FCurrent->OnChange = TNotifyEvent::Bind<&TEfSingleCaret::CaretChanged>(this);
  Refresh();
}

void TEfSingleCaret::CaretChanged(void* /*Sender*/) {
  Refresh();
}

void TEfSingleCaret::SetCellHeight(int Value) {
  if (Value <= 0 || Value == FCellHeight) return;
  FCellHeight = Value;
  Refresh();
}

void TEfSingleCaret::SetCellWidth(int Value) {
  if (Value <= 0 || Value == FCellWidth) return;
  FCellWidth = Value;
  Refresh();
}

void TEfSingleCaret::SetPosition(int X, int Y) {
  FPosX = X < 0 ? NoPosition : X;
  FPosY = Y < 0 ? NoPosition : Y;
  if (FLinked) MoveSystemCaret();
}

void TEfSingleCaret::Refresh() {
  const bool wasLinked = FLinked;
  Link(false);
  Fit();
  if (wasLinked) Link(true);
}

void TEfSingleCaret::Fit() {
  if (!FCurrent) return;
  FitCaretToCell(*FCurrent, FCellWidth, FCellHeight);
  const TEfCaretOffset offset = CaretOffsetInCell(*FCurrent, FCellWidth, FCellHeight);
  if (offset == FOffset) return;
  FOffset = offset;
  if (FLinked) MoveSystemCaret();
}

void TEfSingleCaret::MoveSystemCaret() {
  // "No position" stays what it is: the offset would overflow it.
  FSystem->SetPos(FPosX == NoPosition ? NoPosition : FPosX + FOffset.X,
                  FPosY == NoPosition ? NoPosition : FPosY + FOffset.Y);
}

void TEfSingleCaret::Link(bool Value) {
  // Linking twice would save the caret's own blink time as the system's; unlinking an
  // unlinked caret has nothing to give back.
  if (Value == FLinked || !FCurrent) return;
  if (Value) {
    if (!FSystem->WindowExists()) return;
    FSavedBlinkTime = FSystem->BlinkTime();
    FSystem->Create(*FCurrent);
    FLinked = true;
    if (FShown) FSystem->Show(true);
    MoveSystemCaret();
    const unsigned blink = FCurrent->BlinkTime();
    if (blink != 0 && blink != FSavedBlinkTime) FSystem->SetBlinkTime(blink);
  } else {
    if (FSystem->BlinkTime() != FSavedBlinkTime) FSystem->SetBlinkTime(FSavedBlinkTime);
    FSystem->Destroy();
    FLinked = false;
  }
}

void TEfSingleCaret::Show(bool Value) {
  // The system counts hides: only a change of the flag reaches it.
  if (Value == FShown) return;
  FShown = Value;
  if (FLinked && FSystem->WindowExists()) FSystem->Show(Value);
}

// --- TEfCaretPair -------------------------------------------------------------------------

TEfCaretPair::TEfCaretPair(std::unique_ptr<TEfSystemCaret> System)
    : TEfSingleCaret(std::move(System)),
      FCaretIns(std::make_shared<TEfCaret>()),
      FCaretOvr(std::make_shared<TEfCaret>()) {
  FCaretOvr->SetShape(csBlock);
  SetCurrent(FCaretIns);
}

void TEfCaretPair::SetCaretIns(std::shared_ptr<TEfCaret> Caret) {
  if (!Caret || Caret == FCaretIns) return;
  FCaretIns = std::move(Caret);
  if (FInsertMode) SetCurrent(FCaretIns);
}

void TEfCaretPair::SetCaretOvr(std::shared_ptr<TEfCaret> Caret) {
  if (!Caret || Caret == FCaretOvr) return;
  FCaretOvr = std::move(Caret);
  if (!FInsertMode) SetCurrent(FCaretOvr);
}

void TEfCaretPair::SetInsertMode(bool Value) {
  if (Value == FInsertMode) return;
  FInsertMode = Value;
  SetCurrent(FInsertMode ? FCaretIns : FCaretOvr);
}
