#include "materials/Vantrel.Material.Layered.h"

#include <atomic>

#include "rtl/sysutils.h"
#include "ui/shaders.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelLayeredMaterialItem, "Vantrel.Material.Layered")
RTL_DEFINE_CLASS(TVantrelLayeredMaterialCollection, "Vantrel.Material.Layered")
RTL_DEFINE_CLASS(TVantrelLayeredMaterial, "Vantrel.Material.Layered")
RTL_DEFINE_CLASS(TVantrelLayeredMaterialSource, "Vantrel.Material.Layered")

namespace {

// The shader names carry a process-wide serial rather than an address, so a freed material's
// names never alias a live one's.
std::atomic<int64_t> LayeredSerial{0};

constexpr const char* SLayeredVertex =
    "#version 430\r\n\r\n\r\n"
    "uniform vec4 _MVPMatrix[4];\r\n"
    "in vec3 a_Position;\r\n"
    "out vec4 v_WorldProjViewVertPos;\r\n"
    "void main(){\r\n"
    "  vec4 v = vec4(a_Position, 1.0);\r\n"
    "  vec4 r = vec4(dot(_MVPMatrix[0], v), dot(_MVPMatrix[1], v), dot(_MVPMatrix[2], v), dot(_MVPMatrix[3], v));\r\n"
    "  v_WorldProjViewVertPos = r;\r\n"
    "  gl_Position = r;\r\n"
    "}\r\n";

constexpr const char* SLayeredPixel =
    "#version 430\r\n\r\n\r\n"
    "in vec4 v_WorldProjViewVertPos;\r\n"
    "layout(location = 0) out vec4 o_Albedo;\r\n"
    "layout(location = 1) out float o_Alpha;\r\n"
    "layout(location = 2) out vec4 o_Position;\r\n"
    "layout(location = 3) out vec3 o_Normals;\r\n"
    "layout(location = 4) out vec3 o_Emissive;\r\n"
    "void main(){\r\n"
    "  o_Albedo = vec4(0.0, 0.0, 0.0, 0.0);\r\n"
    "  o_Alpha = 0.0;\r\n"
    "  o_Position = vec4(v_WorldProjViewVertPos.xyz, gl_FragCoord.z);\r\n"
    "  o_Normals = vec3(0.0, 0.0, 0.0);\r\n"
    "  o_Emissive = vec3(0.0, 0.0, 0.0);\r\n"
    "}\r\n";

TContextShaderSource GLSLSource(const char* ACode, std::vector<TContextShaderVariable> AVariables) {
  const std::string code(ACode);
  return {TContextShaderArch::GLSL, std::vector<uint8_t>(code.begin(), code.end()), std::move(AVariables)};
}

} // namespace

// ---- items ------------------------------------------------------------------------------------------

TVantrelLayeredMaterialSource* TVantrelLayeredMaterialItem::LayeredSource() const {
  return Collection() ? dynamic_cast<TVantrelLayeredMaterialSource*>(Collection()->GetOwner()) : nullptr;
}

void TVantrelLayeredMaterialItem::SetMaterial(TMaterialSource* AValue) {
  if (AValue == FMaterial)
    return;
  TMaterialSource* old = FMaterial;
  FMaterial = AValue;
  if (TVantrelLayeredMaterialSource* source = LayeredSource())
    source->LayerMaterialChanged(old, AValue);
}

void TVantrelLayeredMaterialItem::BeforeDestruction() {
  SetMaterial(nullptr);
  inherited::BeforeDestruction();
}

void TVantrelLayeredMaterialItem::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation == TOperation::opRemove && AComponent == FMaterial)
    FMaterial = nullptr;
}

void TVantrelLayeredMaterialItem::AssignTo(TPersistent* ADest) const {
  auto* item = dynamic_cast<TVantrelLayeredMaterialItem*>(ADest);
  if (!item) {
    inherited::AssignTo(ADest);
    return;
  }
  item->SetDisplayName(FName);
  item->SetMaterial(FMaterial);
}

TVantrelLayeredMaterialCollection::TVantrelLayeredMaterialCollection(TPersistent* AOwner)
    : TOwnedCollection(AOwner, TVantrelLayeredMaterialItem::StaticClass()) {}

void TVantrelLayeredMaterialCollection::Notification(TComponent* AComponent, TOperation AOperation) {
  for (int i = 0; i < Count(); ++i)
    Item(i)->Notification(AComponent, AOperation);
}

// ---- the material ---------------------------------------------------------------------------------

const char* TVantrelLayeredMaterial::VertexText() {
  return SLayeredVertex;
}

