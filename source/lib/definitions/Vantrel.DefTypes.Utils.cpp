#include "definitions/Vantrel.DefTypes.Utils.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "rtl/exceptions.h"
#include "rtl/sysutils.h"
#include "rtl/utf8.h"
#include "ui/fmx_object.h"

namespace vantrel {

namespace {

// Appends AValue in the fixed pattern with ADecimals decimals.
void AppendFixed(std::string& AOut, float AValue, int ADecimals) {
  if (std::isnan(AValue)) {
    AOut += "NAN";
    return;
  }
  if (std::isinf(AValue)) {
    AOut += AValue > 0 ? "INF" : "-INF";
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(AValue),
                                    std::chars_format::fixed, ADecimals);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string_view::npos)
    text.remove_prefix(1);
  AOut += text;
}

void AppendSeparated(std::string& AOut, float AValue, int ADecimals, char ASeparator, bool AFirst) {
  if (!AFirst)
    AOut += ASeparator;
  AppendFixed(AOut, AValue, ADecimals);
}

// A double as the nearest float; magnitudes beyond the float range become infinities rather than
// an undefined conversion.
float ToSingle(double AValue) {
  constexpr double max = std::numeric_limits<float>::max();
  if (AValue > max)
    return std::numeric_limits<float>::infinity();
  if (AValue < -max)
    return -std::numeric_limits<float>::infinity();
  return static_cast<float>(AValue);
}

bool IsPlainNumberCharacter(char AChar) {
  return (AChar >= '0' && AChar <= '9') || AChar == '.' || AChar == '-' || AChar == 'e' || AChar == 'E' ||
         AChar == '+';
}

// A piece as the en-US reader reads it. Plain decimal text, the bulk of every array, is read in
// place; anything else (a leading "+", "NAN", "INF") goes through the general reader.
float PieceToSingle(std::string_view APiece) {
  double value = 0;
  if (std::all_of(APiece.begin(), APiece.end(), IsPlainNumberCharacter)) {
    const auto [end, error] = std::from_chars(APiece.data(), APiece.data() + APiece.size(), value);
    if (error == std::errc() && end == APiece.data() + APiece.size())
      return ToSingle(value);
  }
  return rtl::TryStrToFloat(APiece, value) ? ToSingle(value) : 0.0f;
}

bool IsSpace(char AChar) {
  return static_cast<unsigned char>(AChar) <= ' ';
}

// The trimmed, non-empty pieces of AText between ADelimiter characters.
template <class TVisit> void ForEachPiece(std::string_view AText, char ADelimiter, TVisit&& AVisit) {
  size_t start = 0;
  while (start <= AText.size()) {
    size_t end = AText.find(ADelimiter, start);
    if (end == std::string_view::npos)
      end = AText.size();
    std::string_view piece = AText.substr(start, end - start);
    while (!piece.empty() && IsSpace(piece.front()))
      piece.remove_prefix(1);
    while (!piece.empty() && IsSpace(piece.back()))
      piece.remove_suffix(1);
    if (!piece.empty())
      AVisit(piece);
    start = end + 1;
  }
}

char RuleADelimiter(std::string_view AText) {
  return AText.find(',') != std::string_view::npos ? ',' : ' ';
}

// The first ACount numbers of AText by rule A into AValues; the others stay 0.
template <size_t N> std::array<float, N> ReadNumbersRuleA(std::string_view AText) {
  std::array<float, N> values{};
  size_t count = 0;
  ForEachPiece(AText, RuleADelimiter(AText), [&](std::string_view APiece) {
    if (count < N)
      values[count++] = PieceToSingle(APiece);
  });
  return values;
}

template <class TSetType, class E>
std::string SetToString(const TSetType& ASet, const rtl::TTypeInfo& AType) {
  std::string result;
  for (size_t i = 0; i < AType.Names->size(); ++i) {
    if (!ASet.Contains(static_cast<E>(i)))
      continue;
    if (!result.empty())
      result += ',';
    result += (*AType.Names)[i];
  }
  return result;
}

template <class TSetType, class E> TSetType StringToSet(std::string_view AText, const rtl::TTypeInfo& AType) {
  TSetType result;
  if (AText.empty())
    return result;
  for (const std::string& piece : rtl::SplitString(AText, ","))
    if (const int ordinal = AType.IndexOfName(piece); ordinal >= 0)
      result.Include(static_cast<E>(ordinal));
  return result;
}

bool IsNameCharacter(char32_t ACodePoint) {
  return (ACodePoint >= 'A' && ACodePoint <= 'Z') || (ACodePoint >= 'a' && ACodePoint <= 'z') ||
         (ACodePoint >= '0' && ACodePoint <= '9') || ACodePoint == '_';
}

constexpr int MaxUniqueNameTries = 1000;

} // namespace

