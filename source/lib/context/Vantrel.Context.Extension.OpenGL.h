#pragma once
// The OpenGL extension list: the names of GL_EXTENSIONS and the upper-cased GL_RENDERER, read
// once from the current GL context.

#include <string_view>

#include "context/Vantrel.Context.Extension.h"

namespace vantrel {

class TOpenGLExtensions : public TExtensions {
  RTL_CLASS(TOpenGLExtensions, TExtensions)
public:
  TOpenGLExtensions() = default;

protected:
  // Errors left over from earlier GL work are drained and logged first, so that only an error of
  // the extension query itself leaves the list empty. Needs a current GL context.
  void LoadExtensions() override;
};

// Adds the blank-separated names of AText to AList: every piece before a blank, an empty one
// (two blanks in a row) included, then the rest when it is not empty.
void SplitExtensionString(std::string_view AText, TStrings& AList);

// Installation counter: the first Initialize installs TOpenGLExtensions as the extension class,
// the matching last Finalize installs TExtensions. Called on the UI thread.
void InitializeExtensionOpenGL();
void FinalizeExtensionOpenGL();

} // namespace vantrel
