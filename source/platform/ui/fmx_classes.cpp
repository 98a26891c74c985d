#include "rtl/fields.h"
#include "ui/animations.h"
#include "ui/controls.h"
#include "ui/controls3d.h"
#include "ui/fmx_object.h"
#include "ui/forms.h"
#include "ui/material.h"
#include "ui/objects3d.h"
#include "ui/scene.h"
#include "ui/timers.h"

namespace ui {

namespace {

int FmxClassesCount = 0;

rtl::TClass* const* FmxClasses() {
  static rtl::TClass* const classes[] = {
      &TFmxObject::StaticClass(),   &TControl::StaticClass(),        &TControl3D::StaticClass(),
      &TDummy::StaticClass(),       &TCamera::StaticClass(),         &TLight::StaticClass(),
      &TProxyObject::StaticClass(), &TMaterialSource::StaticClass(), &TTimer::StaticClass(),
      &TAnimation::StaticClass(),   &TCustomPropertyAnimation::StaticClass(), &TRoundCube::StaticClass(),
      &TCustomScene::StaticClass(), &TFormFactor::StaticClass(),  &TCustomForm::StaticClass(),
      &TForm::StaticClass(),        nullptr};
  return classes;
}

void RegisterComponentFields() {
  rtl::TCopyField owner;
  owner.Name = "FOwner";
  owner.Kind = rtl::TFieldKind::Object;
  owner.DeclaredClass = &rtl::TComponent::StaticClass();
  owner.GetObject = [](const rtl::TObject* AInstance) -> rtl::TObject* {
    return static_cast<const rtl::TComponent*>(AInstance)->Owner();
  };
  rtl::TCopyField tag;
  tag.Name = "FTag";
  tag.CopyValue = [](rtl::TObject* ADest, const rtl::TObject* ASource) {
    static_cast<rtl::TComponent*>(ADest)->SetTag(static_cast<const rtl::TComponent*>(ASource)->Tag());
  };
  rtl::RegisterFields(rtl::TComponent::StaticClass(), {owner, tag});
}

} // namespace

void RegisterFmxClasses() {
  if (FmxClassesCount++ > 0)
    return;
  for (rtl::TClass* const* cls = FmxClasses(); *cls; ++cls)
    rtl::RegisterClass(**cls);
  RegisterComponentFields();
  rtl::TCopyField parent;
  parent.Name = "FParent";
  parent.Kind = rtl::TFieldKind::Object;
  parent.DeclaredClass = &TFmxObject::StaticClass();
  parent.GetObject = [](const rtl::TObject* AInstance) -> rtl::TObject* {
    return static_cast<const TFmxObject*>(AInstance)->Parent();
  };
  rtl::RegisterFields(
      TFmxObject::StaticClass(),
      {
          parent,
          rtl::SkippedField("FChildren", rtl::TFieldKind::NoTypeInfo),
          rtl::ValueField<&TFmxObject::FStored>("FStored"),
          rtl::ObjectField<&TFmxObject::FTagObject>("FTagObject", &rtl::TObject::StaticClass()),
          rtl::ValueField<&TFmxObject::FTagFloat>("FTagFloat"),
          rtl::ValueField<&TFmxObject::FTagString>("FTagString"),
          rtl::ValueField<&TFmxObject::FStyleName>("FStyleName"),
      });
  TControl3D::RegisterFields();
  TCamera::RegisterFields();
  TLight::RegisterFields();
  TProxyObject::RegisterFields();
  TAnimation::RegisterFields();
  TCustomPropertyAnimation::RegisterFields();
}

void UnregisterFmxClasses() {
  if (FmxClassesCount == 0 || --FmxClassesCount > 0)
    return;
  for (rtl::TClass* const* cls = FmxClasses(); *cls; ++cls) {
    rtl::UnRegisterFields(**cls);
    rtl::UnRegisterClass(**cls);
  }
  rtl::UnRegisterFields(rtl::TComponent::StaticClass());
}

} // namespace ui