std::string Point3DToString(const TPoint3D& APoint, char ASeparator) {
  std::string result;
  AppendSeparated(result, APoint.X, 7, ASeparator, true);
  AppendSeparated(result, APoint.Y, 7, ASeparator, false);
  AppendSeparated(result, APoint.Z, 7, ASeparator, false);
  return result;
}

TPoint3D StringToPoint3D(std::string_view AText) {
  const auto values = ReadNumbersRuleA<3>(AText);
  return {values[0], values[1], values[2]};
}

std::string Vector3DToString(const TVector3D& AVector, bool AIncludeW, char ASeparator) {
  std::string result;
  AppendSeparated(result, AVector.X, 4, ASeparator, true);
  AppendSeparated(result, AVector.Y, 4, ASeparator, false);
  AppendSeparated(result, AVector.Z, 4, ASeparator, false);
  if (AIncludeW)
    AppendSeparated(result, AVector.W, 4, ASeparator, false);
  return result;
}

TVector3D StringToVector3D(std::string_view AText) {
  const auto values = ReadNumbersRuleA<4>(AText);
  return {values[0], values[1], values[2], values[3]};
}

std::string PointFToString(const TPointF& APoint, char ASeparator) {
  std::string result;
  AppendSeparated(result, APoint.X, 7, ASeparator, true);
  AppendSeparated(result, APoint.Y, 7, ASeparator, false);
  return result;
}

TPointF StringToPointF(std::string_view AText) {
  const auto values = ReadNumbersRuleA<2>(AText);
  return {values[0], values[1]};
}

std::string Vector4ToString(float AX, float AY, float AZ, float AW, char ASeparator) {
  std::string result;
  AppendSeparated(result, AX, 7, ASeparator, true);
  AppendSeparated(result, AY, 7, ASeparator, false);
  AppendSeparated(result, AZ, 7, ASeparator, false);
  AppendSeparated(result, AW, 7, ASeparator, false);
  return result;
}

void StringToVector4(std::string_view AText, float& AX, float& AY, float& AZ, float& AW) {
  const auto values = ReadNumbersRuleA<4>(AText);
  AX = values[0];
  AY = values[1];
  AZ = values[2];
  AW = values[3];
}

std::string QuaternionToString(const TQuaternion3D& AQuaternion, char ASeparator) {
  const TPoint3D& imag = AQuaternion.ImagPart;
  return Vector4ToString(imag.X, imag.Y, imag.Z, AQuaternion.RealPart, ASeparator);
}

TQuaternion3D StringToQuaternion(std::string_view AText) {
  TQuaternion3D result;
  StringToVector4(AText, result.ImagPart.X, result.ImagPart.Y, result.ImagPart.Z, result.RealPart);
  return result;
}

std::string IntegerArrayToString(std::span<const int32_t> AValues, char ASeparator) {
  std::string result;
  for (size_t i = 0; i < AValues.size(); ++i) {
    if (i > 0)
      result += ASeparator;
    result += rtl::IntToStr(AValues[i]);
  }
  return result;
}

