#include "ui/material.h"

namespace ui {

RTL_DEFINE_CLASS(TMaterial, "ui.Material")

} // namespace ui
