#pragma once
// The framework's namespace sees the two platform layers; this is the one place that says so.

namespace rtl {}
namespace ui {}

namespace vantrel {
using namespace rtl;
using namespace ui;
} // namespace vantrel