std::vector<int32_t> StringToIntegerArray(std::string_view AText) {
  std::vector<int32_t> result;
  ForEachPiece(AText, ' ', [&](std::string_view APiece) {
    int value = 0;
    result.push_back(rtl::TryStrToInt(APiece, value) ? value : 0);
  });
  return result;
}

std::string SingleArrayToString(std::span<const float> AValues, char ASeparator) {
  std::string result;
  result.reserve(AValues.size() * 11);
  for (size_t i = 0; i < AValues.size(); ++i)
    AppendSeparated(result, AValues[i], 7, ASeparator, i == 0);
  return result;
}

std::vector<float> StringToSingleArray(std::string_view AText) {
  std::vector<float> result;
  result.reserve(AText.size() / 10);
  ForEachPiece(AText, ' ', [&](std::string_view APiece) { result.push_back(PieceToSingle(APiece)); });
  return result;
}

std::string Matrix3DToString(const TMatrix3D& AMatrix, std::string* ABuilder, char ASeparator) {
  std::string own;
  std::string& out = ABuilder ? *ABuilder : own;
  for (int i = 0; i < 16; ++i)
    AppendSeparated(out, AMatrix(i / 4, i % 4), 7, ASeparator, i == 0);
  return out;
}

TMatrix3D StringToMatrix3D(std::string_view AText) {
  const std::vector<float> values = StringToSingleArray(AText);
  if (values.empty())
    return TMatrix3D::Identity();
  TMatrix3D result;
  for (size_t i = 0; i < values.size() && i < 16; ++i)
    result(static_cast<int>(i / 4), static_cast<int>(i % 4)) = values[i];
  return result;
}

std::string Point3DArrayToString(std::span<const TPoint3D> APoints, char ASeparator) {
  std::string result;
  for (size_t i = 0; i < APoints.size(); ++i) {
    if (i > 0)
      result += ASeparator;
    result += Point3DToString(APoints[i]);
  }
  return result;
}

std::vector<TPoint3D> StringToPoint3DArray(std::string_view AText) {
  const std::vector<float> values = StringToSingleArray(AText);
  std::vector<TPoint3D> result;
  result.reserve(values.size() / 3);
  for (size_t i = 0; i + 2 < values.size(); i += 3)
    result.push_back({values[i], values[i + 1], values[i + 2]});
  return result;
}

std::string BytesToString(std::span<const uint8_t> ABytes) {
  std::string result;
  result.reserve(ABytes.size() * 4);
  for (const uint8_t byte : ABytes) {
    result += rtl::IntToStr(byte);
    result += ' ';
  }
  return result;
}

std::vector<uint8_t> StringToBytes(std::string_view AText) {
  std::vector<uint8_t> result;
  ForEachPiece(AText, ' ', [&](std::string_view APiece) {
    int value = 0;
    result.push_back(rtl::TryStrToInt(APiece, value) ? static_cast<uint8_t>(value & 0xFF) : 0);
  });
  return result;
}

std::string TextureFlippingsToString(TTextureFlippings AFlippings) {
  return SetToString<TTextureFlippings, TTextureFlipping>(AFlippings, rtl::TypeInfoOf<TTextureFlipping>());
}

TTextureFlippings StringToTextureFlippings(std::string_view AText) {
  return StringToSet<TTextureFlippings, TTextureFlipping>(AText, rtl::TypeInfoOf<TTextureFlipping>());
}

std::string VertexFormatsToString(ui::TVertexFormats AFormats) {
  return SetToString<ui::TVertexFormats, ui::TVertexFormat>(AFormats, rtl::TypeInfoOf<ui::TVertexFormat>());
}

ui::TVertexFormats StringToVertexFormats(std::string_view AText) {
  return StringToSet<ui::TVertexFormats, ui::TVertexFormat>(AText, rtl::TypeInfoOf<ui::TVertexFormat>());
}

