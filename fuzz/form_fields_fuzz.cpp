// form_fields: every form-text field reader takes any text without raising; what a reader gives back, its
// writer writes as text that reads back to the same value.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "scene/Vantrel.Control.h"

namespace {

using namespace vantrel;

void Check(bool ACondition) {
  if (!ACondition)
    std::abort();
}

// Reads the text into a value, writes it and reads that back: the two reads agree.
template <class T, class TRead, class TWrite, class TEqual>
void RoundTrip(std::string_view AText, TRead ARead, TWrite AWrite, TEqual AEqual) {
  T value{};
  ARead(value, AText);
  T again{};
  ARead(again, AWrite(value));
  Check(AEqual(value, again));
}

// Bitwise equality, so NaN payloads and signed zeros count as themselves.
template <class T> bool SameBits(const T& A, const T& B) {
  return std::memcmp(&A, &B, sizeof(T)) == 0;
}

// Floats equal or both NaN: a NaN's payload is not kept by the text.
bool SameFloat(float A, float B) {
  return A == B || (A != A && B != B) || SameBits(A, B);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string_view text(reinterpret_cast<const char*>(AData), ASize);
  RoundTrip<TPoint>(text, ReadPointField, WritePointField, [](auto& A, auto& B) { return A == B; });
  RoundTrip<TSize3D>(text, ReadSize3DField, WriteSize3DField,
                     [](auto& A, auto& B) { return A.X == B.X && A.Y == B.Y && A.Z == B.Z; });
  RoundTrip<TPointF>(text, ReadPointFField, WritePointFField,
                     [](auto& A, auto& B) { return SameFloat(A.X, B.X) && SameFloat(A.Y, B.Y); });
  RoundTrip<TPoint3D>(text, ReadPoint3DField, WritePoint3DField, [](auto& A, auto& B) {
    return SameFloat(A.X, B.X) && SameFloat(A.Y, B.Y) && SameFloat(A.Z, B.Z);
  });
  const auto four = [](const float* A, const float* B) {
    return SameFloat(A[0], B[0]) && SameFloat(A[1], B[1]) && SameFloat(A[2], B[2]) && SameFloat(A[3], B[3]);
  };
  RoundTrip<TVector3D>(text, ReadVector3DField, WriteVector3DField,
                       [&](auto& A, auto& B) { return four(&A.X, &B.X); });
  RoundTrip<TQuaternion3D>(text, ReadQuaternionField, WriteQuaternionField,
                           [&](auto& A, auto& B) { return four(&A.ImagPart.X, &B.ImagPart.X); });
  RoundTrip<TAlphaColorF>(text, ReadAlphaColorFField, WriteAlphaColorFField,
                          [&](auto& A, auto& B) { return four(&A.R, &B.R); });
  RoundTrip<TPlaneF>(text, ReadPlaneFField, WritePlaneFField,
                     [&](auto& A, auto& B) { return four(&A.NX, &B.NX); });
  return 0;
}
