#pragma once
// The demo's main form: everything on screen comes from its streamed components (Unit1.form,
// embedded at build time as the resource "TFORM1"); the form itself has no methods.

#include "materials/Vantrel.Material.Lambert.h"
#include "rendering/Vantrel.Controller.Passes.PostFX.h"
#include "rendering/Vantrel.Viewport.h"
#include "scene/Vantrel.Light.h"
#include "scene/Vantrel.SkyBox.h"
#include "ui/forms.h"
#include "ui/objects3d.h"

class TForm1 : public ui::TForm {
  RTL_CLASS(TForm1, ui::TForm)
public:
  using TForm::TForm;
  static void RegisterProperties(rtl::TPropertyList& AList);

  vantrel::TVantrelViewport* VantrelViewport1 = nullptr;
  vantrel::TVantrelSkyBox* VantrelSkyBox1 = nullptr;
  vantrel::TVantrelRenderPassPostFX* VantrelRenderPassPostFX1 = nullptr;
  ui::TRoundCube* RoundCube1 = nullptr;
  vantrel::TVantrelLambertMaterialSource* VantrelLambertMaterialSource1 = nullptr;
  vantrel::TVantrelLight* VantrelLight1 = nullptr;
};

extern TForm1* Form1;

// Registers TForm1 for streaming and its form resource "TFORM1"; the program calls it after the
// library's units started, before CreateForm.
void InitializeUnit1();
void FinalizeUnit1();
