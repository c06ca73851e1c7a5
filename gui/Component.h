// Components: the named parts a form owns (controls, timers, non-visual helpers such as the
// entry-field controller). A form keeps them in one list with unique names; components can also
// watch each other, so that a reference is dropped when the component it points to is freed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TForm;

enum class TOperation : uint8_t { Insert, Remove };

// A component name that its form holds already, or a label name made at run time that is not
// an identifier.
class EComponentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A letter or "_" first, then letters, digits and "_".
[[nodiscard]] bool IsValidComponentName(std::string_view Name);
// Component names compare without regard to case.
[[nodiscard]] bool SameName(std::string_view A, std::string_view B);

class TComponent {
 public:
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  // Tells every component linked by FreeNotification that this one is going.
  virtual ~TComponent();

  [[nodiscard]] const std::string& Name() const { return FName; }
  // The form that owns the component; none for a free-standing one.
  [[nodiscard]] TForm* Owner() const { return FOwner; }
  // True while the owning form is still building itself from its definition.
  [[nodiscard]] bool Loading() const { return FLoading; }

  // Links this component and Other: each is told by Notification(Remove) when the other is
  // freed. Components of one form are told anyway; this is for references across owners. Each
  // side holds its own link (taken once however often it asks): the two stay linked while
  // either holds one, so one side letting go leaves the other's link in place.
  void FreeNotification(TComponent& Other);
  void RemoveFreeNotification(TComponent& Other);

  // A component was inserted into or removed from the owning form, or a linked component is
  // being freed.
  virtual void Notification(TComponent& /*Component*/, TOperation /*Operation*/) {}
  // The owning form has made this component and all the others of its definition.
  virtual void Loaded() {}
  // The owning form is about to free this component; it is still whole.
  virtual void Destroying() {}

 protected:
  explicit TComponent(std::string_view Name = {}) : FName(Name) {}

 private:
  friend class TForm;

  std::string FName;
  TForm* FOwner = nullptr;
  bool FLoading = false;
  // The components this one holds a link to, and those that hold one to this one.
  std::vector<TComponent*> FHolds;
  std::vector<TComponent*> FHeldBy;
};
