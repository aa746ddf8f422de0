// The last stage of `x`: the folder of every selected entry is made, each
// entry is reported as placed in catalogue order, and the count follows.
// The bytes themselves went straight to their places while the cabinets
// were decoded (cabinet/extraction_output.h).
#include "cabinet/extraction_output.h"
#include "console/console.h"
#include "console/verbose.h"
#include "msidb/msi_handler.h"

void TMsiHandler::PlaceFiles() {
  const std::size_t entries = catalogue_[kFileComponent].Count();
  std::size_t placed = 0;
  if (output_) placed = output_->Place(Verbose);
  ConsoleLine(std::to_string(placed) + "/" + std::to_string(entries) + " files");
}
