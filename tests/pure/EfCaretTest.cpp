// Carets: shape rules, fitting to the character cell, and how the caret objects drive the
// system caret (through a recording stand-in for the window's caret).
#include <gtest/gtest.h>

#include <climits>

#include <memory>
#include <string>
#include <vector>

#include "widgets/efcaret.h"

namespace {

TEST(EfCaret, ShapeSetsAlignmentAndSizes) {
  struct {
    TEfCaretShape Shape;
    TEfCaretAlign Align;
    int Width, Height;
  } const cases[] = {
      {csBlock, caLeft, 7, 9},      {csHalfBlock, caBottom, 7, 9}, {csVertLine, caLeft, 2, 9},
      {csHorzLine, caBottom, 7, 2}, {csCustom, caRight, 7, 9},     {csBitmap, caRight, 3, 4},
  };
  for (const auto& c : cases) {
    TEfCaret caret;
    caret.SetShape(csCustom);
    caret.SetAlign(caRight);
    caret.SetCaretWidth(7);
    caret.SetCaretHeight(9);
    caret.SetBitmap({3, 4, std::vector<uint32_t>(12)});
    caret.SetShape(c.Shape);
    EXPECT_EQ(caret.Align(), c.Align) << int(c.Shape);
    EXPECT_EQ(caret.CaretWidth(), c.Width) << int(c.Shape);
    EXPECT_EQ(caret.CaretHeight(), c.Height) << int(c.Shape);
  }
}

TEST(EfCaret, DefaultsRefusalsAndChangeNotices) {
  TEfCaret caret;
  EXPECT_EQ(caret.Shape(), csVertLine);
  EXPECT_EQ(caret.Align(), caLeft);
  EXPECT_EQ(caret.CaretHeight(), 10);
  EXPECT_EQ(caret.CaretWidth(), 2);
  EXPECT_EQ(caret.BlinkTime(), 0);
  EXPECT_FALSE(caret.IsGray());

  int changes = 0;
  caret.OnChange = TNotifyEvent(
      [](void* Counter, void* /*Sender*/) { ++*static_cast<int*>(Counter); }, &changes);
  caret.SetCaretWidth(0);
  caret.SetCaretHeight(-3);
  caret.SetCaretWidth(2);      // unchanged
  caret.SetBitmapHotSpotX(4);  // not a bitmap caret: stored silently
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(caret.CaretWidth(), 2);
  EXPECT_EQ(caret.CaretHeight(), 10);
  EXPECT_EQ(caret.BitmapHotSpotX(), 4);
  caret.SetBitmap({});  // a picture is always a change
  caret.SetShape(csBitmap);
  caret.SetBitmapHotSpotY(1);
  caret.SetIsGray(true);
  caret.SetBlinkTime(200);
  EXPECT_EQ(changes, 5);
  // An empty picture gives no size.
  EXPECT_EQ(caret.CaretHeight(), 10);
}

TEST(EfCaret, PicturesWhosePixelsDoNotFillThemAreRefused) {
  TEfCaret caret;
  caret.SetShape(csBitmap);
  caret.SetBitmap({3, 4, std::vector<uint32_t>(12, 0xFFFFFF)});
  int changes = 0;
  caret.OnChange = TNotifyEvent(
      [](void* Counter, void* /*Sender*/) { ++*static_cast<int*>(Counter); }, &changes);
  struct {
    int Width, Height;
    size_t Pixels;
  } const refused[] = {
      {3, 4, 11}, {3, 4, 0}, {1, 1, 0}, {0x10000, 0x10000, 16}, {INT_MAX, INT_MAX, 1},
  };
  for (const auto& r : refused) {
    try {
      caret.SetBitmap({r.Width, r.Height, std::vector<uint32_t>(r.Pixels)});
      ADD_FAILURE() << r.Width << " x " << r.Height << " with " << r.Pixels << " pixels taken";
    } catch (const EInvalidCaretBitmap& e) {
      EXPECT_NE(std::string(e.what()).find("pixel"), std::string::npos) << e.what();
    }
  }
  const std::string message = [&caret] {
    try {
      caret.SetBitmap({3, 4, std::vector<uint32_t>(11)});
    } catch (const EInvalidCaretBitmap& e) {
      return std::string(e.what());
    }
    return std::string();
  }();
  EXPECT_EQ(message, "A caret picture of 3 x 4 pixels needs 12 pixel values, not 11");
  // Nothing changed: the picture, its size and no change notice.
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(caret.Bitmap(), (TEfCaretBitmap{3, 4, std::vector<uint32_t>(12, 0xFFFFFF)}));
  EXPECT_EQ(caret.CaretWidth(), 3);
  // Empty pictures and pictures with pixels to spare are taken.
  caret.SetBitmap({0, 5, {}});
  caret.SetBitmap({2, 2, std::vector<uint32_t>(5)});
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(caret.CaretWidth(), 2);
}

TEST(EfCaret, FittedToTheCell) {
  struct {
    TEfCaretShape Shape;
    TEfCaretAlign Align;  // set after the shape
    int CellWidth, CellHeight;
    int Width, Height;
    TEfCaretOffset Offset;
  } const cases[] = {
      {csBlock, caLeft, 8, 13, 8, 13, {0, 0}},
      {csHalfBlock, caBottom, 8, 13, 8, 6, {0, 7}},
      {csHalfBlock, caBottom, 8, 1, 8, 1, {0, 0}},
      {csVertLine, caLeft, 7, 13, 2, 13, {0, 0}},
      {csVertLine, caCenter, 7, 13, 2, 13, {2, 0}},
      {csVertLine, caRight, 7, 13, 2, 13, {5, 0}},
      {csHorzLine, caBottom, 8, 13, 8, 2, {0, 11}},
      {csHorzLine, caTop, 8, 13, 8, 2, {0, 0}},
      {csCustom, caCenter, 8, 13, 2, 10, {3, 1}},
      // Bitmap 3 x 4 with its hot spot (1, 2).
      {csBitmap, caCenter, 8, 13, 3, 4, {1, 2}},
  };
  for (const auto& c : cases) {
    TEfCaret caret;
    caret.SetBitmap({3, 4, std::vector<uint32_t>(12)});
    caret.SetBitmapHotSpotX(1);
    caret.SetBitmapHotSpotY(2);
    caret.SetShape(c.Shape);
    caret.SetAlign(c.Align);
    FitCaretToCell(caret, c.CellWidth, c.CellHeight);
    EXPECT_EQ(caret.CaretWidth(), c.Width) << int(c.Shape) << "/" << int(c.Align);
    EXPECT_EQ(caret.CaretHeight(), c.Height) << int(c.Shape) << "/" << int(c.Align);
    EXPECT_EQ(CaretOffsetInCell(caret, c.CellWidth, c.CellHeight), c.Offset)
        << int(c.Shape) << "/" << int(c.Align);
  }
}

// Records what is asked of the system caret.
struct TCaretLog {
  std::vector<std::string> Calls;
  bool Window = true;
  unsigned Blink = 500;
};

class TRecordingCaret final : public TEfSystemCaret {
 public:
  explicit TRecordingCaret(TCaretLog& Log) : FLog(Log) {}
  [[nodiscard]] bool WindowExists() const override { return FLog.Window; }
  void Create(const TEfCaret& Caret) override {
    FLog.Calls.push_back("create " + std::to_string(Caret.CaretWidth()) + "x" +
                         std::to_string(Caret.CaretHeight()));
  }
  void Destroy() override { FLog.Calls.emplace_back("destroy"); }
  void SetPos(int X, int Y) override {
    FLog.Calls.push_back("pos " + std::to_string(X) + "," + std::to_string(Y));
  }
  void Show(bool Visible) override { FLog.Calls.emplace_back(Visible ? "show" : "hide"); }
  [[nodiscard]] unsigned BlinkTime() const override { return FLog.Blink; }
  void SetBlinkTime(unsigned Ms) override {
    FLog.Blink = Ms;
    FLog.Calls.push_back("blink " + std::to_string(Ms));
  }

