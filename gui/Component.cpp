#include "gui/Component.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsIdentStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

void Unlink(std::vector<TComponent*>& List, const TComponent* Item) {
  List.erase(std::remove(List.begin(), List.end(), Item), List.end());
}

}  // namespace

bool IsValidComponentName(std::string_view Name) {
  if (Name.empty() || !IsIdentStart(Name.front())) return false;
  return std::all_of(Name.begin(), Name.end(), [](char c) {
    return IsIdentStart(c) || std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

bool SameName(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

TComponent::~TComponent() {
  // Each linked component is told once, and forgets this one, whichever side held the link.
  while (!FHolds.empty() || !FHeldBy.empty()) {
    TComponent* other = !FHolds.empty() ? FHolds.back() : FHeldBy.back();
    Unlink(FHolds, other);
    Unlink(FHeldBy, other);
    Unlink(other->FHolds, this);
    Unlink(other->FHeldBy, this);
    other->Notification(*this, TOperation::Remove);
  }
}

void TComponent::FreeNotification(TComponent& Other) {
  if (&Other == this) return;
  if (std::find(FHolds.begin(), FHolds.end(), &Other) == FHolds.end()) {
    FHolds.push_back(&Other);
    Other.FHeldBy.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent& Other) {
  Unlink(FHolds, &Other);
  Unlink(Other.FHeldBy, this);
}
