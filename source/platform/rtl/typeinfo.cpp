#include "rtl/typeinfo.h"

namespace rtl {

int TTypeInfo::IndexOfName(std::string_view AName) const {
  if (!Names)
    return -1;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < Names->size(); ++i) {
    std::string_view name = (*Names)[i];
    if (name.size() != AName.size())
      continue;
    bool same = true;
    for (size_t k = 0; k < name.size() && same; ++k)
      same = lower(name[k]) == lower(AName[k]);
    if (same)
      return static_cast<int>(i);
  }
  return -1;
}

#define RTL_FUNDAMENTAL(Fn, Name, Kind, Size, Unsigned)                                                      \
  const TTypeInfo& Fn() {                                                                                    \
    static const TTypeInfo info{Name, TTypeKind::Kind, Size, Unsigned, nullptr};                             \
    return info;                                                                                             \
  }

RTL_FUNDAMENTAL(TypeInfoInteger, "Integer", tkInteger, 4, false)
RTL_FUNDAMENTAL(TypeInfoCardinal, "Cardinal", tkInteger, 4, true)
RTL_FUNDAMENTAL(TypeInfoShortInt, "ShortInt", tkInteger, 1, false)
RTL_FUNDAMENTAL(TypeInfoByte, "Byte", tkInteger, 1, true)
RTL_FUNDAMENTAL(TypeInfoSmallInt, "SmallInt", tkInteger, 2, false)
RTL_FUNDAMENTAL(TypeInfoWord, "Word", tkInteger, 2, true)
RTL_FUNDAMENTAL(TypeInfoInt64, "Int64", tkInt64, 8, false)
RTL_FUNDAMENTAL(TypeInfoUInt64, "UInt64", tkInt64, 8, true)
RTL_FUNDAMENTAL(TypeInfoSingle, "Single", tkFloat, 4, false)
RTL_FUNDAMENTAL(TypeInfoDouble, "Double", tkFloat, 8, false)
RTL_FUNDAMENTAL(TypeInfoExtended, "Extended", tkFloat, 8, false)
RTL_FUNDAMENTAL(TypeInfoDateTime, "TDateTime", tkFloat, 8, false)
RTL_FUNDAMENTAL(TypeInfoString, "string", tkString, sizeof(std::string), false)
RTL_FUNDAMENTAL(TypeInfoChar, "Char", tkChar, 4, true)
RTL_FUNDAMENTAL(TypeInfoObject, "TObject", tkClass, sizeof(void*), false)
RTL_FUNDAMENTAL(TypeInfoAlphaColor, "TAlphaColor", tkInteger, 4, true)

const TTypeInfo& TypeInfoBytes() {
  static const TTypeInfo info{"TBytes",
                              TTypeKind::tkRecord,
                              sizeof(std::vector<uint8_t>),
                              false,
                              nullptr,
                              &RecordOpsOf<std::vector<uint8_t>>()};
  return info;
}

const TTypeInfo& TypeInfoBoolean() {
  static const std::vector<std::string_view> names{"False", "True"};
  static const TTypeInfo info{"Boolean", TTypeKind::tkBoolean, 1, true, &names};
  return info;
}

const TTypeInfo& TypeInfoLongBool() {
  static const std::vector<std::string_view> names{"False", "True"};
  static const TTypeInfo info{"LongBool", TTypeKind::tkBoolean, 4, true, &names};
  return info;
}

} // namespace rtl
