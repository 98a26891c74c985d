#pragma once
// Deep copies of component trees. The duplicator copies a component and everything it owns, field
// by field through the field tables (rtl/fields.h), and re-links the copies among themselves: a
// reference from one copied object to another points, in the copy, at the other copy, and so
// does an event handler bound to a copied object. References that cannot be resolved yet wait in
// the late-resolve list, indexed by their source, until that source is copied.
//
// IDuplicatable is declared here, below the scene controls that implement it, so the duplicator
// reaches no higher subsystem; the scene control unit includes this header.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/fields.h"
#include "rtl/generics.h"
#include "rtl/method.h"
#include "rtl/set.h"
#include "ui/fmx_object.h"

namespace vantrel {

class TVantrelDuplicator;

inline constexpr const char* SDuplicateParentNotResolved =
    "<WARNING> failed to resolve parent object - duplicated object not found for %s.%s";
inline constexpr const char* SDuplicateClassIgnored =
    "<WARNING> [RawDuplicate] Class ignored for duplication %s";
inline constexpr const char* SDuplicateAlreadyDone =
    "<WARNING> [RawDuplicate] Component already duplicated %s.%s";
inline constexpr const char* SDuplicateDynArrayIgnored = "<NOTICE> DynArray field ignored %s.%s";
inline constexpr const char* SDuplicateChildAlreadyDone =
    "<WARNING> [DuplicateChildren] Child component already duplicated %s.%s";

// A copy finishes its own state after the duplicator copied its fields and owned components.
class IDuplicatable {
public:
  virtual void DoDuplicate(TObject* ASource, TVantrelDuplicator* ADuplicator) = 0;

protected:
  ~IDuplicatable() = default;
};

enum class TDuplicationFlag : uint8_t { dfAsReference, dfIgnoreMaterials };
RTL_ENUM_TYPEINFO(TDuplicationFlag, "dfAsReference", "dfIgnoreMaterials")
using TDuplicationFlags = TSet<TDuplicationFlag>;

// A field of Ref that must refer to Source's copy once there is one.
struct TVantrelLateResolveEntry {
  TObject* Source = nullptr;
  const TCopyField* Field = nullptr;
  TObject* Ref = nullptr;
};

using TOnVantrelDuplicate = TMethodEvent<TComponent*, TComponent*, TVantrelDuplicator*>;

class TVantrelDuplicator : public TObject {
  RTL_CLASS(TVantrelDuplicator, TObject)
public:
  TVantrelDuplicator();

  // Components of these classes or their descendants are mapped to themselves, not copied.
  std::vector<const TClass*>& IgnoreClasses() { return FIgnoreClasses; }
  // Source object to copy, in the order of copying.
  const TDictionary<TObject*, TObject*>& ObjectMap() const { return FObjectMap; }
  // Copy to the source's parent, for parents set at the end of Duplicate.
  const TDictionary<TFmxObject*, TFmxObject*>& ResolveParent() const { return FResolveParent; }
  // The entries still waiting, in the order they were added.
  std::vector<TVantrelLateResolveEntry> LateResolve() const;
  // At creation: a copy that implements IDuplicatable runs its DoDuplicate.
  TOnVantrelDuplicate OnDuplicate;

  bool ClassIgnored(const TClass& AClass) const;
  // Maps ASource to AClone (a source mapped twice raises the dictionary's duplicate-key error),
  // then resolves the entries waiting for ASource.
  void AddObjectMap(TObject* ASource, TObject* AClone);
  void AddLateResolve(TObject* ASource, const TCopyField* AField, TObject* AClone);
  // Resolves every waiting entry whose source has a copy, in order.
  void RunLateResolve();
  // The copy of AObj owned by AOwner, with everything it owns; a second call for the same object
  // returns the first copy.
  TComponent* Duplicate(TComponent* AObj, TComponent* AOwner, TDuplicationFlags AFlags);

private:
  struct TPendingEntry {
    TVantrelLateResolveEntry Entry;
    bool Done = false;
  };

  std::vector<const TClass*> FIgnoreClasses;
  TDictionary<TObject*, TObject*> FObjectMap;
  TDictionary<TFmxObject*, TFmxObject*> FResolveParent;
  std::vector<TPendingEntry> FLateResolve;
  // Indexes of waiting entries by source, so mapping a source touches only its own entries.
  std::unordered_map<TObject*, std::vector<size_t>> FPendingBySource;
  // The field lists of the classes met so far.
  std::unordered_map<const TClass*, std::vector<const TCopyField*>> FFieldLists;

  const std::vector<const TCopyField*>& FieldsOf(const TClass& AClass);

  void DuplicateNotify(TComponent* ASource, TComponent* AClone, TVantrelDuplicator* ADuplicator);
  TComponent* RawDuplicate(TComponent* ASource, TComponent* AOwner);
  void CopyFields(const TObject* ASource, TObject* AClone);
  void CopyObjectField(const TCopyField& AField, const TObject* ASource, TObject* AClone);
  void CopyEventField(const TCopyField& AField, const TObject* ASource, TObject* AClone);
  void DuplicateChildren(TComponent* ASource, TComponent* AClone);
  // The object AClone's constructor made in the field that holds AChild in ASource, or nullptr.
  TObject* OwnCounterpart(const TComponent* ASource, const TComponent* AClone, const TComponent* AChild);
  void Resolve(TPendingEntry& APending, TObject* ACopy);
  void ResolveParents();
};

} // namespace vantrel
