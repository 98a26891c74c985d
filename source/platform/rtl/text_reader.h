#pragma once
// The abstract reader of decoded text. Characters are UTF-16 code units; single-character reads
// answer -1 when there is none.

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/object.h"

namespace rtl {

class TTextReader : public TObject {
  RTL_CLASS(TTextReader, TObject)
public:
  virtual void Close() = 0;
  virtual int32_t Peek() = 0;
  virtual int32_t Read() = 0;
  // Reads up to ACount characters into ABuffer from AIndex on; returns how many it read.
  virtual int32_t Read(std::vector<char16_t>& ABuffer, int32_t AIndex, int32_t ACount) = 0;
  virtual int32_t ReadBlock(std::vector<char16_t>& ABuffer, int32_t AIndex, int32_t ACount) = 0;
  virtual std::u16string ReadLine() = 0;
  virtual std::u16string ReadToEnd() = 0;
  virtual void Rewind() = 0;

protected:
  TTextReader() = default;
};

} // namespace rtl
