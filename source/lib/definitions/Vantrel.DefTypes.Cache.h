#pragma once
// Animation frame caching. TAnimationFrameCompression turns a frame's vertex data into attribute
// streams and zlib streams; the attribute extraction itself lives with the mesh buffers
// (Vantrel.Context.Buffers), which need it below this folder to upload one attribute of an
// interleaved vertex buffer. TAnimationCaching plays an animation of a model control once, frame
// by frame, and stores the skinned vertices of every mesh in the animation definition's buffers;
// it reaches the control through ICachingModel, which the model unit above provides.
// The definitions' header includes this one; it needs nothing of theirs but their names.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Vantrel.Prelude.h"
#include "rtl/classes.h"
#include "rtl/generics.h"
#include "rtl/method.h"
#include "rtl/object.h"
#include "rtl/set.h"
#include "rtl/streams.h"
#include "rtl/typeinfo.h"
#include "rtl/value.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

class TModelDef;
class TMeshDef;
class TAnimationDef;
class TAnimationBuffer;

// How a model's animations are cached once loaded (a load option).
enum class TAnimationCachingFlag : uint8_t { AllAttributes, Compressed, VertexPosition };
RTL_ENUM_TYPEINFO(TAnimationCachingFlag, "AllAttributes", "Compressed", "VertexPosition")
using TAnimationCachingFlags = rtl::TSet<TAnimationCachingFlag>;

class TAnimationFrameCompression : public rtl::TObject {
  RTL_CLASS(TAnimationFrameCompression, rtl::TObject)
public:
  // The bytes one vertex's attribute takes in a stream: 12 for positions, normals, binormals and
  // tangents, 4 for every colour (float colours are written as 32-bit colours), 8 for texture
  // coordinates; 0 for ordinals 16 and above, which write nothing.
  static int32_t AttributeSize(ui::TVertexFormat AFormat);

  // Writes the attribute AFormat of every vertex of ABuffer, tightly packed, at AStream's
  // position, then rewinds AStream. An attribute the buffer lacks is written as zeros.
  static void SetSourceStream(ui::TVertexFormat AFormat, const ui::TVertexBuffer* ABuffer,
                              rtl::TMemoryStream* AStream);
  // Writes ASize bytes from AData at AStream's position, then rewinds AStream.
  static void SetSourceStream(const void* AData, int64_t ASize, rtl::TMemoryStream* AStream);
  // A new stream filled by the matching SetSourceStream, positioned at 0.
  static rtl::TOwned<rtl::TMemoryStream> GetSourceStream(ui::TVertexFormat AFormat, const ui::TVertexBuffer* ABuffer);
  static rtl::TOwned<rtl::TMemoryStream> GetSourceStream(const void* AData, int64_t ASize);

  // The attribute stream of GetSourceStream, or the bytes, as one complete zlib stream at the
  // highest level, fed to the compressor in blocks of 1 MiB; the result stands at its end. It
  // equals rtl::ZCompress of the same bytes at clMax.
  static rtl::TOwned<rtl::TMemoryStream> Compress(ui::TVertexFormat AFormat, const ui::TVertexBuffer* ABuffer);
  static rtl::TOwned<rtl::TMemoryStream> Compress(const void* AData, int64_t ASize);
  // The inflated content of AStream, read from its start, in a new stream positioned at 0.
  // Corrupt or truncated data raises the decompressor's error.
  static rtl::TOwned<rtl::TMemoryStream> Decompress(rtl::TMemoryStream* AStream);

protected:
  TAnimationFrameCompression() = default;
};

// Where a caching run stands when it reports the animation.
enum class TAnimationCachingState : uint8_t { Started, Finished };
RTL_ENUM_TYPEINFO(TAnimationCachingState, "Started", "Finished")

inline constexpr const char* SCachingModelNotValid =
    "failed to cache model animations - model not a valid TVantrelModel";

// What a caching run asks of the model control it plays. The model unit, above the definitions,
// provides it (its start-up installs the factory below), so the run names no scene control.
class ICachingModel {
public:
  // One mesh of the model: its mesh definition (nullptr when it has none) and the current buffers
  // of its mesh data (nullptr without data).
  struct TMesh {
    TMeshDef* Def = nullptr;
    const ui::TVertexBuffer* Vertices = nullptr;
    const ui::TIndexBuffer* Indices = nullptr;
  };
  // Position buffers by mesh definition, which skinning fills in place of the meshes' own.
  using TPositions = rtl::TDictionary<TMeshDef*, ui::TVertexBuffer*>;

  // A control made for the run is freed here, without the definition it loaded.
  virtual ~ICachingModel() = default;

