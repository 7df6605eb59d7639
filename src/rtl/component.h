// TComponent: the base of every object that lives in the service module.
//
// A component may have an owner; the owner destroys its owned components, in
// reverse order of insertion, when it is destroyed itself. Components that
// refer to each other without ownership ask to be told when the other goes
// (FreeNotification) and drop their reference in Notification(opRemove).
//
// Stored settings are applied between BeginLoading and EndLoading: while
// Loading() is true, components only record what they were given, and
// EndLoading calls Loaded() on the owner's components (in order) and then on
// the owner, so a stored "connected" or "active" is acted on only after the
// whole module has been read.
#ifndef KAVO_RTL_COMPONENT_H_
#define KAVO_RTL_COMPONENT_H_

#include <vector>

#include "rtl/ustring.h"

namespace kavo {

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csDestroying = 1u << 1,
  csReading = 1u << 2,
};

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const String& Name() const { return name_; }
  virtual void SetName(const String& name);

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index); }
  // Owned component by name, without regard to case; null when none.
  TComponent* FindComponent(StringView name) const;

  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  // Ask to be told (Notification with opRemove) when `other` is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  unsigned ComponentState() const { return state_; }
  bool Loading() const { return (state_ & csLoading) != 0; }
  bool Destroying() const { return (state_ & csDestroying) != 0; }

  // The loading phase of this component and everything it owns.
  void BeginLoading();
  void EndLoading();

  // Called by the creator once the constructor has finished, like a second
  // construction step that may call virtual methods.
  virtual void AfterConstruction() {}

 protected:
  // After the loading phase: act on stored settings.
  virtual void Loaded();
  // `component` is being inserted or removed/destroyed. The default does
  // nothing; an owner forwards removals to its owned components.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void RemoveNotification(TComponent* component);

  String name_;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  unsigned state_ = 0;
};

}  // namespace kavo

#endif  // KAVO_RTL_COMPONENT_H_
