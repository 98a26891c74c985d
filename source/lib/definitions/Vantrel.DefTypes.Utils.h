#pragma once
// Text codecs of the definitions: vectors, matrices, arrays, sets and raw bytes as the text members
// of definition JSON, and the helpers that turn definition ids into valid, unique component names.
//
// Numbers are written with the en-US fixed patterns "0.0000000" (F7) or "0.0000" (F4) from the
// value widened to double; a value that rounds to zero is written without sign, and NaN and the
// infinities as "NAN", "INF", "-INF" so that they read back as themselves.
//
// Readers split the text into pieces and never raise:
//   rule A: at "," when the text holds one, else at blanks;
//   rule B: at blanks only.
// Every piece is trimmed of characters up to code 32, empty pieces are skipped, and a piece that
// is no en-US number counts as 0. Readers of a fixed count take the first pieces and leave missing
// values 0. Text written with "," separators therefore reads back only through rule A.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Vantrel.Prelude.h"
#include "definitions/Vantrel.DefTypes.h"
#include "rtl/classes.h"
#include "rtl/math3d.h"
#include "rtl/types2d.h"
#include "ui/mesh_buffers.h"

namespace vantrel {

// X, Y, Z as F7.
std::string Point3DToString(const rtl::TPoint3D& APoint, char ASeparator = ' ');
// Rule A; up to three numbers.
rtl::TPoint3D StringToPoint3D(std::string_view AText);
// X, Y, Z and, with AIncludeW, W as F4.
std::string Vector3DToString(const rtl::TVector3D& AVector, bool AIncludeW, char ASeparator = ' ');
// Rule A; up to four numbers.
rtl::TVector3D StringToVector3D(std::string_view AText);
// X, Y as F7.
std::string PointFToString(const rtl::TPointF& APoint, char ASeparator = ' ');
rtl::TPointF StringToPointF(std::string_view AText);
// Four F7 numbers.
std::string Vector4ToString(float AX, float AY, float AZ, float AW, char ASeparator = ' ');
// Rule A; up to four numbers.
void StringToVector4(std::string_view AText, float& AX, float& AY, float& AZ, float& AW);
// The imaginary part's X, Y, Z, then the real part, through the four-number codecs.
std::string QuaternionToString(const rtl::TQuaternion3D& AQuaternion, char ASeparator = ' ');
rtl::TQuaternion3D StringToQuaternion(std::string_view AText);

// Decimal integers; empty text for no integers.
std::string IntegerArrayToString(std::span<const int32_t> AValues, char ASeparator = ' ');
// Rule B; a piece that is no 32-bit integer counts as 0.
std::vector<int32_t> StringToIntegerArray(std::string_view AText);
// F7 numbers.
std::string SingleArrayToString(std::span<const float> AValues, char ASeparator = ' ');
// Rule B.
std::vector<float> StringToSingleArray(std::string_view AText);
// The 16 entries row by row as F7, appended to ABuilder when given (the result is then its whole
// text).
std::string Matrix3DToString(const rtl::TMatrix3D& AMatrix, std::string* ABuilder = nullptr,
                             char ASeparator = ' ');
// The numbers of StringToSingleArray row by row into a zero matrix; the identity for no number.
rtl::TMatrix3D StringToMatrix3D(std::string_view AText);
// Each point as Point3DToString with blanks, the points joined by ASeparator.
std::string Point3DArrayToString(std::span<const rtl::TPoint3D> APoints, char ASeparator = ' ');
// StringToSingleArray taken in threes; one or two numbers left over are dropped.
std::vector<rtl::TPoint3D> StringToPoint3DArray(std::string_view AText);
// Each byte in decimal followed by one blank (the last one too).
std::string BytesToString(std::span<const uint8_t> ABytes);
// Rule B; each piece an integer (0 when it is none) of which the low 8 bits are kept.
std::vector<uint8_t> StringToBytes(std::string_view AText);

// The element names of a set joined by "," without blanks, in element order.
std::string TextureFlippingsToString(TTextureFlippings AFlippings);
// Split at ","; each untrimmed piece an element name ignoring ASCII case; other pieces are skipped.
TTextureFlippings StringToTextureFlippings(std::string_view AText);
std::string VertexFormatsToString(ui::TVertexFormats AFormats);
ui::TVertexFormats StringToVertexFormats(std::string_view AText);

// AText with every character (code point) outside A-Z, a-z, 0-9 and "_" replaced by one "_", and
// a "_" put in front of a leading digit. Empty text stays empty.
std::string ToValidComponentName(std::string_view AText);
// Whether AName is free: the installed global name hook decides alone; without one, a global
// component of that name makes it taken, and then AOwner and its owners must not own a component
// of that name.
bool IsUniqueComponentName(const rtl::TComponent* AOwner, const std::string& AName);
// ToValidComponentName of AText, with "_1" appended until IsUniqueComponentName holds (Mesh,
// Mesh_1, Mesh_1_1...). Gives up with EComponentError "A component named <name> already exists"
// after 1000 tries, so a hook that rejects every name cannot hang the caller.
std::string GetUniqueComponentName(const rtl::TComponent* AOwner, std::string_view AText);

// File names written on another OS: "\\", "/" and ":" all separate. These serve names stored in
// definition files and bitmap caches; the runtime library's own paths stay POSIX.
// The part after the last separator (the whole text without one).
std::string ForeignExtractFileName(std::string_view AFileName);
// The part up to and including the last separator (empty without one).
std::string ForeignExtractFilePath(std::string_view AFileName);
// Starts with "/" or "\\", or with a drive letter followed by ":".
bool IsForeignAbsolutePath(std::string_view AFileName);
// AFolder followed by AName; a folder without a trailing separator gets its own separator ("\\"
// when it holds one and no "/", else "/"). An empty folder gives AName.
std::string ForeignCombinePath(std::string_view AFolder, std::string_view AName);

// Puts a definition's buffers into AMeshData (nothing for null): AMeshData's vertex buffer drops
// its memory and takes AVertices' layout and a copy of its data while staying the same object
// (so holders of it see the new format); AIndices, when it holds bytes, is copied into the index
// buffer. A runtime-library error is raised again as "DirtyHackApplyMeshDataBuffers() : <message>";
// other exceptions pass unchanged.
void DirtyHackApplyMeshDataBuffers(ui::TMeshData* AMeshData, const ui::TVertexBuffer* AVertices,
                                   const ui::TIndexBuffer* AIndices);

} // namespace vantrel
