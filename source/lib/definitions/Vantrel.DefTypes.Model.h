#pragma once
// Included at the end of Vantrel.DefTypes.h: the model definition, the root of a model's tree.
// This holds its light and camera lists and the id lookup over them; the model's other parts come
// with their own units.
//
// Ownership: a light or camera held by a node's "Children" list is owned there; the model's list
// holds every registered light and camera but owns only those no "Children" list holds. A light
// or camera being freed leaves the model's list.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class TModelDef : public TMeshDef {
  VANTREL_DEF_CLASS(TModelDef, TMeshDef)
public:
  explicit TModelDef(TCustomDef* AOwner = nullptr) : TMeshDef(AOwner) {}
  ~TModelDef() override;

  // The lists, or nullptr before the first light or camera.
  const std::vector<TLightDef*>* GetLights() const { return FLights.get(); }
  const std::vector<TCameraDef*>* GetCameras() const { return FCameras.get(); }
  // Appends the definition (once) and marks it listed here; returns its index.
  int AddLight(TLightDef* ALight);
  int AddCamera(TCameraDef* ACamera);
  // Takes the definition out of the list without freeing it.
  void RemoveLight(TLightDef* ALight);
  void RemoveCamera(TCameraDef* ACamera);
  // The definition at AIndex, or nullptr out of range.
  TLightDef* GetLight(int AIndex) const;
  TCameraDef* GetCamera(int AIndex) const;
  // The first definition whose Id equals AId exactly, or nullptr.
  TLightDef* FindLightById(std::string_view AId) const;
  TCameraDef* FindCameraById(std::string_view AId) const;
  // The model itself, a node of the tree, a light or a camera with that Id, in that order.
  virtual TCustomDef* FindDefById(std::string_view AId) const;

private:
  std::unique_ptr<std::vector<TLightDef*>> FLights;
  std::unique_ptr<std::vector<TCameraDef*>> FCameras;

  void FreeUnheldListed();
};

// Registers the node and model classes, their child type rows and the model's seams. Counted.
void InitializeDefTypesNodes();
void FinalizeDefTypesNodes();

} // namespace vantrel
