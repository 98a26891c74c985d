#pragma once
// PNG output of presented images through SDL2_image.

#include <string>

#include "present/events.h"

namespace present {

// Writes APixels as an RGBA PNG: first to "<path>.tmp", then renamed over APath, so a reader
// never sees half a file. A failure raises EPresentError "cannot save <path>: <reason>" and
// leaves no temporary file.
void SavePng(const TPixels& APixels, const std::string& APath);

} // namespace present