  virtual rtl::TComponent* Control() const = 0;
  // True when the control was made for the run.
  virtual bool IsTemporary() const = 0;
  // The definition of the model's own mesh, or nullptr.
  virtual TMeshDef* RootMeshDef() const = 0;
  // The model's mesh, then every sub-mesh depth-first.
  virtual std::vector<TMesh> Meshes() const = 0;
  // Chooses the model's run-time animation of ADef, which the calls below play, and returns it;
  // nullptr when the model has none.
  virtual rtl::TComponent* SelectAnimation(TAnimationDef* ADef) = 0;
  virtual void StartAnimation() = 0;
  virtual void StopAnimation() = 0;
  // Every track back at time 0, its resolved paths forgotten.
  virtual void RewindAnimation() = 0;
  // The pose at the tracks' current time (time 0 after a rewind), set without a tick.
  virtual void PoseCurrentTime() = 0;
  // The pose one step of ADeltaTime on from ATime.
  virtual void StepAnimation(float ATime, float ADeltaTime) = 0;
  // Skins every armature's meshes, into APositions for the definitions it holds.
  virtual void Skin(TPositions* APositions) = 0;
};

// The model a run plays: AModel when it is a model control (else raises SCachingModelNotValid), or
// a new control that loads ADef when AModel is nil.
using TCachingModelFactory = std::unique_ptr<ICachingModel> (*)(TModelDef* ADef, rtl::TObject* AModel);
// Installs AFactory and returns the one it replaces. Until the model unit installs one a run has
// no model control: it plays and caches nothing.
TCachingModelFactory SetCachingModelFactory(TCachingModelFactory AFactory);

// (definition, run-time animation, state).
using TOnAnimationNotify = rtl::TMethodEvent<TAnimationDef*, rtl::TObject*, TAnimationCachingState>;
// (definition, run-time animation, frame, frame count). The type keeps the name stored forms use.
using TOnAnimationFrameNotifiy = rtl::TMethodEvent<TAnimationDef*, rtl::TObject*, int32_t, int32_t>;
// (definition, run-time animation, frame, the buffer that stored it).
using TOnAnimationCachedNotify = rtl::TMethodEvent<TAnimationDef*, rtl::TObject*, int32_t, TAnimationBuffer*>;

// One caching run over the animations of a model definition, played by a model control (through
// ICachingModel): each frame advances the animation's tracks, skins every mesh and stores its
// vertices. Runs on the caller's thread with the platform's animation timer held off.
class TAnimationCaching : public rtl::TComponent {
  RTL_CLASS(TAnimationCaching, rtl::TComponent)
public:
  // AModel must be a model control (else SCachingModelNotValid); without one a temporary model
  // control loads ADef. The temporary control never owns ADef: the caller is still walking it.
  TAnimationCaching(TModelDef* ADef, TAnimationCachingFlags AFlags, rtl::TObject* AModel);
  ~TAnimationCaching() override;
  static void RegisterProperties(rtl::TPropertyList& AList);

  TAnimationCachingFlags Flags() const { return FFlags; }
  TModelDef* ModelDef() const { return FModelDef; }
  // The model control that plays the animations (nullptr before the model unit is started).
  rtl::TComponent* Model() const { return FModel ? FModel->Control() : nullptr; }
  bool IsModelTemp() const { return FModel && FModel->IsTemporary(); }
  // Seconds between two stored frames of the last run: Duration / (FrameCount - 1), 0 for one frame.
  double FrameTime() const { return FFrameTime; }

  // Caches AAnimDef: frame k holds the pose at k x FrameTime. The definition ends Ready, also
  // after an error, which is raised again.
  void Execute(TAnimationDef* AAnimDef);
  void BeginFrame(int32_t ACurrent, int32_t ATotal);
  // Stores the current vertices of every mesh as frame ACurrent.
  void EndFrame(int32_t ACurrent, int32_t ATotal);

  TOnAnimationNotify OnBeginAnimation, OnEndAnimation;
  TOnAnimationFrameNotifiy OnBeginFrame, OnEndFrame;
  TOnAnimationCachedNotify OnCached;

private:
  using TMeshBuffers = rtl::TObjectDictionary<TMeshDef*, ui::TVertexBuffer*>;

  TModelDef* FModelDef;
  TAnimationDef* FAnimDef = nullptr;
  TAnimationCachingFlags FFlags;
  std::unique_ptr<ICachingModel> FModel;
  rtl::TComponent* FAnimation = nullptr;
  double FLastTime = 0, FTotalTime = 0, FFrameTime = 0;
  std::unique_ptr<TMeshBuffers> FMeshBuffers;

  void PrepareMeshBuffers();
  void CacheFrames();
};

// The caching of a model definition's animations (its CacheAnimations): one caching run over
// AModel (a temporary model control when nil) for every animation in list order that is selected
// and never cached. An empty ASelected selects all; otherwise an entry selects the animation whose
// Id equals it exactly when it is a string, and entries of other kinds select nothing. Returns the
// number of animations cached; the run is freed also on an error.
int32_t CacheModelAnimations(TModelDef* ADef, std::span<const rtl::TValue> ASelected, TAnimationCachingFlags AFlags,
                             rtl::TObject* AModel);

} // namespace vantrel
