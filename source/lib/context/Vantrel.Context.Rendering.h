#pragma once
// Render-pass types shared by the context, the viewport and the materials: the pass kinds and
// methods, the callbacks of a pass, the render context handed to the pass loop, the context-side
// pass object with its table, and the fog settings of a scene.
//
// A render pass is configured by its controller component; for each context that runs it the
// controller makes a TRenderPass, which carries the pass's id, type, method and events and brackets
// one frame of the pass in BeginScene / EndScene. A context keeps its passes in a TRenderPasses
// table keyed by id.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Vantrel.Prelude.h"
#include "context/Vantrel.Context.Types.h"
#include "rtl/colors.h"
#include "rtl/generics.h"
#include "rtl/object.h"
#include "rtl/typeinfo.h"
#include "rtl/types2d.h"
#include "ui/types3d.h"

namespace ui {
class TContext3D;
class TMaterial;
class TTexture;
} // namespace ui

namespace vantrel {

class TRenderPass;
class TVantrelContext;

// ---- Enumerations -------------------------------------------------------------------------------

// When a pass runs: before the main pass, with every draw of the main pass, or after it.
enum class TRenderPassType : uint8_t { Pre, Intermediate, Post };
RTL_ENUM_TYPEINFO(TRenderPassType, "Pre", "Intermediate", "Post")

// What a pass draws: the render list, or one rectangle filling its frame buffer.
enum class TRenderPassMethod : uint8_t { RenderListToFBO, RectToFBO };
RTL_ENUM_TYPEINFO(TRenderPassMethod, "RenderListToFBO", "RectToFBO")

// Which of the render context's two procedures draws a pass's render list.
enum class TRenderPassRenderingProc : uint8_t { DefaultRendering, ListRendering };
RTL_ENUM_TYPEINFO(TRenderPassRenderingProc, "DefaultRendering", "ListRendering")

// ---- Callbacks and the render context -----------------------------------------------------------

struct TRenderContext;
using PRenderContext = TRenderContext*;

using TRenderListProc = std::function<void(PRenderContext ARenderContext)>;
// ACount is the iteration index.
using TOnRenderingPass = std::function<void(TContext3D* AContext, int32_t ACount, TRenderPass* APass)>;
// Called before the context applies the pass's material (ANew) to a draw.
using TOnRenderPassApplyMaterial = std::function<void(TMaterial* AOriginal, TMaterial* ANew)>;

// What the pass loop needs of the viewport that renders.
struct TRenderContext {
  TObject* Viewport = nullptr;
  TRenderListProc DefaultRenderingProc;
  TRenderListProc ListRenderingProc;

  // AContext is not kept: the record has no place for it.
  static TRenderContext Create(TContext3D* AContext, TObject* AViewport,
                               TRenderListProc ADefaultRenderingProc, TRenderListProc AListRenderingProc);
};

// ---- The controller as a pass sees it -----------------------------------------------------------

// What a pass asks of the component that configures it. The render-pass controller implements it.
class IRenderPassController {
public:
  virtual bool GetEnabled() const = 0;
  virtual void SetEnabled(bool AValue) = 0;
  virtual int32_t GetIterations() const = 0;
  virtual void IncFrameCount() = 0;
  // The one-shot request to skip the next frame of the pass.
  virtual bool RenderingSkipped() const = 0;
  virtual void ResetSkippedRendering() = 0;
  virtual void BeginRenderPassRendering(TContext3D* AContext, TAlphaColor AFill, float ADepth,
                                        uint32_t AStencil) = 0;
  virtual TPoint ComputeRenderingSize(TContext3D* AContext, int32_t AWidth, int32_t AHeight) = 0;
  virtual void EndRenderPassRendering(TContext3D* AContext) = 0;
  virtual bool IsPrimitivesKindSupported(TPrimitivesKind AKind) const = 0;
  // The controller's material source; nullptr when it has none.
  virtual TObject* GetShader() const = 0;
  // The context the controller's passes draw into: its renderer's context, which the renderer
  // makes anew on resize, so passes ask for it each time instead of keeping it. nullptr while
  // there is none.
  virtual TContext3D* GetRenderPassContext() const = 0;
  // ListRendering draws the render list through the render context's ListRenderingProc, any
  // other value through its DefaultRenderingProc.
  virtual TRenderPassRenderingProc GetRenderProc() const = 0;
  // Whether the pass loop draws the render list or one rectangle filling the pass's target.
  virtual TRenderPassMethod GetMethod() const = 0;
  // The texture the controller's passes render into.
  virtual TTexture* GetOutputTexture() = 0;
  // Draws ATexture into AContext over ARect, offset by ADstPos: one iteration of a RectToFBO pass.
  virtual void RenderToContext(TContext3D* AContext, TTexture* ATexture, const TRect& ARect,
                               const TPoint& ADstPos) = 0;

protected:
  ~IRenderPassController() = default;
};

// ---- TRenderPass --------------------------------------------------------------------------------

class TRenderPass : public TObject {
  RTL_CLASS(TRenderPass, TObject)
public:
  // AController, when given, must implement IRenderPassController (else EInvalidCast); it is
  // not owned and must outlive the pass.
  static TOwned<TRenderPass> Create(TContext3D* AContext, TObject* AController);

