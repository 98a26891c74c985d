#include "support/fake_frame_buffer.h"

#include "context/Vantrel.Context.h"

namespace vtest {

RTL_DEFINE_CLASS(TFakeFrameBuffer, "Tests.FakeFrameBuffer")

TFakeFrameBuffer::TFakeFrameBuffer(std::string AName, ui::TTexture* AColor0, uint32_t ADepthBuf)
    : FName(std::move(AName)), FDepthBuf(ADepthBuf) {
  if (AColor0)
    FAttachments[vantrel::TRenderTarget::Color_0] = AColor0;
}

void TFakeFrameBuffer::Bind(ui::TContext3D* AContext) {
  FCalls.push_back("Bind");
  if (auto* context = dynamic_cast<vantrel::TVantrelContext*>(AContext))
    context->PushFBO(this);
}

void TFakeFrameBuffer::Unbind(ui::TContext3D* AContext) {
  FCalls.push_back("Unbind");
  auto* context = dynamic_cast<vantrel::TVantrelContext*>(AContext);
  FRebound = context ? context->PopFBO() : nullptr;
}

void TFakeFrameBuffer::Resize(int AWidth, int AHeight) {
  FCalls.push_back("Resize " + std::to_string(AWidth) + " " + std::to_string(AHeight));
}

void TFakeFrameBuffer::AttachTexture(ui::TContext3D*, ui::TTexture* ATexture,
                                     vantrel::TRenderTarget ATarget) {
  FCalls.push_back("AttachTexture " +
                   std::string((*rtl::TypeInfoOf<vantrel::TRenderTarget>().Names)[size_t(ATarget)]));
  FAttachments[ATarget] = ATexture;
}

void TFakeFrameBuffer::AttachDepthBuffer(uint32_t ABufId, const rtl::TPoint& ASize) {
  FCalls.push_back("AttachDepthBuffer " + std::to_string(ABufId) + " " + std::to_string(ASize.X) + " " +
                   std::to_string(ASize.Y));
}

ui::TTexture* TFakeFrameBuffer::GetTextureByRenderTarget(vantrel::TRenderTarget ATarget) {
  const auto found = FAttachments.find(ATarget);
  return found == FAttachments.end() ? nullptr : found->second;
}

} // namespace vtest
