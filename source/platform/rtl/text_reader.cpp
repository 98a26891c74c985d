#include "rtl/text_reader.h"

namespace rtl {

RTL_DEFINE_CLASS(TTextReader, "Rtl.TextReader")

} // namespace rtl
