#pragma once
// The 3D context protocol. A TContext3D draws into a texture (or a window) through hooks that a
// concrete context implements for its graphics API; this class keeps the state every context
// shares: size, scene nesting, recorded context states, the model, camera, projection and screen
// matrices, lights, and the material bracket around each draw. Class-level questions (is the API
// usable, its limits, texture and shader objects) are virtual methods of the metaclass
// TContext3DClass, and TContextManager routes them to the registered default class.
//
// Creation has two phases: the metaclass makes the object through its factory, then runs the
// virtual creation body CreateFromTexture or CreateFromWindow, which reaches the final class. A
// body that raises frees the partly built object (BeforeDestruction included) and the exception
// propagates.

#include <cstdint>
#include <span>
#include <string>

#include "rtl/colors.h"
#include "rtl/generics.h"
#include "rtl/math3d.h"
#include "rtl/object.h"
#include "rtl/types2d.h"
#include "ui/color_material.h"
#include "ui/mesh_buffers.h"
#include "ui/types3d.h"

namespace ui {

class TBitmap;
class TContext3D;
class TContextShader;
class TMaterial;
class TTexture;

namespace messages {
inline constexpr const char* NoDefaultContextClass = "No default 3D context class is registered";
inline constexpr const char* CopyRectDoesNotFit = "Cannot copy a %d x %d rectangle into a bitmap of %d x %d";
// The texts a graphics context reports its failures with.
inline constexpr const char* ContextMethodError = "Fehler im Kontext: Methode='%s'.";
inline constexpr const char* CannotCreateShader = "Schattierer für '%s' kann nicht erstellt werden.";
inline constexpr const char* CannotCreateVertexShader =
    "Vertex-Schattierer für '%s' kann nicht erstellt werden.";
inline constexpr const char* CannotCreatePixelShader =
    "Pixel-Schattierer für '%s' kann nicht erstellt werden.";
inline constexpr const char* CannotActivateShaderProgram =
    "Schattiererprogramm für '%s' kann nicht aktiviert werden.";
inline constexpr const char* CannotCreateTexture = "Textur für '%s' kann nicht erstellt werden.";
inline constexpr const char* CannotUploadTexture =
    "Pixel-Daten können nicht für '%s' zu Textur hochgeladen werden.";
inline constexpr const char* ShaderVariableNotFound = "Schattierervariable \"%s\" nicht gefunden.";
} // namespace messages

class TContext3DClass : public rtl::TClass {
public:
  using TClass::TClass;

  // Two-phase creation (see above). The caller owns the context and frees it with Free().
  TContext3D* CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil) const;
  TContext3D* CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                               TMultisample AMultisample, bool ADepthStencil) const;

  // Class-level virtuals. The protocol has no answer of its own: these raise EAbstractError
  // until a context class overrides them.
  virtual bool Valid() const;
  virtual TContextStyles Style() const;
  virtual int32_t MaxLightCount() const;
  virtual int32_t MaxTextureSize() const;
  virtual int32_t TextureUnitCount() const;
  virtual TPixelFormat PixelFormat() const;
  virtual TIndexBufferSupport IndexBufferSupport() const;
  // Makes the texture's GPU object and hands its name over through ITextureAccess.
  virtual void InitializeTexture(TTexture* ATexture) const;
  // Releases the texture's GPU object and sets its handle to 0 through ITextureAccess.
  virtual void DoFinalizeTexture(TTexture* ATexture) const;
  // Uploads pixels: ABits holds Height rows of APitch bytes.
  virtual void UpdateTexture(TTexture* ATexture, const void* ABits, int32_t APitch) const;
  // A new texture made from the bitmap (the caller owns it); nullptr for a nil bitmap. The base
  // makes a plain TTexture and assigns the bitmap to it.
  virtual TTexture* BitmapToTexture(TBitmap* ABitmap) const;
  virtual void InitializeShader(TContextShader* AShader) const;
  virtual void DoFinalizeShader(TContextShader* AShader) const;
};

class TContext3D : public rtl::TObject {
  RTL_CLASS_META(TContext3D, rtl::TObject, TContext3DClass)
  friend class TContext3DClass;

public:
  // The class-level virtuals of this object's class.
  const TContext3DClass& ContextClass() const;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  float Scale() const { return FScale; }
  // The texture drawn into; not owned.
  TTexture* Texture() const { return FTexture; }
  TWindowHandle Parent() const { return FParent; }
  TMultisample Multisample() const { return FMultisample; }
  bool DepthStencil() const { return FDepthStencil; }
  // On a change of size: both matrices are flagged for recalculation, then DoResize.
  void SetSize(int32_t AWidth, int32_t AHeight);

