// Packages that the engine's tests build with the fixture writer.
#pragma once

#include <string>

#include "fixtures/package_writer.h"

namespace msi_test {

// A table "Things" with a string key, nullable and non-null integers of
// both widths, a localizable text and a binary column, plus Property and
// Binary tables and a plain stream "loose.bin". See the .cpp for the rows.
fixtures::PackageDescription ThingsPackage();

// The bytes stored for the Binary row "Logo" (several sectors long).
std::string LogoBytes();

}  // namespace msi_test
