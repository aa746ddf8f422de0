// The console tool that travels inside the window program.
#pragma once

#include <QByteArray>

namespace tarvelin {

// The whole executable image of the embedded tool; empty when the resource
// is missing.
QByteArray LoadEmbeddedTool();

}  // namespace tarvelin
