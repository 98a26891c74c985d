#pragma once
// The driver's identity as the shader generator needs it: the vendor, renderer and version
// strings, the extension names, and the defines every generated stage starts with. Splitting and
// upper-casing the extension string (some 350 names on llvmpipe) cost more than writing a whole
// stage's text, so a GL context prepares this once, on first use, and every stage builder shares
// the finished table. The object is immutable: a builder made before the context is released
// keeps it alive.

#include <memory>
#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "rtl/generics.h"
#include "rtl/stringlist.h"
#include "rtl/value.h"

namespace vantrel {

// The builders' define table: insertion-ordered, case-sensitive names, each with a value.
using TContextDefineTable = TDictionary<std::string, TValue>;

class TContextShaderDefines {
public:
  // The extension string is split at single blanks, so a trailing blank adds an empty name.
  TContextShaderDefines(std::string AVendor, std::string ARenderer, std::string AVersion,
                        const std::string& AExtensions);

  const std::string& Vendor() const { return FVendor; }
  const std::string& Renderer() const { return FRenderer; }
  const std::string& Version() const { return FVersion; }
  const TStringList& Extensions() const { return FExtensions; }
  // "MSWINDOWS" (the platform the generated texts are written for), then the upper-cased vendor,
  // renderer, first version word (when the version is not empty) and every extension name, each
  // True. A name met twice keeps its first place.
  const TContextDefineTable& Defines() const { return FDefines; }
  // What a shader generator keeps about the texts it made from this table (its cache of
  // finished texts). It lives and dies with the table, so a text is never served to a driver it
  // was not made for; the table itself never changes.
  std::shared_ptr<void>& GeneratorState() const { return FGeneratorState; }

private:
  void AddDefine(std::string_view AName);

  std::string FVendor;
  std::string FRenderer;
  std::string FVersion;
  TStringList FExtensions;
  TContextDefineTable FDefines;
  mutable std::shared_ptr<void> FGeneratorState;
};

using TContextShaderDefinesPtr = std::shared_ptr<const TContextShaderDefines>;

} // namespace vantrel