  // Scenes nest: only the outermost BeginScene and EndScene reach the hooks. BeginScene answers
  // whether drawing may go ahead; an EndScene belongs to every BeginScene that answered True.
  bool BeginScene();
  void EndScene();
  // The context whose scene is open, or nullptr. A context becomes current when its scene count
  // goes from 0 to 1, and the context current before it comes back at its matching EndScene.
  // Scenes open on the UI thread only; a context freed while current stops being current.
  static TContext3D* CurrentContext();

  // The states recorded by SetContextState, one per group.
  TContextStates CurrentStates() const { return FCurrentStates; }
  // Records AState in place of the other states of its group (on/off pair, 2D/3D, face), then
  // applies it through DoSetContextState.
  void SetContextState(TContextState AState);
  // Saves the recorded states; PopContextStates restores them and re-applies each one, in
  // ordinal order. Popping with nothing saved raises EListError.
  void PushContextStates();
  void PopContextStates();
  int ContextStatesDepth() const { return FSavedStates.Count(); }

  void Clear(TClearTargets ATarget, rtl::TAlphaColor AColor, float ADepth, uint32_t AStencil);
  void SetStencilOp(TStencilOp AFail, TStencilOp AZFail, TStencilOp AZPass);
  void SetStencilFunc(TStencilFunc AFunc, uint32_t ARef, uint32_t AMask);
  void SetScissorRect(const rtl::TRect& AScissorRect);

  // Matrices. Row vectors: the model-view-projection is model * camera * projection.
  const rtl::TMatrix3D& CurrentMatrix() const { return FCurrentMatrix; }
  void SetMatrix(const rtl::TMatrix3D& AMatrix);
  const rtl::TMatrix3D& CurrentCameraMatrix() const { return FCurrentCameraMatrix; }
  void SetCameraMatrix(const rtl::TMatrix3D& AMatrix);
  // Degrees, vertical field of view.
  float CurrentAngleOfView() const { return FCurrentAngleOfView; }
  void SetCameraAngleOfView(float AAngle);
  const rtl::TMatrix3D& RenderToMatrix() const { return FRenderToMatrix; }
  void SetRenderToMatrix(const rtl::TMatrix3D& AMatrix);
  rtl::TPointF CenterOffset() const { return FCenterOffset; }
  void SetCenterOffset(const rtl::TPointF& AOffset);
  // Built when flagged for recalculation, cached with their inverses until flagged again.
  virtual rtl::TMatrix3D CurrentProjectionMatrix();
  virtual rtl::TMatrix3D CurrentScreenMatrix();
  // Model * camera * projection; while cs2DScene is the recorded scene state, model * screen
  // matrix, so a rectangle given in target pixels covers the target.
  rtl::TMatrix3D CurrentModelViewProjectionMatrix();
  // Takes over AContext's recorded states (re-applying each here), its current and camera
  // matrices and its angle of view. Lights are not copied: the viewport's light settings place
  // them.
  void SetStateFromContext(const TContext3D& AContext);

  // The ray through pixel (AX, AY) (x to the right, y down over Width x Height): its start (w = 1)
  // and unit direction (w = 0). With Camera the ray starts at the eye and runs through camera *
  // projection; with Screen it runs through the screen matrix. WorldToScreen is its exact
  // inverse: it gives the pixel (and depth) that a point projects to.
  void Pick(float AX, float AY, TProjection AProjection, rtl::TVector3D& ARayPos, rtl::TVector3D& ARayDir);
  rtl::TPoint3D WorldToScreen(TProjection AProjection, const rtl::TPoint3D& APoint);

  const rtl::TList<TLightDescription>& Lights() const { return FLights; }
  // The opacity of the primitives being drawn, for the material to read.
  float CurrentOpacity() const { return FCurrentOpacity; }