 private:
  TCaretLog& FLog;
};

class EfCaretPair : public ::testing::Test {
 protected:
  std::vector<std::string> Take() { return std::exchange(Log.Calls, {}); }

  TCaretLog Log;
  std::unique_ptr<TEfCaretPair> Pair =
      std::make_unique<TEfCaretPair>(std::make_unique<TRecordingCaret>(Log));
};

TEST_F(EfCaretPair, LinkShowsMovesAndKeepsTheBlinkTimeOnlyWhileLinked) {
  Pair->CaretIns()->SetBlinkTime(200);
  Pair->SetCellWidth(8);
  Pair->SetCellHeight(13);
  Pair->SetPosition(20, 3);
  Pair->Show(true);
  EXPECT_TRUE(Take().empty());  // nothing reaches the system before linking
  Pair->Link(true);
  Pair->Link(true);  // once only: the saved time stays the system's
  EXPECT_EQ(Take(), (std::vector<std::string>{"create 2x13", "show", "pos 20,3", "blink 200"}));
  Pair->Link(false);
  Pair->Link(false);
  EXPECT_EQ(Take(), (std::vector<std::string>{"blink 500", "destroy"}));
  EXPECT_EQ(Log.Blink, 500u);
}

TEST_F(EfCaretPair, InsertModeSwitchesBetweenLineAndBlock) {
  Pair->SetCellWidth(8);
  Pair->SetCellHeight(13);
  Pair->Link(true);
  Pair->Show(true);
  Take();
  Pair->SetInsertMode(false);
  EXPECT_EQ(Pair->Current(), Pair->CaretOvr());
  EXPECT_EQ(Take(),
            (std::vector<std::string>{"destroy", "create 8x13", "show",
                                      "pos " + std::to_string(TEfSingleCaret::NoPosition) + "," +
                                          std::to_string(TEfSingleCaret::NoPosition)}));
  // A change of the current description rebuilds the system caret; of the other one, not.
  Pair->CaretIns()->SetIsGray(true);
  EXPECT_TRUE(Take().empty());
  Pair->CaretOvr()->SetShape(csHalfBlock);
  EXPECT_EQ(Take().at(1), "create 8x6");
  EXPECT_EQ(Pair->Offset(), (TEfCaretOffset{0, 7}));
  Pair->SetInsertMode(true);
  EXPECT_EQ(Pair->Current(), Pair->CaretIns());
  EXPECT_EQ(Pair->CaretIns()->CaretHeight(), 13);
}

TEST_F(EfCaretPair, PositionsAndWindowlessFields) {
  Pair->SetPosition(-1, 4);
  EXPECT_EQ(Pair->PositionX(), TEfSingleCaret::NoPosition);
  EXPECT_EQ(Pair->PositionY(), 4);
  Pair->SetCellHeight(0);  // refused
  EXPECT_EQ(Pair->CellHeight(), 10);
  Log.Window = false;
  Pair->Link(true);
  EXPECT_FALSE(Pair->Linked());
  EXPECT_TRUE(Take().empty());
}

TEST_F(EfCaretPair, SmallestSizesZeroPositionsAndTheOffsetOnTheScreen) {
  // Sizes of 1 are taken, 0 and below refused; position 0 is a position.
  TEfCaret caret;
  caret.SetCaretHeight(0);
  EXPECT_EQ(caret.CaretHeight(), 10);
  caret.SetCaretHeight(1);
  EXPECT_EQ(caret.CaretHeight(), 1);
  caret.SetCaretWidth(-3);
  EXPECT_EQ(caret.CaretWidth(), 2);
  Pair->SetCellWidth(1);
  EXPECT_EQ(Pair->CellWidth(), 1);
  Pair->SetCellWidth(0);
  EXPECT_EQ(Pair->CellWidth(), 1);
  Pair->SetPosition(0, 0);
  EXPECT_EQ(Pair->PositionX(), 0);
  EXPECT_EQ(Pair->PositionY(), 0);
  // A custom 3 x 5 caret centred in a 7 x 13 cell lies 2 pixels right and 4 down: the system
  // caret goes to the position plus that offset.
  Pair->SetCellWidth(7);
  Pair->SetCellHeight(13);
  Pair->SetInsertMode(false);
  Pair->CaretOvr()->SetShape(csCustom);
  Pair->CaretOvr()->SetCaretWidth(3);
  Pair->CaretOvr()->SetCaretHeight(5);
  Pair->CaretOvr()->SetAlign(caCenter);
  Pair->SetPosition(20, 3);
  Pair->Link(true);
  EXPECT_EQ(Take(), (std::vector<std::string>{"create 3x5", "pos 22,7"}));
  // Neither an empty description nor the current one again changes anything.
  Pair->SetCaretIns(nullptr);
  Pair->SetCaretOvr(nullptr);
  Pair->SetCaretOvr(Pair->CaretOvr());
  EXPECT_NE(Pair->CaretIns(), nullptr);
  EXPECT_NE(Pair->CaretOvr(), nullptr);
  EXPECT_TRUE(Take().empty());
}

TEST_F(EfCaretPair, ReplacedDescriptionsAreReleased) {
  auto mine = std::make_shared<TEfCaret>();
  mine->SetShape(csHorzLine);
  const std::weak_ptr<TEfCaret> old = Pair->CaretOvr();
  Pair->SetCaretOvr(mine);
  EXPECT_TRUE(old.expired());
  EXPECT_EQ(Pair->Current(), Pair->CaretIns());  // insert mode: the new one waits
  Pair->SetInsertMode(false);
  EXPECT_EQ(Pair->Current(), mine);
  Pair.reset();
  EXPECT_EQ(mine.use_count(), 1);
  EXPECT_FALSE(mine->OnChange);  // unhooked by the pair that is gone
}

}  // namespace