const char* TVantrelLayeredMaterial::PixelText() {
  return SLayeredPixel;
}

void TVantrelLayeredMaterial::DoInitialize() {
  const std::string serial = Format("%d", {LayeredSerial.fetch_add(1) + 1});
  FVertexShader = TShaderManager::RegisterShaderFromData(
      "Layered-" + serial + ".fvs", TContextShaderKind::VertexShader, "",
      {GLSLSource(SLayeredVertex, {{"MVPMatrix", TContextShaderVariableKind::Matrix, 0, 4}})});
  FPixelShader = TShaderManager::RegisterShaderFromData("Layered-" + serial + ".fps", TContextShaderKind::PixelShader,
                                                        "", {GLSLSource(SLayeredPixel, {})});
}

void TVantrelLayeredMaterial::BeforeDestruction() {
  if (FVertexShader && FPixelShader)
    TVantrelContext::RemoveProgram(FVertexShader, FPixelShader);
  for (TContextShader** shader : {&FVertexShader, &FPixelShader}) {
    TShaderManager::UnregisterShader(*shader);
    *shader = nullptr;
  }
  inherited::BeforeDestruction();
}

int32_t TVantrelLayeredMaterial::GetMaterialsCount() const {
  return FSource ? FSource->GetMaterials()->Count() : 0;
}

TVantrelLayeredMaterialItem* TVantrelLayeredMaterial::GetMaterialItem(TContext3D*, int32_t AIndex) const {
  if (!FSource || AIndex >= GetMaterialsCount())
    return nullptr;
  // A negative index reaches the collection, which raises its index error.
  return FSource->GetMaterials()->Item(AIndex);
}

TMaterialSource* TVantrelLayeredMaterial::GetLayerMaterial(TContext3D* AContext, int32_t AIndex) const {
  const TVantrelLayeredMaterialItem* item = GetMaterialItem(AContext, AIndex);
  return item ? item->GetMaterial() : nullptr;
}

void TVantrelLayeredMaterial::DoApply(TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (!context)
    throw EInvalidCast(rtl::messages::InvalidCast);
  inherited::DoApply(AContext);
  context->SetCurrentLayeredMaterial(this);
}

void TVantrelLayeredMaterial::DoReset(TContext3D* AContext) {
  auto* context = dynamic_cast<TVantrelContext*>(AContext);
  if (context && context->GetCurrentLayeredMaterial() == static_cast<ILayeredPassMaterial*>(this))
    context->SetCurrentLayeredMaterial(nullptr);
}

// ---- the source -----------------------------------------------------------------------------------

TVantrelLayeredMaterialSource::TVantrelLayeredMaterialSource(TComponent* AOwner)
    : TMaterialSource(AOwner), FMaterials(MakeOwned<TVantrelLayeredMaterialCollection>(this)) {}

TVantrelLayeredMaterialSource::~TVantrelLayeredMaterialSource() {
  FDestroying = true;
  FMaterials.reset();
}

TOwned<TMaterial> TVantrelLayeredMaterialSource::CreateMaterial() {
  return TVantrelLayeredMaterial::Create(this);
}

void TVantrelLayeredMaterialSource::SetMaterials(const TVantrelLayeredMaterialCollection* AValue) {
  FMaterials->Assign(AValue);
}

TVantrelLayeredMaterialItem* TVantrelLayeredMaterialSource::AddLayer(const std::string& AName,
                                                                    TMaterialSource* AMaterial) {
  auto* item = static_cast<TVantrelLayeredMaterialItem*>(FMaterials->Add());
  item->SetDisplayName(AName);
  item->SetMaterial(AMaterial);
  return item;
}

bool TVantrelLayeredMaterialSource::AnyLayerHolds(const TMaterialSource* AMaterial) const {
  for (int i = 0; i < FMaterials->Count(); ++i)
    if (FMaterials->Item(i)->GetMaterial() == AMaterial)
      return true;
  return false;
}

void TVantrelLayeredMaterialSource::LayerMaterialChanged(TMaterialSource* AOld, TMaterialSource* ANew) {
  if (ANew && ANew != this)
    ANew->FreeNotification(this);
  // The items' lists may be half torn down while the source is destroyed; its own destruction
  // drops every registration anyway.
  if (AOld && AOld != this && !FDestroying && !AnyLayerHolds(AOld))
    AOld->RemoveFreeNotification(this);
}

void TVantrelLayeredMaterialSource::Notification(TComponent* AComponent, TOperation AOperation) {
  inherited::Notification(AComponent, AOperation);
  if (FMaterials)
    FMaterials->Notification(AComponent, AOperation);
}

} // namespace vantrel
