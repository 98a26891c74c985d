#pragma once
// The library's one start-up spine. Units register their classes, child-type rows, loaders and
// codecs explicitly: the layers are static libraries, whose unreferenced self-registering objects
// the linker would drop.

namespace vantrel {

// Starts the OpenGL context unit first, then every other unit in unit order. Counted: only the
// first call does the work; each call must be paired with FinalizeUnits.
void InitializeUnits();
// Runs the units' finalisers in reverse order once the last InitializeUnits is paired. The
// context's own shutdown stays with its exit routine, so it runs last.
void FinalizeUnits();

} // namespace vantrel
