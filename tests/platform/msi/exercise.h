// Reads everything a package offers, both through the engine's own API and
// through the installer interface, the way a curious caller would: used on
// damaged packages (tests) and random input (the fuzz target).
#pragma once

#include <cstddef>
#include <string>

namespace msi_test {

struct ExerciseSummary {
  bool opened = false;             // the engine opened the package
  bool api_opened = false;         // MsiOpenDatabaseA agreed
  std::size_t tables = 0;          // tables that loaded
  std::size_t rows = 0;            // rows of those tables
  std::size_t streams_read = 0;    // _Streams entries read whole
  std::size_t streams_failed = 0;  // _Streams entries whose read failed
  // Failing interface calls that left no reason for MsiGetLastReasonA.
  std::size_t unexplained_failures = 0;
};

ExerciseSummary ExercisePackage(const std::string& path);

}  // namespace msi_test
