// An event handler: a function and the object it is called for.
//
// Two handlers are equal when their functions are equal, whatever their objects are; setters
// that "change nothing for an equal handler" rely on that. A handler made with Bind<&C::M>(obj)
// calls obj->M(...); each member function gets a trampoline of its own, so the trampoline's
// address identifies the member function.
#pragma once

#include <atomic>
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

// A handler that the main thread sets and calls, and that another thread may ask whether it is
// set: its two parts are atomic. It reads and compares like the TEvent it holds.
template <class Signature>
class TSharedEvent;

template <class R, class... Args>
class TSharedEvent<R(Args...)> {
 public:
  using Event = TEvent<R(Args...)>;

  TSharedEvent() = default;
  TSharedEvent(const Event& Value) { Store(Value); }  // NOLINT(google-explicit-constructor)
  TSharedEvent(const TSharedEvent& Other) { Store(Other); }
  TSharedEvent& operator=(const Event& Value) {
    Store(Value);
    return *this;
  }
  TSharedEvent& operator=(const TSharedEvent& Other) {
    Store(Other);
    return *this;
  }
  ~TSharedEvent() = default;

  operator Event() const {  // NOLINT(google-explicit-constructor)
    return Event(FCode.load(std::memory_order_acquire), FObject.load(std::memory_order_acquire));
  }
  [[nodiscard]] explicit operator bool() const {
    return FCode.load(std::memory_order_acquire) != nullptr;
  }
  friend bool operator==(const TSharedEvent& a, const Event& b) { return Event(a) == b; }

 private:
  void Store(const Event& Value) {
    FObject.store(Value.Object(), std::memory_order_release);
    FCode.store(Value.Code(), std::memory_order_release);
  }

  std::atomic<typename Event::Function> FCode{nullptr};
  std::atomic<void*> FObject{nullptr};
};

// A handler with no arguments but the sender.
using TNotifyEvent = TEvent<void(void* Sender)>;
