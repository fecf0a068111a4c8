#pragma once
// The root of the framework's classes: TObject and TComponent.
//
// A component is created by its owner and belongs to it: the owner keeps its components
// in creation order and destroys them, last created first, when it goes. The owner is not
// the visual parent: a control is owned by its form and shown inside its parent control.
//
//     auto& edit = form.Create<TEdit>("nom_ov", &panel);   // owner: form, parent: panel
//
// Components are found by Name (without regard to case, as the framework does) and
// walked in creation order with ComponentCount() / Components(i).
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace forms {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* Owner);
  ~TComponent() override;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TComponent* Owner() const { return owner_; }
  long Tag() const { return tag_; }
  void SetTag(long tag) { tag_ = tag; }

  // Owned components, in creation order.
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  int ComponentIndex() const;  // this component's place in its owner's list, -1 without owner
  // The owned component of that name (case-insensitive), or nullptr.
  TComponent* FindComponent(const std::string& name) const;

  // Creates a component owned by this one. T's constructor takes the owner first, then
  // `args`. The new component is added at the end of the list once constructed.
  template <class T, class... Args>
  T& Create(std::string name, Args&&... args) {
    auto component = std::make_unique<T>(this, std::forward<Args>(args)...);
    component->SetName(std::move(name));
    T& ref = *component;
    InsertComponent(std::move(component));
    return ref;
  }
  // Takes ownership of a component made elsewhere (its owner pointer becomes this).
  TComponent& InsertComponent(std::unique_ptr<TComponent> component);
  // Destroys an owned component now. Does nothing for a component this one does not own.
  void DestroyComponent(TComponent* component);
  // Hands an owned component back to the caller (its Owner() becomes nullptr).
  std::unique_ptr<TComponent> RemoveComponent(TComponent* component);

  // The component-loaded notification, called once its form has been built (TForm) and
  // before the form's OnCreate. The default does nothing.
  virtual void Loaded() {}

 protected:
  // Destroys every owned component, last created first. Derived classes whose members
  // the components use call it from their own destructor.
  void DestroyComponents();

 private:
  std::string name_;
  TComponent* owner_ = nullptr;
  long tag_ = 0;
  std::vector<std::unique_ptr<TComponent>> components_;
};

}  // namespace forms