  const std::string& GetId() const { return FId; }
  void SetId(const std::string& AValue) { FId = AValue; }
  TRenderPassType Get_Type() const { return FType; }
  void Set_Type(TRenderPassType AValue) { FType = AValue; }
  TRenderPassMethod GetMethod() const { return FMethod; }
  void SetMethod(TRenderPassMethod AValue) { FMethod = AValue; }
  // The controller's rendering context; without a controller, the context given at creation.
  TContext3D* GetContext() const;
  TObject* GetController() const { return FController; }
  // The controller as the pass sees it; nullptr without one.
  IRenderPassController* GetControl() const { return FControl; }

  const TOnRenderingPass& GetOnBeginRendering() const { return FOnBeginRendering; }
  void SetOnBeginRendering(TOnRenderingPass AValue) { FOnBeginRendering = std::move(AValue); }
  const TOnRenderingPass& GetOnEndRendering() const { return FOnEndRendering; }
  void SetOnEndRendering(TOnRenderingPass AValue) { FOnEndRendering = std::move(AValue); }
  const TOnRenderPassApplyMaterial& GetOnApplyMaterial() const { return FOnApplyMaterial; }
  void SetOnApplyMaterial(TOnRenderPassApplyMaterial AValue) { FOnApplyMaterial = std::move(AValue); }

  // Each answers as below when there is no controller.
  bool GetEnabled() const;                                     // False
  void SetEnabled(bool AValue);                                // ignored
  int32_t GetIterations() const;                               // 0 (the pass loop runs it once)
  bool IsPrimitivesKindSupported(TPrimitivesKind AKind) const; // True
  TObject* GetControllerShader() const;                        // nullptr

  // Opens this frame of the pass on a framework context: counts the frame, lets the controller
  // bind its renderer, sets the viewport to the rendering size and makes the pass the context's
  // current pass. False, with nothing changed, for another context, a disabled pass or a frame
  // the controller asked to skip (which still counts, and clears the request), and for a
  // controller that answers no context. Raises for a pass with neither controller nor context;
  // when anything fails after the controller's begin, the controller's end runs and the
  // viewport is restored before the error passes on, so nothing stays half open.
  bool BeginScene();
  // Closes the frame the last successful BeginScene opened, and only such a frame: the controller
  // ends its rendering, the viewport comes back and the pass leaves the context's pass stack. A GPU
  // error pending at the start is raised after all of that.
  void EndScene();

protected:
  TRenderPass(TContext3D* AContext, TObject* AController);

private:
  // Ends the controller's rendering, then restores the viewport and, when APushed, leaves the
  // context's pass stack; the last two also when the controller's end raises.
  void CloseScene(bool APushed);
  void RestoreScene(TVantrelContext& AContext, bool APushed);

  std::string FId;
  TRenderPassType FType = TRenderPassType::Pre;
  TRenderPassMethod FMethod = TRenderPassMethod::RenderListToFBO;
  TContext3D* FContext;
  TObject* FController;
  IRenderPassController* FControl;
  TVantrelContextSize FOldViewport{};
  // The framework context of the open scene; nullptr between scenes.
  TVantrelContext* FSceneContext = nullptr;
  TOnRenderingPass FOnBeginRendering;
  TOnRenderingPass FOnEndRendering;
  TOnRenderPassApplyMaterial FOnApplyMaterial;
};

// ---- TRenderPasses ------------------------------------------------------------------------------

// A context's passes by id, in insertion order. Removing or replacing an entry frees its pass
// when the pass's Id is not empty (setting the same pass again changes nothing); ExtractPair
// hands a pass out without freeing it. The table frees its passes before it goes.
class TRenderPasses : public TObject, public TDictionary<std::string, TRenderPass*> {
  RTL_CLASS(TRenderPasses, TObject)
public:
  static TOwned<TRenderPasses> Create(TContext3D* AContext);
  ~TRenderPasses() override;

  TContext3D* GetContext() const { return FContext; }
  // The enabled passes of type Pre or Post, in insertion order.
  std::vector<TRenderPass*> GetPreProcessingPasses() const;
  std::vector<TRenderPass*> GetPostProcessingPasses() const;

protected:
  explicit TRenderPasses(TContext3D* AContext) : FContext(AContext) {}
  void ValueNotify(TRenderPass* const& AValue, TCollectionNotification AAction) override;

private:
  std::vector<TRenderPass*> EnabledPasses(TRenderPassType AType) const;

  TContext3D* FContext;
};

// ---- Fog ----------------------------------------------------------------------------------------

struct TVantrelFogSettings {
  bool Enabled = false;
  // The flag the shaders test: 2 linear, 4 exponential, 8 squared exponential. They combine it
  // with Enabled (bit value 1) into one fog-mode integer.
  uint8_t Mode = 0;
  float Density = 0;
  float FogStart = 0;
  float FogEnd = 0;
  TAlphaColorF Color;

  // Color is opaque black.
  static TVantrelFogSettings Create(bool AEnabled, uint8_t AMode, float ADensity, float AStart, float AEnd);
};

} // namespace vantrel
