// An event handler: a function and the object it is called for.
//
// Two handlers are equal when their functions are equal, whatever their objects are; setters
// that "change nothing for an equal handler" rely on that. A handler made with Bind<&C::M>(obj)
// calls obj->M(...); each member function gets a trampoline of its own, so the trampoline's
// address identifies the member function.
#pragma once

#include <utility>

template <class Signature>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)> {
 public:
  using Function = R (*)(void* Object, Args...);

  constexpr TEvent() = default;
  constexpr TEvent(Function Fn, void* Obj) : FCode(Fn), FObject(Obj) {}

  template <auto Method, class C>
  static TEvent Bind(C* Obj) {
    return TEvent(&Trampoline<Method, C>, Obj);
  }

  [[nodiscard]] explicit operator bool() const { return FCode != nullptr; }
  [[nodiscard]] Function Code() const { return FCode; }
  [[nodiscard]] void* Object() const { return FObject; }

  R operator()(Args... args) const { return FCode(FObject, std::forward<Args>(args)...); }

  friend bool operator==(const TEvent& a, const TEvent& b) { return a.FCode == b.FCode; }

 private:
  template <auto Method, class C>
  static R Trampoline(void* Obj, Args... args) {
    return (static_cast<C*>(Obj)->*Method)(std::forward<Args>(args)...);
  }

  Function FCode = nullptr;
  void* FObject = nullptr;
};

// A handler with no arguments but the sender.
using TNotifyEvent = TEvent<void(void* Sender)>;
