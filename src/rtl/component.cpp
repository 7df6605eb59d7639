#include "rtl/component.h"

#include <algorithm>

namespace kavo {

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  state_ |= csDestroying;
  // Tell everyone who asked; they drop their references to us.
  while (!free_notifies_.empty()) {
    TComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    auto& back = other->free_notifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, opRemove);
  }
  while (!components_.empty()) {
    TComponent* last = components_.back();
    delete last;  // removes itself from components_
  }
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::SetName(const String& name) { name_ = name; }

TComponent* TComponent::FindComponent(StringView name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->owner_) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  RemoveNotification(component);
  it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
  component->owner_ = nullptr;
}

void TComponent::RemoveNotification(TComponent* component) {
  Notification(component, opRemove);
  for (TComponent* c : components_)
    if (c != component) c->Notification(component, opRemove);
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end()) {
    free_notifies_.push_back(other);
    other->free_notifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  free_notifies_.erase(std::remove(free_notifies_.begin(), free_notifies_.end(), other),
                       free_notifies_.end());
  auto& back = other->free_notifies_;
  back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TComponent::BeginLoading() {
  state_ |= csLoading;
  for (TComponent* c : components_) c->BeginLoading();
}

void TComponent::EndLoading() {
  // Loaded() of one component may create or destroy others: walk a copy and
  // skip those that left in the meantime.
  std::vector<TComponent*> owned = components_;
  for (TComponent* c : owned) {
    if (std::find(components_.begin(), components_.end(), c) == components_.end()) continue;
    c->EndLoading();
  }
  state_ &= ~csLoading;
  Loaded();
}

void TComponent::Loaded() {}

void TComponent::Notification(TComponent*, TOperation) {}

}  // namespace kavo
