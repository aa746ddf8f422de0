// Small helpers for driving the installer interface from tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "msi/msiquery.h"

namespace msi_test {

// A field's whole text, asking for the length first.
std::string FieldString(MSIHANDLE record, UINT field);

// A stream field's bytes read in pieces of `piece` bytes; nothing when a
// read fails.
std::optional<std::string> ReadStreamField(MSIHANDLE record, UINT field, std::uint32_t piece);

// Every row of `sql`, fields 1..`fields` of each as text; nothing when the
// query fails.
std::optional<std::vector<std::vector<std::string>>> QueryRows(MSIHANDLE database,
                                                               const std::string& sql, UINT fields,
                                                               MSIHANDLE parameters = 0);

// The bytes of the _Streams entry `name`, through
// "select * from `_Streams` where Name=?"; nothing when the query finds no
// row or a read fails.
std::optional<std::string> ReadNamedStream(MSIHANDLE database, const std::string& name,
                                           std::uint32_t piece);

}  // namespace msi_test
