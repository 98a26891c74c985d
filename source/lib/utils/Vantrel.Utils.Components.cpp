#include "utils/Vantrel.Utils.Components.h"

namespace vantrel {

TFmxObject* FindComponentUpwards(const TFmxObject* AObject, const TClass& AClass) {
  if (!AObject)
    return nullptr;
  TFmxObject* object = AObject->Parent() ? AObject->Parent() : dynamic_cast<TFmxObject*>(AObject->Owner());
  for (; object; object = object->Parent())
    if (object->InheritsFrom(AClass))
      return object;
  return nullptr;
}

TFmxObject* FindComponentUpwards(const TFmxObject* AObject, std::string_view AQualifiedName) {
  const TClass* cls = GetClass(AQualifiedName);
  return cls ? FindComponentUpwards(AObject, *cls) : nullptr;
}

TFmxObject* FindTopOwner(const TFmxObject* AObject) {
  if (!AObject || !AObject->Parent())
    return nullptr;
  TFmxObject* object = AObject->Parent();
  while (object->Parent())
    object = object->Parent();
  return object;
}

bool InheritsFromClassNamed(const TObject* AObject, std::string_view AQualifiedName) {
  if (!AObject)
    return false;
  for (const TClass* cls = &AObject->ClassType(); cls; cls = cls->Parent())
    if (cls->QualifiedName() == AQualifiedName)
      return true;
  return false;
}

TComponent* FindComponentDeepSearchByFilter(TComponent* AComponent, const TComponentSearchFunc& ACallback) {
  if (!AComponent || !ACallback)
    return nullptr;
  if (ACallback(AComponent))
    return AComponent;
  for (int i = 0; i < AComponent->ComponentCount(); ++i)
    if (TComponent* found = FindComponentDeepSearchByFilter(AComponent->Components(i), ACallback))
      return found;
  return nullptr;
}

TComponent* FindComponentDeepSearch(TComponent* AComponent, std::string_view AName) {
  return FindComponentDeepSearchByFilter(AComponent,
                                         [&](TComponent* AItem) { return AItem->Name() == AName; });
}

TComponent* FindComponentDeepSearchByClass(TComponent* AComponent, const TClass& AClass) {
  return FindComponentDeepSearchByFilter(AComponent,
                                         [&](TComponent* AItem) { return AItem->InheritsFrom(AClass); });
}

void FindAllComponentsByClass(TComponent* AComponent, const TClass& AClass,
                              std::vector<TComponent*>& AReturn) {
  if (!AComponent)
    return;
  if (AComponent->InheritsFrom(AClass))
    AReturn.push_back(AComponent);
  for (int i = 0; i < AComponent->ComponentCount(); ++i)
    FindAllComponentsByClass(AComponent->Components(i), AClass, AReturn);
}

} // namespace vantrel
