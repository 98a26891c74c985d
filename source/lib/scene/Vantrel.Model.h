#pragma once
// The model control: a mesh that loads a whole model definition, with its cameras, lights, child
// meshes, armatures and animations, and plays the animations through its animation manager.
// This is the animation core of the control; sources, packages and embedded data are added to
// the same class separately.
//
// The interpolator dictionary refers to key animations owned elsewhere; a freed one leaves it.

#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/generics.h"
#include "scene/Vantrel.Mesh.h"

namespace vantrel {

class TModelDef;
class TAnimationDef;
class TPropertyKeyAnimation;
class TVantrelAnimation;
class TVantrelAnimationManager;
class TVantrelArmature;

inline constexpr const char* SInterpolatorExists = "interpolator %s already exists in %s";

class TVantrelModel : public TVantrelMesh {
  RTL_CLASS(TVantrelModel, TVantrelMesh)
public:
  using TInterpolators = TDictionary<std::string, TPropertyKeyAnimation*>;

  explicit TVantrelModel(TComponent* AOwner);
  ~TVantrelModel() override;
  static void RegisterProperties(TPropertyList& AList);

  TVantrelAnimationManager* AnimationManager() const { return FAnimationManager; }
  const TInterpolators* Interpolators() const { return FInterpolators.get(); }
  void CreateOrClearInterpolators();
  void CreateOrClearAnimationManager();
  void FreeAnimationManager();
  void FreeInterpolators();

  // Raises when the name is taken.
  void AddInterpolator(const std::string& AName, TPropertyKeyAnimation* AInterpolator);
  TPropertyKeyAnimation* FindInterpolator(const std::string& AName) const;
  // The first interpolator, in dictionary order, whose Def is ADef.
  TPropertyKeyAnimation* FindInterpolatorByDef(const TCustomDef* ADef) const;
  // Interpolators first, then the control search.
  TComponent* FindControlByDeepSearch(const std::string& AName) const override;
  TComponent* FindControlByDefDeepSearch(const TCustomDef* ADef) override;
  void FindControlsByDeepSearch(const std::string& AName, TSearchResult* AResult) const override;

  // Moves the owned components of the segment control "<AId>_Seg" into AObj and frees the segment.
  void ResolvingSegment(const std::string& AId, TVantrelTransform* AObj);
  TVantrelArmature* GetFirstArmature() const;
  // The first armature's setting (False / 0 without one); writing sets every armature.
  bool ShowJoints() const;
  void SetShowJoints(bool AValue);
  TAlphaColor JointsColor() const;
  void SetJointsColor(TAlphaColor AValue);
  // The owned components (ACompHierarchy) or the children tree, one debug line per node.
  void DebugOut(bool ACompHierarchy);

  // An animation bound to the manager, parented here, added under the definition's Id and loaded;
  // nil without definition or manager.
  TVantrelAnimation* AddAnimationFromDef(TAnimationDef* ADef);

  // The whole model from ADef (see LoadFromModelDef); a definition that is no TModelDef raises.
  void LoadFromDefinition(TCustomDef* ADef) override;
  virtual void LoadFromModelDef(TModelDef* ADef);
  void ApplyDefinitionProperties(TTransformDef* ADef) override;
  void StoreToDefinition(TCustomDef* ADef) override;
  // A model definition of no package that is not standalone is the model's.
  bool OwnsDefinition() const override;

protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override;
  void BeforeDestruction() override;

private:
  std::unique_ptr<TInterpolators> FInterpolators;
  TVantrelAnimationManager* FAnimationManager = nullptr;

  void DebugOutComponents(const TComponent* AComponent, const std::string& AIndent);
  void DebugOutChildren(TFmxObject* AObject, const std::string& AIndent);
  void ForgetDefinitions(TFmxObject* AObject);
};

void InitializeModel();
void FinalizeModel();

} // namespace vantrel
