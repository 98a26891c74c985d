#include "context/Vantrel.Context.Extension.OpenGL.h"

#include <epoxy/gl.h>

#include "context/Vantrel.Context.Types.OpenGL.h"
#include "rtl/log.h"
#include "rtl/sysutils.h"

namespace vantrel {

RTL_DEFINE_CLASS(TOpenGLExtensions, "Vantrel.Context.Extension.OpenGL")

namespace {

int InstallCounter = 0;

std::string GLString(GLenum AName) {
  const auto* text = reinterpret_cast<const char*>(glGetString(AName));
  return text ? text : "";
}

} // namespace

void SplitExtensionString(std::string_view AText, TStrings& AList) {
  for (size_t blank = AText.find(' '); blank != std::string_view::npos; blank = AText.find(' ')) {
    AList.Add(AText.substr(0, blank));
    AText.remove_prefix(blank + 1);
  }
  if (!AText.empty())
    AList.Add(AText);
}

void TOpenGLExtensions::LoadExtensions() {
  if (const uint32_t stale = DrainGLErrors(); stale != GL_NO_ERROR)
    Log::d("TOpenGLExtensions.LoadExtensions: pending GL error %d drained before reading the extensions",
           stale);
  const std::string extensions = GLString(GL_EXTENSIONS);
  if (HasGLErrors()) {
    FExtensions->SetSorted(true);
    return;
  }
  SplitExtensionString(extensions, *FExtensions);
  FExtensions->SetSorted(true);
  FRenderer = UpperCase(GLString(GL_RENDERER));
}

void InitializeExtensionOpenGL() {
  if (InstallCounter++ == 0)
    SetExtensionClass(&TOpenGLExtensions::StaticClass());
}

void FinalizeExtensionOpenGL() {
  if (--InstallCounter == 0)
    SetExtensionClass(&TExtensions::StaticClass());
}

} // namespace vantrel
