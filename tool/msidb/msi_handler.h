// TMsiHandler: the tool's one object per run. It holds the open package, the
// query at hand and the catalogue store, and its operations are the tool's
// commands. The database operations are defined in msi_handler.cpp; the
// catalogue, cabinet and registry operations beside their subsystems.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/package_files.h"
#include "msi/msiquery.h"
#include "msidb/catalogue_store.h"

class CallbackFile;
class ExtractionOutput;

class TMsiHandler {
 public:
  TMsiHandler() = default;
  virtual ~TMsiHandler();
  TMsiHandler(const TMsiHandler&) = delete;
  TMsiHandler& operator=(const TMsiHandler&) = delete;

  // Database access.
  bool OpenPackage(const std::string& path);
  bool OpenView(const std::string& sql);
  bool ExecuteView(MSIHANDLE parameters);
  bool Query(const std::string& sql, MSIHANDLE parameters);
  // Fetches the next row of the current view into the current record.
  bool FetchRow();
  int FieldInteger(unsigned field) const;
  // The whole text of a field, however long; a null field is empty.
  std::string FieldString(unsigned field) const;
  void CloseHandle(MSIHANDLE handle);

  // The file catalogue; LoadCatalogue also builds the model of the
  // package's files that the commands read.
  void LoadCatalogue();
  void SelectFiles(const std::string& mask, bool list);

  // Extraction.
  void ExtractCabinets(const std::string& target_folder, const std::string& mask);
  // The non-empty Cabinet values of the Media table, in table order.
  std::vector<std::string> LoadMedia();
  // The package's stream `name`, to be read in place like a file; null
  // when there is no such stream or it is empty.
  std::unique_ptr<CallbackFile> OpenStream(const std::string& name);
  void PlaceFiles();

  // The registry script.
  void ExportRegistry();

  const CatalogueStore& catalogue() const { return catalogue_; }
  const PackageFiles& files() const { return files_; }
  MSIHANDLE database() const { return database_; }
  const std::string& package_path() const { return package_path_; }
  const std::string& target_folder() const { return target_folder_; }
  const std::string& mask() const { return mask_; }

 private:
  MSIHANDLE database_ = 0;
  MSIHANDLE view_ = 0;
  MSIHANDLE record_ = 0;
  CatalogueStore catalogue_;
  std::string package_path_;
  std::string target_folder_;
  std::string mask_;
  // What `x` wrote where, from the walk to placement.
  std::shared_ptr<ExtractionOutput> output_;
  // The model of the package's files, built from the catalogue store.
  PackageFiles files_;
};
