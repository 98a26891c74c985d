#include "Unit1.h"

#include "rtl/properties.h"
#include "rtl/resources.h"

RTL_DEFINE_CLASS(TForm1, "Unit1", &TForm1::RegisterProperties)

TForm1* Form1 = nullptr;

// Made by the form compiler from Unit1.form.
void RegisterUnit1Form();

void TForm1::RegisterProperties(rtl::TPropertyList& AList) {
  AList.AddField("VantrelViewport1", &TForm1::VantrelViewport1);
  AList.AddField("VantrelSkyBox1", &TForm1::VantrelSkyBox1);
  AList.AddField("VantrelRenderPassPostFX1", &TForm1::VantrelRenderPassPostFX1);
  AList.AddField("RoundCube1", &TForm1::RoundCube1);
  AList.AddField("VantrelLambertMaterialSource1", &TForm1::VantrelLambertMaterialSource1);
  AList.AddField("VantrelLight1", &TForm1::VantrelLight1);
}

namespace {
int Unit1Count = 0;
}

void InitializeUnit1() {
  if (Unit1Count++ > 0)
    return;
  rtl::RegisterClass(TForm1::StaticClass());
  RegisterUnit1Form();
}

void FinalizeUnit1() {
  if (Unit1Count == 0 || --Unit1Count > 0)
    return;
  rtl::UnRegisterResource("TFORM1");
  rtl::UnRegisterClass(TForm1::StaticClass());
}
