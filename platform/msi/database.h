// The read-only installer database behind the handle interface, also used
// directly by tests and tools: open a package, list its tables, columns,
// rows and streams.
//
// A Database is shared (std::shared_ptr) so that tables, records and
// streams taken from it keep it alive. Table data is read from the file
// when a table is first loaded and kept for later loads; stream bytes are
// read from the file only when asked for.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msi/compound_file.h"
#include "msi/string_pool.h"
#include "msi/table_data.h"
#include "msi/table_schema.h"

namespace msi {

// A root-level stream that is not a table: one row of _Streams.
struct StreamInfo {
  std::string name;     // decoded, UTF-8
  std::uint32_t entry;  // directory entry id
  std::uint64_t size;   // as the directory gives it
  bool packed;          // the stored name used packed units
};

enum class CellKind { kNull, kInteger, kString, kStream };

// One cell of a row. A string cell's text points into the database's
// string pool (or stream list), so it lives as long as the database.
struct CellValue {
  CellKind kind = CellKind::kNull;
  std::int32_t integer = 0;
  std::string_view text;
  // A binary cell: the name of its stream, <Table>.<key>[.<key>...], and the
  // directory entry of that stream when the package holds it.
  std::string stream_name;
  std::optional<std::uint32_t> stream_entry;
};

class Database;

// A loaded table: its columns and its rows in stored order.
class Table {
 public:
  Table(std::shared_ptr<const Database> database, std::shared_ptr<const TableData> data)
      : database_(std::move(database)), data_(std::move(data)) {}

  const std::string& name() const { return data_->name; }
  const std::vector<ColumnInfo>& columns() const { return data_->columns; }
  std::size_t row_count() const { return data_->rows; }
  // Index of the column named `name`, if there is one.
  std::optional<std::size_t> FindColumn(std::string_view name) const;
  // Cell (row, column); both must be in range.
  CellValue Cell(std::size_t row, std::size_t column) const;
  // The cell as text: integers in decimal, a binary cell as its stream
  // name, null as empty.
  std::string CellText(std::size_t row, std::size_t column) const;

 private:
  std::shared_ptr<const Database> database_;
  std::shared_ptr<const TableData> data_;
};

class Database : public std::enable_shared_from_this<Database> {
 public:
  // Opens the package at `path`. Fails, with a message in `error`, for a
  // file that is not an installer database: not a sound compound file, a
  // root class other than the installer database's, or a missing string
  // pool or catalog.
  static std::shared_ptr<const Database> Open(const std::string& path, std::string* error);

  int codepage() const { return strings_.codepage(); }
  const StringPool& strings() const { return strings_; }

  // The tables that _Tables lists, in its order. A schema with `error` set
  // cannot be loaded.
  const std::vector<TableSchema>& tables() const { return tables_; }

  // Loads a table by its exact name: one that _Tables lists, or _Tables,
  // _Columns or _Streams. Fails for an unknown table, a table whose schema
  // is unusable, and a table stream that cannot be read or decoded.
  std::optional<Table> LoadTable(std::string_view name, std::string* error) const;

  // The _Streams rows: every root-level stream that is not a table, in
  // directory order, under its decoded name.
  const std::vector<StreamInfo>& streams() const { return streams_; }
  // The directory entry of the stream with this decoded name; of two that
  // decode to the same name, the one stored without packing.
  std::optional<std::uint32_t> FindStream(std::string_view name) const;

  // Checks a stream's chain and finds its bytes in the file (see
  // CompoundFile::Locate); then reads from it.
  std::optional<StreamLayout> LocateStream(std::uint32_t entry, std::string* error) const;
  bool ReadStreamAt(const StreamLayout& layout, std::uint64_t offset, void* buffer,
                    std::size_t length) const;
  // The size the directory gives for entry `entry`.
  std::uint64_t StreamSize(std::uint32_t entry) const;
  std::uint64_t file_size() const { return file_->file_size(); }

 private:
  Database(std::unique_ptr<CompoundFile> file, StringPool strings)
      : file_(std::move(file)), strings_(std::move(strings)) {}
  std::shared_ptr<const TableData> LoadTableData(std::string_view name, std::string* error) const;
  std::shared_ptr<const TableData> ReadStoredTable(const TableSchema& schema,
                                                   std::string* error) const;

  std::unique_ptr<CompoundFile> file_;
  StringPool strings_;
  std::vector<TableSchema> tables_;
  std::map<std::string, std::uint32_t, std::less<>> table_streams_;
  std::vector<StreamInfo> streams_;
  std::map<std::string, std::size_t, std::less<>> stream_index_;  // name -> streams_ index

  mutable std::mutex cache_mutex_;
  mutable std::map<std::string, std::shared_ptr<const TableData>, std::less<>> cache_;
};

// The class id that the root storage of an installer database carries.
inline constexpr std::uint8_t kInstallerDatabaseClsid[16] = {
    0x84, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace msi
