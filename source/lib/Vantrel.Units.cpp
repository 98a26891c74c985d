#include "Vantrel.Units.h"

#include <iterator>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "definitions/Vantrel.AssetsManager.h"
#include "definitions/Vantrel.DefTypes.h"
#include "definitions/Vantrel.Exporter.h"
#include "definitions/Vantrel.Loader.h"
#include "definitions/Vantrel.V3D.Exporter.h"
#include "definitions/Vantrel.V3D.Loader.h"
#include "formats/Vantrel.Imaging.h"
#include "materials/Vantrel.Material.Behaviour.h"
#include "materials/Vantrel.Material.Blinn.h"
#include "materials/Vantrel.Material.BumpMap.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Lambert.h"
#include "materials/Vantrel.Material.NormalMap.h"
#include "materials/Vantrel.Material.PBR.h"
#include "materials/Vantrel.Material.POM.h"
#include "materials/Vantrel.Material.Phong.h"
#include "materials/Vantrel.Material.VertexColor.h"
#include "rendering/Vantrel.Controller.Passes.CustomBlur.h"
#include "rendering/Vantrel.Controller.Passes.CustomDepth.h"
#include "rendering/Vantrel.Controller.Passes.Deferred.Composite.h"
#include "rendering/Vantrel.Controller.Passes.EmissiveBlur.h"
#include "rendering/Vantrel.Controller.Passes.Environment.h"
#include "rendering/Vantrel.Controller.Passes.FXAA.h"
#include "rendering/Vantrel.Controller.Passes.GlobalIllumBlur.h"
#include "rendering/Vantrel.Controller.Passes.GlobalIllumination.h"
#include "rendering/Vantrel.Controller.Passes.PostFX.h"
#include "rendering/Vantrel.Controller.Passes.Reflection.h"
#include "rendering/Vantrel.Controller.Passes.Refraction.h"
#include "rendering/Vantrel.Controller.Passes.SMStoreDepth.h"
#include "rendering/Vantrel.Controller.Passes.VSMBlur.h"
#include "rendering/Vantrel.Controller.Passes.VSMStoreDepth.h"
#include "rendering/Vantrel.Controller.Passes.Voxelize.h"
#include "rendering/Vantrel.Controller.h"
#include "rendering/Vantrel.Filter.Custom.h"
#include "rendering/Vantrel.Viewport.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Camera.h"
#include "scene/Vantrel.Control.h"
#include "scene/Vantrel.Cube.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Light.h"
#include "scene/Vantrel.Mesh.h"
#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Segment.h"
#include "scene/Vantrel.SkyBox.h"
#include "scene/Vantrel.Transform.h"
#include "utils/Vantrel.Utils.Dialogs.h"
#include "utils/Vantrel.Utils.Dialogue.System.h"
#include "utils/Vantrel.Utils.Inventory.h"
#include "utils/Vantrel.Utils.SkillSystem.h"

namespace vantrel {

namespace {

int UnitsInitCount = 0;

// One row per unit, in unit order. A unit's Initialize… and Finalize… are themselves counted, so
// a test that starts one unit alone and then the whole spine does no work twice.
struct TUnitEntry {
  void (*Initialize)();
  void (*Finalize)();
};

constexpr TUnitEntry Units[] = {
    {InitializeContextWindows, nullptr},
    {InitializeDefTypes, FinalizeDefTypes},
    {InitializeDefTypesNodes, FinalizeDefTypesNodes},
    {InitializeLoader, FinalizeLoader},
    {InitializeExporter, FinalizeExporter},
    {InitializeV3DLoader, FinalizeV3DLoader},
    {InitializeV3DExporter, FinalizeV3DExporter},
    {InitializeAssetsManager, FinalizeAssetsManager},
    {InitializeControl, FinalizeControl},
    {InitializeTransform, FinalizeTransform},
    {InitializeGroup, FinalizeGroup},
    {InitializeSegment, FinalizeSegment},
    {InitializeCamera, FinalizeCamera},
    {InitializeMesh, FinalizeMesh},
    {InitializeCube, FinalizeCube},
    {InitializeAnimation, FinalizeAnimation},
    {InitializeJoint, FinalizeJoint},
    {InitializeArmature, FinalizeArmature},
    {InitializeModel, FinalizeModel},
    {InitializeImaging, nullptr},
    {InitializeMaterialBehaviour, FinalizeMaterialBehaviour},
    {InitializeMaterialDefault, FinalizeMaterialDefault},
    {InitializeMaterialVertexColor, FinalizeMaterialVertexColor},
    {InitializeMaterialLambert, FinalizeMaterialLambert},
    {InitializeMaterialPhong, FinalizeMaterialPhong},
    {InitializeMaterialBlinn, FinalizeMaterialBlinn},
    {InitializeMaterialNormalMap, FinalizeMaterialNormalMap},
    {InitializeMaterialBumpMap, FinalizeMaterialBumpMap},
    {InitializeMaterialPOM, FinalizeMaterialPOM},
    {InitializeMaterialPBR, FinalizeMaterialPBR},
    {InitializeController, FinalizeController},
    {InitializeViewport, FinalizeViewport},
    {InitializeFilterCustom, FinalizeFilterCustom},
    {InitializeDeferredCompositePass, FinalizeDeferredCompositePass},
    {InitializeFXAAPass, FinalizeFXAAPass},
    {InitializePostFX, FinalizePostFX},
    {InitializeCustomBlurPass, FinalizeCustomBlurPass},
    {InitializeEmissiveBlurPass, FinalizeEmissiveBlurPass},
    {InitializeCustomDepthPass, FinalizeCustomDepthPass},
    {InitializeSMStoreDepthPass, FinalizeSMStoreDepthPass},
    {InitializeVSMStoreDepthPass, FinalizeVSMStoreDepthPass},
    {InitializeVSMBlurPass, FinalizeVSMBlurPass},
    {InitializeReflectionPass, FinalizeReflectionPass},
    {InitializeRefractionPass, FinalizeRefractionPass},
    {InitializeEnvironmentPass, FinalizeEnvironmentPass},
    {InitializeVoxelizePass, FinalizeVoxelizePass},
    {InitializeGlobalIllumPass, FinalizeGlobalIllumPass},
    {InitializeGlobalIllumBlurPass, FinalizeGlobalIllumBlurPass},
    {InitializeLight, FinalizeLight},
    {InitializeSkyBox, FinalizeSkyBox},
    {InitializeDialogueSystem, FinalizeDialogueSystem},
    {InitializeSkillSystem, FinalizeSkillSystem},
    {InitializeInventory, FinalizeInventory},
    {InitializeDialogs, FinalizeDialogs},
};

} // namespace

void InitializeUnits() {
  if (UnitsInitCount++ > 0)
    return;
  for (const TUnitEntry& unit : Units)
    if (unit.Initialize)
      unit.Initialize();
}

void FinalizeUnits() {
  if (UnitsInitCount == 0 || --UnitsInitCount > 0)
    return;
  for (auto it = std::rbegin(Units); it != std::rend(Units); ++it)
    if (it->Finalize)
      it->Finalize();
}

} // namespace vantrel
