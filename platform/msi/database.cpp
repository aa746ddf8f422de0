#include "msi/database.h"

#include <algorithm>
#include <cstring>

#include "msi/catalog.h"
#include "msi/stream_name.h"

namespace msi {

namespace {

constexpr const char* kStringPoolStream = "_StringPool";
constexpr const char* kStringDataStream = "_StringData";

}  // namespace

std::optional<std::size_t> Table::FindColumn(std::string_view name) const {
  for (std::size_t i = 0; i < data_->columns.size(); ++i) {
    if (data_->columns[i].name == name) return i;
  }
  return std::nullopt;
}

CellValue Table::Cell(std::size_t row, std::size_t column) const {
  CellValue cell;
  const std::uint32_t raw = data_->Raw(row, column);
  const ColumnInfo& info = data_->columns[column];
  if (data_->stream_list) {
    const StreamInfo& stream = database_->streams()[raw];
    if (info.kind() == ColumnKind::kString) {
      cell.kind = CellKind::kString;
      cell.text = stream.name;
    } else {
      cell.kind = CellKind::kStream;
      cell.stream_name = stream.name;
      cell.stream_entry = stream.entry;
    }
    return cell;
  }
  switch (info.kind()) {
    case ColumnKind::kInteger:
      if (auto value = DecodeInteger(info, raw)) {
        cell.kind = CellKind::kInteger;
        cell.integer = *value;
      }
      break;
    case ColumnKind::kString:
      if (raw != 0) {
        cell.kind = CellKind::kString;
        cell.text = database_->strings().Get(raw);
      }
      break;
    case ColumnKind::kBinary:
      if (raw != 0) {
        cell.kind = CellKind::kStream;
        cell.stream_name = data_->name;
        for (std::size_t c = 0; c < data_->columns.size(); ++c) {
          if (!data_->columns[c].key() || data_->columns[c].kind() == ColumnKind::kBinary) continue;
          cell.stream_name += '.';
          cell.stream_name += CellText(row, c);
        }
        cell.stream_entry = database_->FindStream(cell.stream_name);
      }
      break;
  }
  return cell;
}

std::string Table::CellText(std::size_t row, std::size_t column) const {
  CellValue cell = Cell(row, column);
  switch (cell.kind) {
    case CellKind::kInteger:
      return std::to_string(cell.integer);
    case CellKind::kString:
      return std::string(cell.text);
    case CellKind::kStream:
      return std::move(cell.stream_name);
    case CellKind::kNull:
      break;
  }
  return {};
}

std::shared_ptr<const Database> Database::Open(const std::string& path, std::string* error) {
  auto reader = FileReader::Open(path);
  if (!reader) {
    *error = "cannot open " + path;
    return nullptr;
  }
  auto file = CompoundFile::Open(std::move(*reader), error);
  if (!file) return nullptr;
  if (std::memcmp(file->root().clsid.data(), kInstallerDatabaseClsid, 16) != 0) {
    *error = "the file is a compound file but not an installer database";
    return nullptr;
  }

  std::map<std::string, std::uint32_t, std::less<>> table_streams;
  std::vector<StreamInfo> streams;
  for (std::uint32_t id : file->RootChildren()) {
    const DirectoryEntry& entry = file->entries()[id];
    if (entry.type != static_cast<std::uint8_t>(EntryType::kStream) || !entry.name_valid) continue;
    DecodedStreamName decoded = DecodeStreamName(entry.name);
    if (decoded.table) {
      table_streams.emplace(std::move(decoded.name), id);
    } else {
      streams.push_back({std::move(decoded.name), id, entry.size, decoded.packed});
    }
  }

  auto read_system_stream = [&](const char* name) -> std::optional<std::string> {
    auto found = table_streams.find(name);
    if (found == table_streams.end()) {
      *error = std::string("the package has no ") + name + " stream";
      return std::nullopt;
    }
    return file->ReadStream(found->second, error);
  };
  auto pool_bytes = read_system_stream(kStringPoolStream);
  if (!pool_bytes) return nullptr;
  auto data_bytes = read_system_stream(kStringDataStream);
  if (!data_bytes) return nullptr;
  auto tables_bytes = read_system_stream(kTablesCatalog);
  if (!tables_bytes) return nullptr;
  auto columns_bytes = read_system_stream(kColumnsCatalog);
  if (!columns_bytes) return nullptr;
  auto strings = StringPool::Parse(*pool_bytes, *data_bytes, error);
  if (!strings) return nullptr;

  auto tables = DecodeTableStream(TablesCatalogSchema(), *tables_bytes, *strings, error);
  if (!tables) return nullptr;
  auto columns = DecodeTableStream(ColumnsCatalogSchema(), *columns_bytes, *strings, error);
  if (!columns) return nullptr;

  std::shared_ptr<Database> database(new Database(std::move(file), std::move(*strings)));
  database->tables_ = ReadCatalog(*tables, *columns, database->strings_);
  database->table_streams_ = std::move(table_streams);
  database->streams_ = std::move(streams);
  for (std::size_t i = 0; i < database->streams_.size(); ++i) {
    const StreamInfo& stream = database->streams_[i];
    auto [it, inserted] = database->stream_index_.emplace(stream.name, i);
    if (!inserted && database->streams_[it->second].packed && !stream.packed) it->second = i;
  }
  auto shared_tables = std::make_shared<const TableData>(std::move(*tables));
  auto shared_columns = std::make_shared<const TableData>(std::move(*columns));
  database->cache_.emplace(kTablesCatalog, std::move(shared_tables));
  database->cache_.emplace(kColumnsCatalog, std::move(shared_columns));
  return database;
}

std::optional<std::uint32_t> Database::FindStream(std::string_view name) const {
  auto found = stream_index_.find(name);
  if (found == stream_index_.end()) return std::nullopt;
  return streams_[found->second].entry;
}

std::optional<StreamLayout> Database::LocateStream(std::uint32_t entry, std::string* error) const {
  return file_->Locate(entry, error);
}

bool Database::ReadStreamAt(const StreamLayout& layout, std::uint64_t offset, void* buffer,
                            std::size_t length) const {
  return file_->ReadAt(layout, offset, buffer, length);
}

std::uint64_t Database::StreamSize(std::uint32_t entry) const {
  if (entry >= file_->entries().size()) return 0;
  return file_->entries()[entry].size;
}

std::optional<Table> Database::LoadTable(std::string_view name, std::string* error) const {
  auto data = LoadTableData(name, error);
  if (!data) return std::nullopt;
  return Table(shared_from_this(), std::move(data));
}

std::shared_ptr<const TableData> Database::LoadTableData(std::string_view name,
                                                         std::string* error) const {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  auto cached = cache_.find(name);
  if (cached != cache_.end()) return cached->second;

  std::shared_ptr<const TableData> data;
  if (name == kStreamsTable) {
    TableSchema schema = StreamsSchema();
    TableData table;
    table.name = schema.name;
    table.columns = schema.columns;
    table.rows = streams_.size();
    table.stream_list = true;
    table.cells.reserve(2 * streams_.size());
    for (int column = 0; column < 2; ++column) {
      for (std::size_t i = 0; i < streams_.size(); ++i) {
        table.cells.push_back(static_cast<std::uint32_t>(i));
      }
    }
    data = std::make_shared<const TableData>(std::move(table));
  } else {
    auto schema = std::find_if(tables_.begin(), tables_.end(),
                               [&](const TableSchema& s) { return s.name == name; });
    if (schema == tables_.end()) {
      *error = "no table " + std::string(name);
      return nullptr;
    }
    if (!schema->error.empty()) {
      *error = schema->error;
      return nullptr;
    }
    data = ReadStoredTable(*schema, error);
    if (!data) return nullptr;
  }
  cache_.emplace(std::string(name), data);
  return data;
}

std::shared_ptr<const TableData> Database::ReadStoredTable(const TableSchema& schema,
                                                           std::string* error) const {
  std::string bytes;
  auto stream = table_streams_.find(schema.name);
  if (stream != table_streams_.end()) {
    auto read = file_->ReadStream(stream->second, error);
    if (!read) {
      *error = "table " + schema.name + ": " + *error;
      return nullptr;
    }
    bytes = std::move(*read);
  }
  auto table = DecodeTableStream(schema, bytes, strings_, error);
  if (!table) return nullptr;
  return std::make_shared<const TableData>(std::move(*table));
}

}  // namespace msi
