#include "materials/Vantrel.Material.Types.h"

#include "rtl/sysutils.h"
#include "ui/texture_bitmap.h"

namespace vantrel {

RTL_DEFINE_CLASS(TVantrelTexturePoolEntry, "Vantrel.Material.Types",
                 &TVantrelTexturePoolEntry::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelTexturePool, "Vantrel.Material.Types")
RTL_DEFINE_CLASS(TVantrelBitmapPoolEntry, "Vantrel.Material.Types",
                 &TVantrelBitmapPoolEntry::RegisterProperties)
RTL_DEFINE_CLASS(TVantrelBitmapPool, "Vantrel.Material.Types", &TVantrelBitmapPool::RegisterProperties)

namespace {

// The bitmap takes R wrapping only for kinds with a third axis; the single-value wrapping setter
// also counts array layers as one.
bool HasRAxis(TVantrelTextureKind AKind, bool AWithArrays) {
  return AKind == TVantrelTextureKind::Texture3D || AKind == TVantrelTextureKind::ImageTexture3D ||
         (AWithArrays && AKind == TVantrelTextureKind::Array2D);
}

// Brackets a setup batch of a texture bitmap, closing it also when a setter raises. While it is
// open the entry does not relay the bitmap's own change events: the entry pushing its settings
// sends one notification itself, or none for the bulk setters.
class TBitmapSetup {
public:
  TBitmapSetup(TVantrelTextureBitmap& ABitmap, int& ASilence) : FBitmap(ABitmap), FSilence(ASilence) {
    ++FSilence;
    FBitmap.BeginSetup();
  }
  ~TBitmapSetup() {
    FBitmap.EndSetup();
    --FSilence;
  }
  TBitmapSetup(const TBitmapSetup&) = delete;
  TBitmapSetup& operator=(const TBitmapSetup&) = delete;

private:
  TVantrelTextureBitmap& FBitmap;
  int& FSilence;
};

} // namespace

// ---- TVantrelTexturePoolEntry ----

void TVantrelTexturePoolEntry::RegisterProperties(TPropertyList& AList) {
  AList.Add("Tiling", &TVantrelTexturePoolEntry::GetTiling, &TVantrelTexturePoolEntry::SetTiling);
  AList.Add("Texture", &TVantrelTexturePoolEntry::GetTexture, &TVantrelTexturePoolEntry::SetTexture)
      .AsReference();
  AList.Add("IsDynamic", &TVantrelTexturePoolEntry::GetIsDynamic, &TVantrelTexturePoolEntry::SetIsDynamic)
      .WithDefault(false);
  AList
      .Add("IgnoreInArray", &TVantrelTexturePoolEntry::GetIgnoreInArray,
           &TVantrelTexturePoolEntry::SetIgnoreInArray)
      .WithDefault(false);
  AList.Add("ShaderKind", &TVantrelTexturePoolEntry::GetShaderKind, &TVantrelTexturePoolEntry::SetShaderKind)
      .WithDefault(TContextShaderKind::PixelShader);
}

void TVantrelTexturePoolEntry::SetDisplayName(const std::string& AValue) {
  FSettings.Name = AValue;
  inherited::SetDisplayName(AValue);
}

TAlphaColor TVantrelTexturePoolEntry::GetBorderColor() const {
  return FSettings.BorderColor.ToAlphaColor();
}

void TVantrelTexturePoolEntry::SetBorderColor(TAlphaColor AValue) {
  FSettings.BorderColor = TAlphaColorF::Create(AValue);
}

void TVantrelTexturePoolEntry::SetPixelFormat(TVantrelTextureKind ATextureKind, TPixelFormatEx AComps,
                                              TPixelFormatEx AFormat, TVantrelTextureDataType ADataType) {
  FSettings.TextureKind = ATextureKind;
  FSettings.InternalFormat = AComps;
  FSettings.Format = AFormat;
  FSettings.DataType = ADataType;
}

void TVantrelTexturePoolEntry::AssignTo(TPersistent* ADest) const {
  auto* dest = dynamic_cast<TVantrelTexturePoolEntry*>(ADest);
  if (!dest) {
    inherited::AssignTo(ADest);
    return;
  }
  dest->FSettings = FSettings;
  dest->FTexture = FTexture;
}

// ---- TVantrelTexturePool ----

TVantrelTexturePool::TVantrelTexturePool(TPersistent* AOwner)
    : TOwnedCollection(AOwner, TVantrelTexturePoolEntry::StaticClass()) {}

TVantrelTexturePoolEntry* TVantrelTexturePool::GetItem(int AIndex) const {
  return static_cast<TVantrelTexturePoolEntry*>(Items(AIndex));
}

int TVantrelTexturePool::IndexOfTexture(const TTexture* ATexture) const {
  for (int i = 0; i < Count(); ++i)
    if (GetItem(i)->GetTexture() == ATexture)
      return i;
  return -1;
}

TVantrelTexturePoolEntry* TVantrelTexturePool::FindEntryByName(std::string_view AName) const {
  for (int i = 0; i < Count(); ++i)
    if (GetItem(i)->GetSettings().Name == AName)
      return GetItem(i);
  return nullptr;
}

void TVantrelTexturePool::RebuildFrom(const TVantrelBitmapPool& ABitmapPool) {
  Clear();
  for (int i = 0; i < ABitmapPool.Count(); ++i) {
    TVantrelBitmapPoolEntry* source = ABitmapPool.GetItem(i);
    source->GetBitmap()->UnsetTextureReference();
    Add()->Assign(source);
  }
}

// ---- TVantrelBitmapPoolEntry ----

TVantrelBitmapPoolEntry::TVantrelBitmapPoolEntry() {
  FSettings.InternalFormat = TPixelFormatEx::RGBA8;
  FSettings.Format = TPixelFormatEx::BGRA;
  FSettings.DataType = TVantrelTextureDataType::dtUnsignedByte;
  FBitmap.reset(TVantrelTextureBitmap::Create());
  {
    TBitmapSetup setup(*FBitmap, FSilence);
    FBitmap->SetKind(FSettings.TextureKind);
    FBitmap->SetComponents(FSettings.InternalFormat);
    FBitmap->SetFormat(FSettings.Format);
    FBitmap->SetDataType(FSettings.DataType);
  }
  FBitmap->SetOnChange([this](TObject* ASender) { BitmapChanged(ASender); });
}

TVantrelBitmapPoolEntry::~TVantrelBitmapPoolEntry() {
  FBitmap->SetOnChange(nullptr);
}

void TVantrelBitmapPoolEntry::AfterConstruction() {
  inherited::AfterConstruction();
  DoOnChange();
}

void TVantrelBitmapPoolEntry::RegisterProperties(TPropertyList& AList) {
  using T = TVantrelBitmapPoolEntry;
  AList.Add("Name", &T::GetName, &T::SetName);
  AList.Add("TilingX", &T::GetTilingX, &T::SetTilingX).WithDefault(1.0f);
  AList.Add("TilingY", &T::GetTilingY, &T::SetTilingY).WithDefault(1.0f);
  AList.Add("IsDynamic", &T::GetIsDynamic, &T::SetIsDynamic).WithDefault(false);
  AList.Add("IgnoreInArray", &T::GetIgnoreInArray, &T::SetIgnoreInArray).WithDefault(false);
  AList.Add("ShaderKind", &T::GetShaderKind, &T::SetShaderKind).WithDefault(TContextShaderKind::PixelShader);
  AList.Add("TextureKind", &T::GetTextureKind, &T::SetTextureKind)
      .WithDefault(TVantrelTextureKind::Texture2D);
  AList.Add("Format", &T::GetFormat, &T::SetFormat).WithDefault(TPixelFormatEx::BGRA);
  AList.Add("InternalFormat", &T::GetInternalFormat, &T::SetInternalFormat)
      .WithDefault(TPixelFormatEx::RGBA8);
  AList.Add("DataType", &T::GetDataType, &T::SetDataType)
      .WithDefault(TVantrelTextureDataType::dtUnsignedByte);
  AList.Add("WrapS", &T::GetWrapS, &T::SetWrapS).WithDefault(TVantrelTextureWrap::Clamp);
  AList.Add("WrapT", &T::GetWrapT, &T::SetWrapT).WithDefault(TVantrelTextureWrap::Clamp);
  AList.Add("WrapR", &T::GetWrapR, &T::SetWrapR).WithDefault(TVantrelTextureWrap::Clamp);
  AList.Add("MinFilter", &T::GetMinFilter, &T::SetMinFilter).WithDefault(TTextureFilter::Linear);
  AList.Add("MagFilter", &T::GetMagFilter, &T::SetMagFilter).WithDefault(TTextureFilter::Linear);
  AList.Add("BorderColor", &T::GetBorderColor, &T::SetBorderColor).WithDefault(TAlphaColor(0));
  AList.Add("ProtectFormatSettings", &T::GetProtectFormatSettings, &T::SetProtectFormatSettings)
      .WithDefault(false);
  AList.Add("Bitmap", &T::GetBitmap, &T::SetBitmap);
}

void TVantrelBitmapPoolEntry::SetDisplayName(const std::string& AValue) {
  FSettings.Name = AValue;
  inherited::SetDisplayName(AValue);
  DoOnChange();
}

void TVantrelBitmapPoolEntry::SetTiling(TPointF AValue) {
  FSettings.Tiling = AValue;
  DoOnChange();
}

void TVantrelBitmapPoolEntry::SetBitmap(TVantrelTextureBitmap* AValue) {
  FBitmap->Assign(AValue);
}

float TVantrelBitmapPoolEntry::GetTilingComponent(int AIndex) const {
  return AIndex == 0 ? FSettings.Tiling.X : FSettings.Tiling.Y;
}

void TVantrelBitmapPoolEntry::SetTilingComponent(int AIndex, float AValue) {
  (AIndex == 0 ? FSettings.Tiling.X : FSettings.Tiling.Y) = AValue;
  DoOnChange();
}

void TVantrelBitmapPoolEntry::SetTextureKind(TVantrelTextureKind AValue) {
  FSettings.TextureKind = AValue;
  ApplyFormatsAndNotify();
}

void TVantrelBitmapPoolEntry::SetFormat(TPixelFormatEx AValue) {
  FSettings.Format = AValue;
  ApplyFormatsAndNotify();
}

void TVantrelBitmapPoolEntry::SetInternalFormat(TPixelFormatEx AValue) {
  FSettings.Format = TPixelFormatExHelper::CompatibleFormat(AValue, FSettings.Format);
  FSettings.InternalFormat = AValue;
  ApplyFormatsAndNotify();
}

void TVantrelBitmapPoolEntry::SetDataType(TVantrelTextureDataType AValue) {
  FSettings.DataType = AValue;
  ApplyFormatsAndNotify();
}

void TVantrelBitmapPoolEntry::ApplyFormatsAndNotify() {
  {
    TBitmapSetup setup(*FBitmap, FSilence);
    FBitmap->SetKind(FSettings.TextureKind);
    FBitmap->SetComponents(FSettings.InternalFormat);
    FBitmap->SetFormat(FSettings.Format);
    FBitmap->SetDataType(FSettings.DataType);
  }
  DoOnChange();
}

template <class T, class TSetter>
void TVantrelBitmapPoolEntry::ApplySetting(T TVantrelPoolEntrySettings::*AField, T AValue, TSetter ASetter) {
  FSettings.*AField = AValue;
  {
    TBitmapSetup setup(*FBitmap, FSilence);
    ASetter(*FBitmap, AValue);
  }
  DoOnChange();
}

void TVantrelBitmapPoolEntry::SetWrapS(TVantrelTextureWrap AValue) {
  ApplySetting(&TVantrelPoolEntrySettings::WrapS, AValue,
               [](TVantrelTextureBitmap& ABitmap, TVantrelTextureWrap AValue) { ABitmap.SetWrapS(AValue); });
}

void TVantrelBitmapPoolEntry::SetWrapT(TVantrelTextureWrap AValue) {
  ApplySetting(&TVantrelPoolEntrySettings::WrapT, AValue,
               [](TVantrelTextureBitmap& ABitmap, TVantrelTextureWrap AValue) { ABitmap.SetWrapT(AValue); });
}

void TVantrelBitmapPoolEntry::SetWrapR(TVantrelTextureWrap AValue) {
  ApplySetting(&TVantrelPoolEntrySettings::WrapR, AValue,
               [](TVantrelTextureBitmap& ABitmap, TVantrelTextureWrap AValue) { ABitmap.SetWrapR(AValue); });
}

void TVantrelBitmapPoolEntry::SetMinFilter(TTextureFilter AValue) {
  ApplySetting(&TVantrelPoolEntrySettings::MinFilter, AValue,
               [](TVantrelTextureBitmap& ABitmap, TTextureFilter AValue) { ABitmap.SetMinFilter(AValue); });
}

void TVantrelBitmapPoolEntry::SetMagFilter(TTextureFilter AValue) {
  ApplySetting(&TVantrelPoolEntrySettings::MagFilter, AValue,
               [](TVantrelTextureBitmap& ABitmap, TTextureFilter AValue) { ABitmap.SetMagFilter(AValue); });
}

TAlphaColor TVantrelBitmapPoolEntry::GetBorderColor() const {
  return FSettings.BorderColor.ToAlphaColor();
}

void TVantrelBitmapPoolEntry::SetBorderColor(TAlphaColor AValue) {
  FSettings.BorderColor = TAlphaColorF::Create(AValue);
  {
    TBitmapSetup setup(*FBitmap, FSilence);
    FBitmap->SetBorderColor(FSettings.BorderColor);
  }
  DoOnChange();
}

void TVantrelBitmapPoolEntry::SetProtectFormatSettings(bool AValue) {
  FProtectFormatSettings = AValue;
  FBitmap->SetProtectFormatSettings(AValue);
}

void TVantrelBitmapPoolEntry::BitmapChanged(TObject* /*ASender*/) {
  if (FSilence == 0)
    DoOnChange();
}

void TVantrelBitmapPoolEntry::DoOnChange() {
  if (auto* pool = dynamic_cast<TVantrelBitmapPool*>(Collection()))
    pool->GetOnUpdate()(this);
}

void TVantrelBitmapPoolEntry::GetPixelFormat(TPixelFormatEx& AComps, TPixelFormatEx& AFormat,
                                             TVantrelTextureDataType& ADataType) const {
  AComps = FSettings.InternalFormat;
  AFormat = FSettings.Format;
  ADataType = FSettings.DataType;
}

void TVantrelBitmapPoolEntry::SetPixelFormat(TVantrelTextureKind ATextureKind, TPixelFormatEx AComps,
                                             TPixelFormatEx AFormat, TVantrelTextureDataType ADataType,
                                             bool AProtectFormatSettings) {
  if (!FBitmap->IsEmpty() && AComps == FSettings.InternalFormat && AFormat == FSettings.Format &&
      ADataType == FSettings.DataType)
    return;
  SetPixelFormatNoUpdate(ATextureKind, AComps, AFormat, ADataType, AProtectFormatSettings);
  {
    TBitmapSetup setup(*FBitmap, FSilence);
    FBitmap->SetKind(ATextureKind);
    FBitmap->SetProtectFormatSettings(AProtectFormatSettings);
    FBitmap->SetComponents(AComps);
    FBitmap->SetFormat(AFormat);
    FBitmap->SetDataType(ADataType);
  }
  DoOnChange();
}

void TVantrelBitmapPoolEntry::SetPixelFormatNoUpdate(TVantrelTextureKind ATextureKind, TPixelFormatEx AComps,
                                                     TPixelFormatEx AFormat,
                                                     TVantrelTextureDataType ADataType,
                                                     bool AProtectFormatSettings) {
  if (!FBitmap->IsEmpty() && AComps == FSettings.InternalFormat && AFormat == FSettings.Format &&
      ADataType == FSettings.DataType)
    return;
  FSettings.TextureKind = ATextureKind;
  FSettings.InternalFormat = AComps;
  FSettings.Format = AFormat;
  FSettings.DataType = ADataType;
  FProtectFormatSettings = AProtectFormatSettings;
}

void TVantrelBitmapPoolEntry::SetTextureWrapping(TVantrelTextureWrap AWrap) {
  FSettings.WrapS = FSettings.WrapT = FSettings.WrapR = AWrap;
  FBitmap->SetWrapS(AWrap);
  FBitmap->SetWrapT(AWrap);
  if (HasRAxis(FSettings.TextureKind, true))
    FBitmap->SetWrapR(AWrap);
}

void TVantrelBitmapPoolEntry::SetTextureWrapping(TVantrelTextureWrap AWrapS, TVantrelTextureWrap AWrapT,
                                                 TVantrelTextureWrap AWrapR) {
  FSettings.WrapS = AWrapS;
  FSettings.WrapT = AWrapT;
  FSettings.WrapR = AWrapR;
  FBitmap->SetWrapS(AWrapS);
  FBitmap->SetWrapT(AWrapT);
  if (HasRAxis(FSettings.TextureKind, false))
    FBitmap->SetWrapR(AWrapR);
}

void TVantrelBitmapPoolEntry::SetTextureMinMagFilter(TTextureFilter AMin, TTextureFilter AMag) {
  FSettings.MinFilter = AMin;
  FSettings.MagFilter = AMag;
  FBitmap->SetMinFilter(AMin);
  FBitmap->SetMagFilter(AMag);
}

void TVantrelBitmapPoolEntry::SetExtendedProperties(TVantrelTextureWrap AWrapS, TVantrelTextureWrap AWrapT,
                                                    TVantrelTextureWrap AWrapR, TTextureFilter AMin,
                                                    TTextureFilter AMag, TAlphaColor ABorder,
                                                    TTextureStyles AStyles) {
  FSettings.WrapS = AWrapS;
  FSettings.WrapT = AWrapT;
  FSettings.WrapR = AWrapR;
  FSettings.MinFilter = AMin;
  FSettings.MagFilter = AMag;
  FSettings.BorderColor = TAlphaColorF::Create(ABorder);
  TBitmapSetup setup(*FBitmap, FSilence);
  FBitmap->SetWrapS(AWrapS);
  FBitmap->SetWrapT(AWrapT);
  if (HasRAxis(FSettings.TextureKind, false))
    FBitmap->SetWrapR(AWrapR);
  FBitmap->SetMinFilter(AMin);
  FBitmap->SetMagFilter(AMag);
  FBitmap->SetBorderColor(FSettings.BorderColor);
  FBitmap->SetStyle(AStyles);
}

void TVantrelBitmapPoolEntry::AssignTo(TPersistent* ADest) const {
  if (auto* texture = dynamic_cast<TVantrelTexturePoolEntry*>(ADest))
    AssignToTextureEntry(*texture);
  else if (auto* bitmap = dynamic_cast<TVantrelBitmapPoolEntry*>(ADest))
    AssignToBitmapEntry(*bitmap);
  else
    inherited::AssignTo(ADest);
}

void TVantrelBitmapPoolEntry::AssignToTextureEntry(TVantrelTexturePoolEntry& ADest) const {
  ADest.GetSettingsForCopy() = FSettings;
  ADest.SetTexture(FBitmap->Texture());
}

void TVantrelBitmapPoolEntry::AssignToBitmapEntry(TVantrelBitmapPoolEntry& ADest) const {
  ADest.FSettings = FSettings;
  ADest.FProtectFormatSettings = FProtectFormatSettings;
  ADest.FBitmap->Assign(FBitmap.get());
}

// ---- TVantrelBitmapPool ----

TVantrelBitmapPool::TVantrelBitmapPool(TPersistent* AOwner)
    : TOwnedCollection(AOwner, TVantrelBitmapPoolEntry::StaticClass()) {}

void TVantrelBitmapPool::RegisterProperties(TPropertyList& AList) {
  AList.Add("DeclareAsArray", &TVantrelBitmapPool::GetDeclareAsArray, &TVantrelBitmapPool::SetDeclareAsArray)
      .WithDefault(false);
  AList.AddEvent("OnUpdate", &TVantrelBitmapPool::FOnUpdate);
}

TVantrelBitmapPoolEntry* TVantrelBitmapPool::GetItem(int AIndex) const {
  return static_cast<TVantrelBitmapPoolEntry*>(Items(AIndex));
}

TVantrelBitmapPoolEntry* TVantrelBitmapPool::FindEntryByName(std::string_view AName) const {
  for (int i = 0; i < Count(); ++i)
    if (GetItem(i)->GetName() == AName)
      return GetItem(i);
  return nullptr;
}

TVantrelBitmapPoolEntry*
TVantrelBitmapPool::AddBitmap(std::string_view AName, TPixelFormatEx AComps, TPixelFormatEx AFormat,
                              TVantrelTextureDataType ADataType, bool AIsDynamic, bool AIgnoreInArray,
                              bool AProtectFormatSettings, TContextShaderKind AShaderKind,
                              TVantrelTextureKind ATextureKind, TVantrelTexturePool* ATexturePool) {
  if (AName.empty())
    throw Exception(std::string(SPoolEntryNameMissing));
  TVantrelBitmapPoolEntry* entry = FindEntryByName(AName);
  if (entry && entry->GetTextureKind() != ATextureKind) {
    RemoveBitmap(AName, ATexturePool);
    entry = nullptr;
  }
  if (!entry) {
    if (Count() >= MaxPoolTextures)
      throw Exception(Format(SPoolIsFull, {MaxPoolTextures}));
    entry = static_cast<TVantrelBitmapPoolEntry*>(Add());
    entry->SetName(std::string(AName));
  }
  entry->SetIsDynamic(AIsDynamic);
  entry->SetIgnoreInArray(AIgnoreInArray);
  entry->SetShaderKind(AShaderKind);
  entry->SetPixelFormat(ATextureKind, AComps, AFormat, ADataType, AProtectFormatSettings);
  return entry;
}

void TVantrelBitmapPool::RemoveBitmap(std::string_view AName, TVantrelTexturePool* ATexturePool) {
  TVantrelBitmapPoolEntry* entry = FindEntryByName(AName);
  if (!entry)
    return;
  // A bitmap that holds no texture is borrowed by no texture entry; looking up nullptr would
  // instead hit any entry that borrows nothing.
  if (const TTexture* texture = entry->GetBitmap()->HeldTexture(); texture && ATexturePool)
    if (const int index = ATexturePool->IndexOfTexture(texture); index >= 0)
      ATexturePool->Delete(index);
  Delete(entry->Index());
}

} // namespace vantrel
