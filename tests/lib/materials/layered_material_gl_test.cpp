// The layered material: layers over a mask drawn by the context's batch draw, the layer list, the
// free notification of layer sources, the current layered material after a draw, and the release
// of its shaders and program.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "context/Vantrel.Context.GLES.Windows.h"
#include "materials/Vantrel.Material.Default.h"
#include "materials/Vantrel.Material.Layered.h"
#include "quad_target.h"
#include "rtl/exceptions.h"
#include "support/gl_fixture.h"
#include "support/plain_context.h"
#include "ui/bitmap.h"
#include "ui/mesh_buffers.h"
#include "ui/shaders.h"
#include "ui/texture.h"

namespace layeredmaterialtest {

using namespace vantrel;

constexpr int32_t Size = vtest::QuadTargetGL::Size;

// A 2 x 2 bitmap: white, or white in its left column and black in its right one.
std::unique_ptr<TBitmap> Mask(bool AHalf) {
  auto bitmap = std::make_unique<TBitmap>(2, 2);
  TBitmapData data;
  EXPECT_TRUE(bitmap->Map(TMapAccess::Write, data));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      data.SetPixel(x, y, AHalf && x == 1 ? 0xFF000000 : 0xFFFFFFFF);
  bitmap->Unmap(data);
  return bitmap;
}

// The quad without tangents drawn by the context into the fixture's target, without fog.
class LayeredMaterialGL : public vtest::QuadTargetGL {
protected:
  void SetUp() override {
    QuadTargetGL::SetUp();
    SetUpQuadTarget(false);
    FContext->SetFog(TVantrelFogSettings{});
    Owner = MakeOwned<TComponent>(nullptr);
  }

  void TearDown() override {
    Owner.reset();
    QuadTargetGL::TearDown();
  }

  // An unlit default source sampling a 2 x 2 texture in AColor.
  TVantrelDefaultMaterialSource* Layer(TAlphaColor AColor, bool AHalfMask, TComponent* AOwner = nullptr) {
    auto* source = New<TVantrelDefaultMaterialSource>(AOwner ? AOwner : Owner.get());
    source->SetUseLighting(false);
    source->SetUseTexture0(true);
    source->SetDiffuse(AColor);
    source->SetEmissiveF(TAlphaColorF::Create(0, 0, 0, 1));
    source->SetAmbientF(TAlphaColorF::Create(0, 0, 0, 1));
    source->SetSpecularF(TAlphaColorF::Create(0, 0, 0, 1));
    const auto mask = Mask(AHalfMask);
    source->SetTexture(mask.get());
    return source;
  }

