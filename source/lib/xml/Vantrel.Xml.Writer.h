#pragma once
// The XML writer's text builder: the document writes its tree into it as UTF-8 text, with tab
// indentation when beautified, and flushes the whole text into the target stream in one go.

#include <cstdint>
#include <string>
#include <string_view>

#include "Vantrel.Prelude.h"
#include "rtl/object.h"
#include "rtl/streams.h"

namespace vantrel {

class TMz_XmlDocument;

class TMz_StreamWriter : public TObject {
  RTL_CLASS(TMz_StreamWriter, TObject)
public:
  // The largest piece flush hands to the stream at once.
  static constexpr int64_t FlushChunkSize = 1048576;

  // pStream may be null for a writer whose text is only taken with ToString.
  TMz_StreamWriter(TStream* pStream, bool pBeautify);

  // Appends pData, preceded by the current indentation when pIndent is true and beautify is on.
  void write(std::string_view pData, bool pIndent = false) {
    if (pIndent && fBeautified)
      fText += fIndent;
    fText += pData;
  }
  // Appends CR LF, whether or not beautify is on (callers decide).
  void crlf() { fText += "\r\n"; }
  void indent();
  void outdent();
  // Writes the text at position 0 of the stream and cuts a longer stream to the written length.
  void flush();

  bool beautified() const { return fBeautified; }
  const std::string& ToString() const { return fText; }
  std::string TakeText() { return std::move(fText); }
  int64_t Length() const { return static_cast<int64_t>(fText.size()); }
  void Reserve(size_t pBytes) { fText.reserve(pBytes); }
  // Writes into pBuffer's memory from now on (its text is dropped); TakeText hands it back.
  void UseBuffer(std::string pBuffer) {
    fText = std::move(pBuffer);
    fText.clear();
  }

  // The element level being written (the root's children are level 1), which the writing nodes
  // keep, and the document whose save this is (null when nodes are written on their own).
  int32_t level() const { return fLevel; }
  void setLevel(int32_t pLevel) { fLevel = pLevel; }
  const TMz_XmlDocument* document() const { return fDocument; }
  void setDocument(const TMz_XmlDocument* pDocument) { fDocument = pDocument; }

private:
  bool fBeautified;
  // The indentation; only used when beautified.
  std::string fIndent;
  TStream* fStream;
  std::string fText;
  int32_t fLevel = 0;
  const TMz_XmlDocument* fDocument = nullptr;
};

} // namespace vantrel