  // Sets CurrentOpacity, applies the material (when given, through ApplyMaterial), draws through DoDrawPrimitives and
  // resets the material, also when drawing raises. AKind's byte passes through untouched.
  // Applies AMaterial, then hands it the matrices it names (model-view-projection, model-view,
  // and the model-view's inverse transpose), each under the material's name for it. Every draw
  // with a material comes through here.
  virtual void ApplyMaterial(TMaterial* AMaterial);
  void DrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                      const TVertexDeclaration& ADeclaration, int32_t AVertexSize, int32_t AVertexCount,
                      int32_t AIndexSize, int32_t AIndexCount, TMaterial* AMaterial, float AOpacity);

  // Lines in one colour, drawn non-instanced with the context's colour material (one instance
  // for both calls) and the current matrix.
  void DrawLine(const rtl::TPoint3D& AStartPoint, const rtl::TPoint3D& AEndPoint, float AOpacity,
                rtl::TAlphaColor AColor);
  // The twelve edges of the box of size ASize around ACenter.
  void DrawCube(const rtl::TPoint3D& ACenter, const rtl::TPoint3D& ASize, float AOpacity, rtl::TAlphaColor AColor);
  // The solid box of size ASize around ACenter: twelve triangles wound clockwise seen from
  // outside (the cube's winding), drawn like DrawCube with the same colour material.
  void FillCube(const rtl::TPoint3D& ACenter, const rtl::TPoint3D& ASize, float AOpacity, rtl::TAlphaColor AColor);

  void SetShaders(TContextShader* AVertexShader, TContextShader* APixelShader);
  void SetShaderVariable(const std::string& AName, std::span<const rtl::TVector3D> AData);
  void SetShaderVariable(const std::string& AName, const rtl::TMatrix3D& AMatrix);
  void SetShaderVariable(const std::string& AName, TTexture* ATexture);

  // Reads the rendered image back. ARect's size must fit the bitmap; its pixels land at the
  // bitmap's top-left corner.
  void CopyToBitmap(TBitmap* ADest, const rtl::TRect& ARect);
  // ABits receives ARect's rows, top row first, APitch bytes apart.
  void CopyToBits(void* ABits, int32_t APitch, const rtl::TRect& ARect);

  // Releases the buffers through FreeBuffer while the final class's hooks are still reachable.
  void BeforeDestruction() override;

private:
  rtl::TOwned<TColorMaterial> FColorMaterial;
  void DrawColorLines(std::span<const rtl::TPoint3D> AVertices, std::span<const uint16_t> AIndices, float AOpacity,
                      rtl::TAlphaColor AColor);
  void DrawColorPrimitives(TPrimitivesKind AKind, std::span<const rtl::TPoint3D> AVertices,
                           std::span<const uint16_t> AIndices, float AOpacity, rtl::TAlphaColor AColor);

