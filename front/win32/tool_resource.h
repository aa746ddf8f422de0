// The console tool that the program carries as a resource.
#pragma once

#include <string_view>

namespace tarvelin {

// The tool's whole executable image, inside the program's own mapped
// image (valid for as long as the program runs); empty when it is missing.
std::string_view LoadEmbeddedTool();

}  // namespace tarvelin