std::string ToValidComponentName(std::string_view AText) {
  std::string result;
  result.reserve(AText.size());
  const char* cursor = AText.data();
  const char* const end = cursor + AText.size();
  while (cursor < end) {
    const char32_t codePoint = rtl::NextUtf8(cursor, end);
    result += IsNameCharacter(codePoint) ? static_cast<char>(codePoint) : '_';
  }
  if (!result.empty() && result.front() >= '0' && result.front() <= '9')
    result.insert(result.begin(), '_');
  return result;
}

namespace {

// The next component whose owned names a name must not clash with: the owner, or, for a UI object
// without owner (one built at run time and only parented), its parent.
const TComponent* NextNameScope(const TComponent* AComponent) {
  if (const TComponent* owner = AComponent->Owner())
    return owner;
  if (const auto* object = dynamic_cast<const ui::TFmxObject*>(AComponent))
    return object->Parent();
  return nullptr;
}

} // namespace

bool IsUniqueComponentName(const TComponent* AOwner, const std::string& AName) {
  if (const auto& hook = rtl::IsUniqueGlobalComponentNameProc())
    return hook(AName);
  if (rtl::FindGlobalComponent(AName))
    return false;
  for (const TComponent* owner = AOwner; owner; owner = NextNameScope(owner))
    if (owner->FindComponent(AName))
      return false;
  return true;
}

std::string GetUniqueComponentName(const TComponent* AOwner, std::string_view AText) {
  std::string name = ToValidComponentName(AText);
  for (int tries = 0; !IsUniqueComponentName(AOwner, name); ++tries) {
    if (tries == MaxUniqueNameTries)
      throw rtl::EComponentError(rtl::Format(rtl::messages::DuplicateName, {name}));
    name += "_1";
  }
  return name;
}

void DirtyHackApplyMeshDataBuffers(TMeshData* AMeshData, const TVertexBuffer* AVertices,
                                   const TIndexBuffer* AIndices) {
  if (!AMeshData)
    return;
  try {
    if (AVertices)
      AMeshData->VertexBuffer().AdoptLayoutAndCopy(*AVertices);
    if (AIndices && AIndices->Buffer())
      AMeshData->IndexBuffer().Assign(*AIndices);
  } catch (const Exception& e) {
    throw Exception("DirtyHackApplyMeshDataBuffers() : " + e.Message());
  }
}

// ---- File names written on another OS --------------------------------------------------------------

namespace {
bool IsForeignSeparator(char AChar) {
  return AChar == '\\' || AChar == '/' || AChar == ':';
}
size_t AfterLastForeignSeparator(std::string_view AFileName) {
  for (size_t i = AFileName.size(); i > 0; --i)
    if (IsForeignSeparator(AFileName[i - 1]))
      return i;
  return 0;
}
} // namespace

std::string ForeignExtractFileName(std::string_view AFileName) {
  return std::string(AFileName.substr(AfterLastForeignSeparator(AFileName)));
}

std::string ForeignExtractFilePath(std::string_view AFileName) {
  return std::string(AFileName.substr(0, AfterLastForeignSeparator(AFileName)));
}

bool IsForeignAbsolutePath(std::string_view AFileName) {
  if (!AFileName.empty() && (AFileName[0] == '/' || AFileName[0] == '\\'))
    return true;
  const bool driveLetter = AFileName.size() >= 2 && ((AFileName[0] >= 'A' && AFileName[0] <= 'Z') ||
                                                     (AFileName[0] >= 'a' && AFileName[0] <= 'z'));
  return driveLetter && AFileName[1] == ':';
}

std::string ForeignCombinePath(std::string_view AFolder, std::string_view AName) {
  if (AFolder.empty())
    return std::string(AName);
  std::string result(AFolder);
  if (!IsForeignSeparator(result.back()))
    result += AFolder.find('\\') != std::string_view::npos && AFolder.find('/') == std::string_view::npos ? '\\' : '/';
  result += AName;
  return result;
}

} // namespace vantrel
