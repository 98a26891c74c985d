// Halcyrendo: starts the library, creates the main form from its resource and runs the loop.

#include <malloc.h>

#include "Unit1.h"
#include "Vantrel.Units.h"
#include "context/Vantrel.Context.GLES.Windows.h"
#include "ui/application.h"

int main() {
  // Freed memory stays with the process: with glibc's default trimming every frame's driver
  // allocations fault pages in again. The library leaves the allocator alone; the program chooses.
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
  mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
  return ui::RunApplication(
      [] {
        vantrel::InitializeUnits();
        InitializeUnit1();
        ui::Application().Initialize();
        ui::Application().CreateForm(TForm1::StaticClass(), Form1);
        ui::Application().Run();
      },
      [] {
        FinalizeUnit1();
        vantrel::FinalizeUnits();
        // The shared GL context goes last, here rather than in the exit routine.
        vantrel::FinalizeContextWindows();
      });
}