  // One draw of the quad with AMaterial; the image is kept for Pixel.
  void Draw(TMaterial* AMaterial) {
    static const uint16_t Indices[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_TRUE(FContext->BeginSceneRendering());
    FContext->Clear({TClearTarget::Color, TClearTarget::Depth}, 0xFF000000, 1, 0);
    FContext->SetContextStates({TContextState::csZTestOff, TContextState::csAllFace});
    FContext->SetMatrix(TMatrix3D::Identity());
    const TMatrix3D identity = TMatrix3D::Identity();
    FContext->SetInstances(1, &identity);
    FContext->DrawPrimitives(TPrimitivesKind::Triangles, FVertices->Buffer(), Indices,
                             FVertices->GetVertexDeclarations(), FVertices->VertexSize(), 4, 2, 6, AMaterial, 1);
    FContext->UnsetInstances();
    FContext->EndSceneRendering();
    TBitmap image(Size, Size);
    FContext->CopyToBitmap(&image, TRect(0, 0, Size, Size));
    TBitmapData data;
    ASSERT_TRUE(image.Map(TMapAccess::Read, data));
    FLeft = data.GetPixel(16, 32);
    FRight = data.GetPixel(48, 32);
    image.Unmap(data);
  }

  static vtest::TRGBA8 RGBA(TAlphaColor C) { return {uint8_t(C >> 16), uint8_t(C >> 8), uint8_t(C), 255}; }
  vtest::TRGBA8 Left() const { return RGBA(FLeft); }
  vtest::TRGBA8 Right() const { return RGBA(FRight); }

  TOwned<TComponent> Owner;
  TAlphaColor FLeft = 0, FRight = 0;
};

TEST_F(LayeredMaterialGL, TwoLayersAddThroughAMask) {
  auto* layered = New<TVantrelLayeredMaterialSource>(Owner.get());
  layered->AddLayer("Red", Layer(0xFF800000, false));
  layered->AddLayer("Green", Layer(0xFF008000, true));
  Draw(layered->GetMaterial());
  // Layer 2 plus layer 1 times (1 - layer 2) under the additive blend.
  EXPECT_TRUE(vtest::ColorNear(Left(), {128, 128, 0, 255}, 2)) << FLeft;
  EXPECT_TRUE(vtest::ColorNear(Right(), {128, 0, 0, 255}, 2)) << FRight;
  EXPECT_EQ(FContext->GetCurrentLayeredMaterial(), nullptr);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LayeredMaterialGL, LayersAndTheirErrors) {
  auto* layered = New<TVantrelLayeredMaterialSource>(Owner.get());
  auto* material = static_cast<TVantrelLayeredMaterial*>(layered->GetMaterial());
  EXPECT_EQ(material->Source(), layered);
  EXPECT_EQ(material->GetMaterialsCount(), 0);
  EXPECT_EQ(material->GetMaterialItem(nullptr, 0), nullptr);
  auto* first = New<TVantrelDefaultMaterialSource>(Owner.get());
  TVantrelLayeredMaterialItem* a = layered->AddLayer("A", first);
  TVantrelLayeredMaterialItem* b = layered->AddLayer("B", nullptr);
  EXPECT_EQ(material->GetMaterialsCount(), 2);
  EXPECT_EQ(material->GetMaterialItem(nullptr, 0), a);
  EXPECT_EQ(material->GetMaterialItem(nullptr, 1), b);
  EXPECT_EQ(b->GetDisplayName(), "B");
  EXPECT_EQ(material->GetLayerMaterial(nullptr, 0), first);
  EXPECT_THROW(material->GetMaterialItem(nullptr, -1), EListError);
  // Items copy name and material; the collection copies every item.
  b->Assign(a);
  EXPECT_EQ(b->GetDisplayName(), "A");
  EXPECT_EQ(b->GetMaterial(), first);
  auto* copy = New<TVantrelLayeredMaterialSource>(Owner.get());
  copy->SetMaterials(layered->GetMaterials());
  EXPECT_EQ(copy->GetMaterials()->Count(), 2);
  TBitmap notAnItem;
  EXPECT_THROW(notAnItem.Assign(a), EConvertError);
  // A context that is not the framework's is refused, not drawn with.
  auto plain = vtest::TPlainContext::Make(FTarget.get());
  EXPECT_THROW(material->Apply(plain.get()), EInvalidCast);

  // Every layered material has shader names of its own.
  auto* other = New<TVantrelLayeredMaterialSource>(Owner.get());
  auto* otherMaterial = static_cast<TVantrelLayeredMaterial*>(other->GetMaterial());
  std::vector<std::string> names{material->VertexShader()->Name(), material->PixelShader()->Name(),
                                 otherMaterial->VertexShader()->Name(), otherMaterial->PixelShader()->Name()};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  EXPECT_EQ(material->VertexShader()->Name().rfind("Layered-", 0), 0u);
  EXPECT_EQ(material->PixelShader()->Name().substr(material->PixelShader()->Name().size() - 4), ".fps");
}

TEST_F(LayeredMaterialGL, AFreedLayerSourceLeavesItsLayersEmpty) {
  for (bool sameOwner : {false, true}) {
    SCOPED_TRACE(sameOwner);
    auto otherOwner = MakeOwned<TComponent>(nullptr);
    auto* layered = New<TVantrelLayeredMaterialSource>(Owner.get());
    TVantrelDefaultMaterialSource* source = Layer(0xFF800000, false, sameOwner ? Owner.get() : otherOwner.get());
    layered->AddLayer("One", source);
    layered->AddLayer("Two", source);
    source->Free();
    EXPECT_EQ(layered->GetMaterials()->Item(0)->GetMaterial(), nullptr);
    EXPECT_EQ(layered->GetMaterials()->Item(1)->GetMaterial(), nullptr);
    Draw(layered->GetMaterial());
    EXPECT_EQ(FContext->GetCurrentLayeredMaterial(), nullptr);
    layered->Free();
  }
  // A source that no layer holds any more gets no notification from it.
  auto* layered = New<TVantrelLayeredMaterialSource>(Owner.get());
  auto* source = Layer(0xFF800000, false);
  TVantrelLayeredMaterialItem* item = layered->AddLayer("One", source);
  item->SetMaterial(nullptr);
  layered->Free();
  source->Free();
}

TEST_F(LayeredMaterialGL, ResetClearsTheCurrentLayeredMaterial) {
  auto* layered = New<TVantrelLayeredMaterialSource>(Owner.get());
  layered->AddLayer("Red", Layer(0xFF800000, false));
  TMaterial* material = layered->GetMaterial();
  // A pass that refuses the primitive applies and resets the material without drawing.
  ASSERT_TRUE(FContext->BeginSceneRendering());
  FContext->ApplyMaterial(material);
  EXPECT_NE(FContext->GetCurrentLayeredMaterial(), nullptr);
  FContext->ResetMaterial(material);
  EXPECT_EQ(FContext->GetCurrentLayeredMaterial(), nullptr);
  // A current layered material of another object is left alone.
  auto* other = New<TVantrelLayeredMaterialSource>(Owner.get());
  FContext->ApplyMaterial(other->GetMaterial());
  material->Reset(FContext.get());
  EXPECT_EQ(FContext->GetCurrentLayeredMaterial(), static_cast<TVantrelLayeredMaterial*>(other->GetMaterial()));
  FContext->ResetMaterial(other->GetMaterial());
  FContext->EndSceneRendering();
  // The next plain draw runs no layers.
  auto* plain = Layer(0xFF008000, false);
  Draw(plain->GetMaterial());
  EXPECT_TRUE(vtest::ColorNear(Left(), {0, 128, 0, 255}, 2)) << FLeft;
}

TEST_F(LayeredMaterialGL, FreeingReleasesShadersAndProgram) {
  const int shadersBefore = TShaderManager::Count();
  auto* layered = New<TVantrelLayeredMaterialSource>(Owner.get());
  auto* material = static_cast<TVantrelLayeredMaterial*>(layered->GetMaterial());
  TContextShader* vs = material->VertexShader();
  TContextShader* ps = material->PixelShader();
  EXPECT_EQ(TShaderManager::Count(), shadersBefore + 2);
  const int32_t programsBefore = TVantrelContext::ProgramCount();
  Draw(material);
  EXPECT_NE(TVantrelContext::GetProgram(vs, ps), nullptr);
  EXPECT_EQ(TVantrelContext::ProgramCount(), programsBefore + 1);
  // The shaders go with the material, so the program is counted rather than looked up.
  layered->Free();
  EXPECT_EQ(TVantrelContext::ProgramCount(), programsBefore);
  EXPECT_EQ(TShaderManager::Count(), shadersBefore);
}

} // namespace layeredmaterialtest
