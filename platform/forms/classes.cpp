#include "forms/classes.h"

#include <algorithm>

#include "forms/strings.h"

namespace forms {

TComponent::TComponent(TComponent* Owner) : owner_(Owner) {}

TComponent::~TComponent() { DestroyComponents(); }

void TComponent::DestroyComponents() {
  // Last created first; a component being destroyed may still look at its owner's list,
  // so each one leaves the list before it goes.
  while (!components_.empty()) {
    std::unique_ptr<TComponent> last = std::move(components_.back());
    components_.pop_back();
    last.reset();
  }
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) return nullptr;
  return components_[static_cast<size_t>(index)].get();
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  for (int i = 0; i < owner_->ComponentCount(); ++i)
    if (owner_->components_[static_cast<size_t>(i)].get() == this) return i;
  return -1;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (const auto& c : components_)
    if (SameText(c->Name(), name)) return c.get();
  return nullptr;
}

TComponent& TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
  component->owner_ = this;
  components_.push_back(std::move(component));
  return *components_.back();
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find_if(components_.begin(), components_.end(),
                         [&](const auto& c) { return c.get() == component; });
  if (it == components_.end()) return nullptr;
  std::unique_ptr<TComponent> out = std::move(*it);
  components_.erase(it);
  out->owner_ = nullptr;
  return out;
}

void TComponent::DestroyComponent(TComponent* component) {
  auto it = std::find_if(components_.begin(), components_.end(),
                         [&](const auto& c) { return c.get() == component; });
  if (it == components_.end()) return;
  // Out of the list first; it still knows its owner while it goes.
  std::unique_ptr<TComponent> doomed = std::move(*it);
  components_.erase(it);
  doomed.reset();
}

}  // namespace forms
