#include "xml/Vantrel.Xml.Writer.h"

#include <algorithm>

namespace vantrel {

RTL_DEFINE_CLASS(TMz_StreamWriter, "Vantrel.Xml.Writer")

TMz_StreamWriter::TMz_StreamWriter(TStream* pStream, bool pBeautify)
    : fBeautified(pBeautify), fStream(pStream) {}

void TMz_StreamWriter::indent() {
  if (fBeautified)
    fIndent += '\t';
}

void TMz_StreamWriter::outdent() {
  if (fBeautified && !fIndent.empty())
    fIndent.pop_back();
}

void TMz_StreamWriter::flush() {
  if (!fStream)
    return;
  fStream->SetPosition(0);
  const auto total = static_cast<int64_t>(fText.size());
  for (int64_t done = 0; done < total;) {
    const int64_t chunk = std::min(FlushChunkSize, total - done);
    fStream->WriteBuffer(fText.data() + done, chunk);
    done += chunk;
  }
  // A longer earlier content would otherwise stay behind the new text.
  if (fStream->GetSize() > total)
    fStream->SetSize(total);
}

} // namespace vantrel
