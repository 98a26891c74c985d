#include "context/Vantrel.Context.ShaderDefines.h"

#include "rtl/sysutils.h"

namespace vantrel {

TContextShaderDefines::TContextShaderDefines(std::string AVendor, std::string ARenderer, std::string AVersion,
                                             const std::string& AExtensions)
    : FVendor(std::move(AVendor)), FRenderer(std::move(ARenderer)), FVersion(std::move(AVersion)) {
  FExtensions.SetDelimiter(' ');
  FExtensions.SetStrictDelimiter(true);
  FExtensions.SetDelimitedText(AExtensions);
  FDefines.SetCapacity(FExtensions.GetCount() + 4);
  AddDefine("MSWINDOWS");
  AddDefine(UpperCase(FVendor));
  AddDefine(UpperCase(FRenderer));
  if (!FVersion.empty())
    AddDefine(UpperCase(std::string_view(FVersion).substr(0, FVersion.find(' '))));
  for (int i = 0; i < FExtensions.GetCount(); ++i)
    AddDefine(UpperCase(FExtensions[i]));
}

void TContextShaderDefines::AddDefine(std::string_view AName) {
  if (TValue* existing = FDefines.Find(AName))
    *existing = TValue::From(true);
  else
    FDefines.Add(std::string(AName), TValue::From(true));
}

} // namespace vantrel
