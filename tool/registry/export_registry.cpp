// The `r` command: the Registry table as registry-script text, one key line,
// one value line and an empty line per row kept, in the order of the table.
#include <string_view>

#include "console/console.h"
#include "msidb/msi_handler.h"

namespace {

// The root key names for Root 1 to 3. Root 0 (classes root), -1 (decided at
// install time), a null Root and any other value have no name here, and
// their rows are left out.
std::string_view RootName(int root) {
  switch (root) {
    case 1:
      return "HKEY_CURRENT_USER";
    case 2:
      return "HKEY_LOCAL_MACHINE";
    case 3:
      return "HKEY_USERS";
    default:
      return {};
  }
}

}  // namespace

void TMsiHandler::ExportRegistry() {
  if (Query("select * from `Registry`", 0)) {
    ConsoleLine("Windows Registry Editor Version 5.00");
    ConsoleLine("");
    while (FetchRow()) {
      const std::string_view root = RootName(FieldInteger(2));
      std::string value;
      if (!root.empty()) value = FieldString(5);
      if (!value.empty()) {
        ConsoleLine("[" + std::string(root) + "\\" + FieldString(3) + "]");
        std::string name = FieldString(4);
        if (name.empty()) name = "@";
        ConsoleLine(name + "=" + value);
        ConsoleLine("");
      }
      CloseHandle(record_);
    }
  }
  CloseHandle(view_);
}
