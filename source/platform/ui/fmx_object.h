#pragma once
// The UI object tree. A TFmxObject is a component (owned and freed by its owner) that also has a
// parent and children, apart from ownership: the parent never owns its children. Freeing a parent
// unparents the children it does not own; a freed child leaves its parent's list while it is
// still whole (BeforeDestruction), so the parent's DoRemoveObject sees a complete object.

#include <string>
#include <vector>

#include "rtl/classes.h"

namespace ui {

class TFmxObject : public rtl::TComponent {
  RTL_CLASS(TFmxObject, rtl::TComponent)
public:
  explicit TFmxObject(rtl::TComponent* AOwner) : TComponent(AOwner) {}

  static void RegisterProperties(rtl::TPropertyList& AList);

  void BeforeDestruction() override;

  TFmxObject* Parent() const { return FParent; }
  // Moves the object under AParent (nullptr: no parent) through AParent's AddObject.
  virtual void SetParent(TFmxObject* AParent);
  const std::vector<TFmxObject*>& Children() const { return FChildren; }
  int ChildrenCount() const { return static_cast<int>(FChildren.size()); }

  // Appends AObject to the children (taking it from its previous parent); nothing for nullptr,
  // this object, or a child already here.
  void AddObject(TFmxObject* AObject);
  // As AddObject, at AIndex (clamped into 0..ChildrenCount).
  void InsertObject(int AIndex, TFmxObject* AObject);
  // Takes AObject out of the children; nothing when it is not a child.
  void RemoveObject(TFmxObject* AObject);

  // Whether the form streamer writes this object (children built at run time say False).
  bool Stored() const { return FStored; }
  void SetStored(bool AValue) { FStored = AValue; }
  rtl::TObject* TagObject() const { return FTagObject; }
  void SetTagObject(rtl::TObject* AValue) { FTagObject = AValue; }
  float TagFloat() const { return FTagFloat; }
  void SetTagFloat(float AValue) { FTagFloat = AValue; }
  const std::string& TagString() const { return FTagString; }
  void SetTagString(const std::string& AValue) { FTagString = AValue; }
  // The name of the style the object takes its look from; animations styled "caret" tick slower.
  const std::string& StyleName() const { return FStyleName; }
  void SetStyleName(const std::string& AValue) { FStyleName = AValue; }

  // The streamer's view of the tree: the parent is the parent component, and a component read
  // inside another becomes its child (a light joins its viewport before its properties load).
  rtl::TComponent* GetParentComponent() const override { return FParent; }
  bool HasParent() const override { return true; }
  void SetParentComponent(rtl::TComponent* AParent) override;
  // The stored children that ARoot owns, in child order; for the root, then also the owned
  // components without a parent.
  void GetChildren(const TGetChildProc& AProc, rtl::TComponent* ARoot) override;

  // Counted; the children follow. Handlers that react to changes do nothing while updating.
  virtual void BeginUpdate();
  virtual void EndUpdate();
  bool IsUpdating() const { return FUpdating > 0; }

protected:
  // Called on the parent after AObject joined (at the end) or left its children.
  virtual void DoAddObject(TFmxObject* AObject);
  virtual void DoInsertObject(int AIndex, TFmxObject* AObject);
  virtual void DoRemoveObject(TFmxObject* AObject);
  // Called on the object after its parent changed, by whichever route.
  virtual void ParentChanged() {}

private:
  TFmxObject* FParent = nullptr;
  std::vector<TFmxObject*> FChildren;
  bool FStored = true;
  rtl::TObject* FTagObject = nullptr;
  float FTagFloat = 0;
  std::string FTagString;
  std::string FStyleName;
  int FUpdating = 0;

  void Link(int AIndex, TFmxObject* AObject);
  friend void RegisterFmxClasses();
};

// Registers the UI classes with the class registry and their field tables; counted, so repeated
// calls do the work once. UnregisterFmxClasses undoes the last one.
void RegisterFmxClasses();
void UnregisterFmxClasses();

} // namespace ui
