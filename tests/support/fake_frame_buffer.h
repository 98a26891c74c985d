#pragma once
// A frame buffer without GPU object for tests of the framework's context: it binds through the
// context's frame-buffer stack exactly as a real one does (Bind pushes it; Unbind pops the top and
// "binds" the entry it popped) and records every call.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "context/Vantrel.Context.Buffers.h"

namespace vtest {

class TFakeFrameBuffer : public vantrel::TFrameBufferObject {
  RTL_CLASS(TFakeFrameBuffer, vantrel::TFrameBufferObject)
public:
  TFakeFrameBuffer() = default;
  // AColor0 (not owned) answers for Color_0; ADepthBuf is the depth render buffer's name.
  TFakeFrameBuffer(std::string AName, ui::TTexture* AColor0, uint32_t ADepthBuf = 0);

  // Pushes on the framework context's stack; other contexts see no stack.
  void Bind(ui::TContext3D* AContext) override;
  // Pops the framework context's stack; Rebound becomes the popped entry (nullptr when the stack
  // was empty or the context is another kind).
  void Unbind(ui::TContext3D* AContext) override;
  void Resize(int AWidth, int AHeight) override;
  void AttachTexture(ui::TContext3D* AContext, ui::TTexture* ATexture,
                     vantrel::TRenderTarget ATarget) override;
  void AttachDepthBuffer(uint32_t ABufId, const rtl::TPoint& ASize) override;
  ui::TTexture* GetTextureByRenderTarget(vantrel::TRenderTarget ATarget) override;
  uint32_t DepthBuf() const override { return FDepthBuf; }

  const std::string& Name() const { return FName; }
  // "Bind", "Unbind", "Resize 640 480", "AttachTexture Depth", "AttachDepthBuffer 7 256 128".
  const std::vector<std::string>& Calls() const { return FCalls; }
  vantrel::TFrameBufferObject* Rebound() const { return FRebound; }

private:
  std::string FName;
  uint32_t FDepthBuf = 0;
  std::map<vantrel::TRenderTarget, ui::TTexture*> FAttachments;
  std::vector<std::string> FCalls;
  vantrel::TFrameBufferObject* FRebound = nullptr;
};

} // namespace vtest