protected:
  TContext3D() = default;

  // Creation bodies; overrides call the inherited body. The base stores the texture and its size
  // (or the window and the given size), the multisample and depth-stencil choices, then runs
  // InitContext.
  virtual void CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil);
  virtual void CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                TMultisample AMultisample, bool ADepthStencil);
  // Runs inside both creation bodies once the size and choices are stored. The base has nothing
  // to prepare.
  virtual void InitContext() {}

  void CreateBuffer() { DoCreateBuffer(); }
  void FreeBuffer() { DoFreeBuffer(); }
  virtual void DoCreateBuffer() = 0;
  // Also runs for a context whose creation failed part-way, so it copes with missing buffers.
  virtual void DoFreeBuffer() = 0;
  virtual void DoResize() = 0;

  // The base context is always ready to draw.
  virtual bool DoBeginScene() { return true; }
  // The base context has nothing to finish.
  virtual void DoEndScene() {}

  virtual void DoSetContextState(TContextState AState) = 0;
  virtual void DoClear(TClearTargets ATarget, rtl::TAlphaColor AColor, float ADepth, uint32_t AStencil) = 0;
  virtual void DoSetStencilOp(TStencilOp AFail, TStencilOp AZFail, TStencilOp AZPass) = 0;
  virtual void DoSetStencilFunc(TStencilFunc AFunc, uint32_t ARef, uint32_t AMask) = 0;
  virtual void DoSetScissorRect(const rtl::TRect& AScissorRect) = 0;

  // The base hands the whole primitive list to DoDrawPrimitivesBatch in one call.
  virtual void DoDrawPrimitives(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                                const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                                int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount);
  virtual void DoDrawPrimitivesBatch(TPrimitivesKind AKind, const void* AVertices, const void* AIndices,
                                     const TVertexDeclaration& ADeclaration, int32_t AVertexSize,
                                     int32_t AVertexCount, int32_t AIndexSize, int32_t AIndexCount) = 0;

  virtual void DoSetShaders(TContextShader* AVertexShader, TContextShader* APixelShader) = 0;
  virtual void DoSetShaderVariable(const std::string& AName, std::span<const rtl::TVector3D> AData) = 0;
  virtual void DoSetShaderVariable(const std::string& AName, const rtl::TMatrix3D& AMatrix) = 0;
  virtual void DoSetShaderVariable(const std::string& AName, TTexture* ATexture) = 0;

  // The base maps the bitmap for writing, reads into it through DoCopyToBits and unmaps it (also
  // when reading raises). Nothing happens for a nil or empty bitmap.
  virtual void DoCopyToBitmap(TBitmap* ADest, const rtl::TRect& ARect);
  virtual void DoCopyToBits(void* ABits, int32_t APitch, const rtl::TRect& ARect) = 0;

  // The projection and screen matrices from the current fields with the given planes, for the
  // getters (the base uses near 1 and far 1000). A zero width or height counts as an aspect of 1
  // and a screen width of 1, so neither matrix ever holds a non-finite entry.
  rtl::TMatrix3D BuildProjectionMatrix(float ANear, float AFar) const;
  rtl::TMatrix3D BuildScreenMatrix(float ANear, float AFar) const;
  // The projection and screen matrices for the given planes, rebuilt with their inverses only
  // while flagged for recalculation.
  rtl::TMatrix3D CachedProjectionMatrix(float ANear, float AFar);
  rtl::TMatrix3D CachedScreenMatrix(float ANear, float AFar);
  // The render-to matrix takes part when it differs from the identity in m11 or m41.
  bool RenderToMatrixApplies() const;

  // One step of the scene count, for contexts with a scene bracket of their own: the step to 1
  // makes this context current, the step back to 0 restores the one current before.
  void IncrementSceneCount();
  void DecrementSceneCount();

  int32_t FBeginSceneCount = 0;
  // The context that was current when this one's outermost scene opened.
  TContext3D* FPreviousCurrent = nullptr;
  bool FRecalcScreenMatrix = true;
  bool FRecalcProjectionMatrix = true;
  rtl::TMatrix3D FScreenMatrix = rtl::TMatrix3D::Identity();
  rtl::TMatrix3D FProjectionMatrix = rtl::TMatrix3D::Identity();
  rtl::TMatrix3D FInvScreenMatrix = rtl::TMatrix3D::Identity();
  rtl::TMatrix3D FInvProjectionMatrix = rtl::TMatrix3D::Identity();
  rtl::TPointF FCenterOffset;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  float FScale = 1;
  TTexture* FTexture = nullptr;
  TWindowHandle FParent = 0;
  TMultisample FMultisample = TMultisample::None;
  bool FDepthStencil = false;
  rtl::TList<TLightDescription> FLights;
  rtl::TMatrix3D FCurrentMatrix = rtl::TMatrix3D::Identity();
  rtl::TMatrix3D FCurrentCameraMatrix = rtl::TMatrix3D::Identity();
  float FCurrentAngleOfView = 45;
  rtl::TMatrix3D FRenderToMatrix = rtl::TMatrix3D::Identity();
  float FCurrentOpacity = 1;
  TContextStates FCurrentStates;
  rtl::TStack<TContextStates> FSavedStates;

private:
  // Camera * projection, or the screen matrix.
  rtl::TMatrix3D ViewProjection(TProjection AProjection);
};

// Routes creation and the class-level texture and shader work to the default context class. Each
// of these raises EContext3DException while no class is registered.
class TContextManager {
public:
  TContextManager() = delete;

  // The first class registered serves as the default until one registers with ADefault.
  static void RegisterContext(TContext3DClass& AClass, bool ADefault);
  // Forgets every registration.
  static void UnregisterContexts();
  // nullptr when none is registered.
  static TContext3DClass* DefaultContextClass();

  static TContext3D* CreateFromTexture(TTexture* ATexture, TMultisample AMultisample, bool ADepthStencil);
  static TContext3D* CreateFromWindow(TWindowHandle AParent, int32_t AWidth, int32_t AHeight,
                                      TMultisample AMultisample, bool ADepthStencil);
  static void InitializeTexture(TTexture* ATexture);
  static void FinalizeTexture(TTexture* ATexture);
  static void UpdateTexture(TTexture* ATexture, const void* ABits, int32_t APitch);
  static void InitializeShader(TContextShader* AShader);
  static void FinalizeShader(TContextShader* AShader);

private:
  static TContext3DClass& RequireDefault();
};

} // namespace ui
