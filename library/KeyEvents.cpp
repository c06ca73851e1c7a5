#include "library/KeyEvents.h"

#include <algorithm>

THostEventQueue::THostEventQueue(size_t Capacity) : FRing(std::max<size_t>(Capacity, 1)) {}

bool THostEventQueue::Push(const THostEvent& Event) {
  const bool wasEmpty = FCount == 0;
  bool dropped = false;
  if (FCount == FRing.size()) {
    FHead = (FHead + 1) % FRing.size();
    --FCount;
    dropped = true;
  }
  THostEvent& slot = FRing[(FHead + FCount) % FRing.size()];
  slot = Event;
  ++FCount;
  if (dropped) FRing[FHead].Flags |= efOverflow;
  return wasEmpty;
}

bool THostEventQueue::Pop(THostEvent& Event) {
  if (FCount == 0) return false;
  Event = FRing[FHead];
  FHead = (FHead + 1) % FRing.size();
  --FCount;
  return true;
}

void THostEventQueue::Clear() {
  FHead = 0;
  FCount = 0;
}

uint32_t TKeyHolds::ReleaseAfterMs() const {
  if (FPeriodMs == 0) return MostMs;
  return std::min(MostMs, QuietMs + FPeriodMs);
}

std::optional<THostEvent> TKeyHolds::Release(uint64_t AtMs) {
  const bool announced = FActive && FAnnounced;
  FActive = false;
  FAnnounced = false;
  if (!announced) return std::nullopt;
  return THostEvent{ekRelease, FCode1, FCode2, 0, static_cast<uint32_t>(AtMs)};
}

std::optional<THostEvent> TKeyHolds::Report(uint32_t Code1, uint32_t Code2, uint64_t NowMs) {
  std::optional<THostEvent> released;
  if (FActive) {
    const uint64_t gap = NowMs >= FLastMs ? NowMs - FLastMs : 0;
    const bool sameKey = Code1 == FCode1 && Code2 == FCode2;
    if (sameKey && gap <= ReleaseAfterMs()) {
      // Gaps longer than a repeat can be are pauses, not the receiver's period.
      if (gap <= MostMs - QuietMs) FPeriodMs = std::max(FPeriodMs, static_cast<uint32_t>(gap));
      FLastMs = NowMs;
      return std::nullopt;
    }
    released = Release(sameKey ? FLastMs + ReleaseAfterMs() : NowMs);
  }
  FActive = true;
  FAnnounced = false;
  FCode1 = Code1;
  FCode2 = Code2;
  FLastMs = NowMs;
  return released;
}

THostEvent TKeyHolds::Accepted(bool Held, uint64_t NowMs) {
  FAnnounced = FActive;
  return THostEvent{ekCode, FCode1, FCode2, Held ? efRepeat : 0, static_cast<uint32_t>(NowMs)};
}

std::optional<uint64_t> TKeyHolds::NextDue() const {
  if (!FActive || !FAnnounced) return std::nullopt;
  return FLastMs + ReleaseAfterMs();
}

std::optional<THostEvent> TKeyHolds::Due(uint64_t NowMs) {
  const std::optional<uint64_t> due = NextDue();
  if (!due || NowMs < *due) return std::nullopt;
  return Release(*due);
}

std::optional<THostEvent> TKeyHolds::End(uint64_t NowMs) {
  return Release(NowMs);
}
