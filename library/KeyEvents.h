// What a host reads from the library's event queue: state changes, codes, and key releases.
//
// No Windows here. The queue is bounded; the key holds follow the reports of the keys as they
// arrive, before the repeat gate, so that a release can be told from the reports stopping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

enum THostEventKind : int { ekState = 1, ekCode = 2, ekRelease = 3 };

inline constexpr uint32_t efRepeat = 1;    // a CODE of a held key's repeat
inline constexpr uint32_t efOverflow = 2;  // events before this one were dropped

struct THostEvent {
  int Kind = 0;
  uint32_t Code1 = 0;
  uint32_t Code2 = 0;
  uint32_t Flags = 0;
  uint32_t TimeMs = 0;
  friend bool operator==(const THostEvent&, const THostEvent&) = default;
};

// A first-in first-out queue of at most Capacity events. When it is full the oldest event goes,
// and the event that is then the oldest carries efOverflow, so that the reader learns of the gap
// where it happened.
class THostEventQueue {
 public:
  static constexpr size_t DefaultCapacity = 1024;
  explicit THostEventQueue(size_t Capacity = DefaultCapacity);

  // True when the queue was empty before.
  bool Push(const THostEvent& Event);
  // Takes the oldest event; false when there is none.
  bool Pop(THostEvent& Event);
  [[nodiscard]] bool Empty() const { return FCount == 0; }
  [[nodiscard]] size_t Size() const { return FCount; }
  [[nodiscard]] size_t Capacity() const { return FRing.size(); }
  void Clear();

 private:
  std::vector<THostEvent> FRing;
  size_t FHead = 0;  // the oldest event
  size_t FCount = 0;
};

// Follows the holds of the remote's keys. A hold begins with a key's report and goes on while
// reports of the same key (by the pair its press decodes to) follow one another closely; it
// ends when they stop for longer than ReleaseAfterMs, or when another key's report comes. A
// hold of which a code was announced ends with a release event.
class TKeyHolds {
 public:
  // The release waits this long after the last report, plus the usual repeat period...
  static constexpr uint32_t QuietMs = 150;
  // ... and never longer than this.
  static constexpr uint32_t MostMs = 500;

  // A report of the key whose press is Code1,Code2 arrived. When it ends another hold that was
  // announced, that key's release comes back, to be queued before anything of this report.
  std::optional<THostEvent> Report(uint32_t Code1, uint32_t Code2, uint64_t NowMs);
  // The report seen last was accepted: its CODE event, a repeat when Held.
  THostEvent Accepted(bool Held, uint64_t NowMs);
  // The release that has fallen due by NowMs, if any.
  std::optional<THostEvent> Due(uint64_t NowMs);
  // When the release of the announced hold falls due; none without one.
  [[nodiscard]] std::optional<uint64_t> NextDue() const;
  // Reception ends: the release of an announced hold, at once; the holds are forgotten.
  std::optional<THostEvent> End(uint64_t NowMs);

  // How long reports must stop before a release: QuietMs plus the longest gap seen between
  // two reports of one hold (until one is seen, as long as allowed), at most MostMs.
  [[nodiscard]] uint32_t ReleaseAfterMs() const;

 private:
  std::optional<THostEvent> Release(uint64_t AtMs);

  bool FActive = false;
  bool FAnnounced = false;
  uint32_t FCode1 = 0;
  uint32_t FCode2 = 0;
  uint64_t FLastMs = 0;
  uint32_t FPeriodMs = 0;  // 0: no gap seen yet
};
