#pragma once
// Searches over the trees of UI objects and components: upwards through the parent chain, and
// depth first through what a component owns. They know no framework class, so every subsystem
// can use them; the scene control unit includes this header for its callers.

#include <functional>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/object.h"
#include "ui/fmx_object.h"

namespace vantrel {

// A filter of the component searches: True for the component searched for.
using TComponentSearchFunc = std::function<bool(TComponent* AComponent)>;

// Searches upwards from the parent (or, without one, a UI owner) for an object of AClass or a
// descendant; nullptr when the chain ends.
TFmxObject* FindComponentUpwards(const TFmxObject* AObject, const TClass& AClass);
// The same by unit-qualified class name; nullptr for an unknown name.
TFmxObject* FindComponentUpwards(const TFmxObject* AObject, std::string_view AQualifiedName);
// The last object of the parent chain; nullptr without a parent.
TFmxObject* FindTopOwner(const TFmxObject* AObject);

// True when AObject's class or one of its ancestors bears the unit-qualified name AQualifiedName
// (compared exactly). It reads the class chain itself, so the class need not be registered: a
// lower subsystem tells a higher one's objects apart without including it.
bool InheritsFromClassNamed(const TObject* AObject, std::string_view AQualifiedName);

// Pre-order walks over AComponent and everything it owns.
TComponent* FindComponentDeepSearch(TComponent* AComponent, std::string_view AName);
TComponent* FindComponentDeepSearchByClass(TComponent* AComponent, const TClass& AClass);
TComponent* FindComponentDeepSearchByFilter(TComponent* AComponent, const TComponentSearchFunc& ACallback);
// Appends (never clears).
void FindAllComponentsByClass(TComponent* AComponent, const TClass& AClass,
                              std::vector<TComponent*>& AReturn);

} // namespace vantrel
