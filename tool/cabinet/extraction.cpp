// The `x` command: the media walk and the placement of the extracted files.
#include "msidb/msi_handler.h"

void TMsiHandler::ExtractCabinets(const std::string& target_folder, const std::string& mask) {
  target_folder_ = target_folder;
  mask_ = mask.empty() ? "*" : mask;
  SelectFiles(mask_, false);
}

void TMsiHandler::PlaceFiles() {}
