#include "qt/tool_resource.h"

#include <QFile>

namespace tarvelin {

QByteArray LoadEmbeddedTool() {
  // Read through QFile: the resource is stored compressed.
  QFile tool(QStringLiteral(":/tarvelin/pandrel"));
  if (!tool.open(QIODevice::ReadOnly)) return {};
  return tool.readAll();
}

}  // namespace tarvelin
