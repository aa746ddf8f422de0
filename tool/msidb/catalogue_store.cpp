#include "msidb/catalogue_store.h"

void TextColumn::Append(std::string text) {
  texts_.push_back(std::move(text));
  if (hashed_) first_position_.emplace(texts_.back(), texts_.size() - 1);
}

std::optional<std::size_t> TextColumn::FindFirst(std::string_view text) const {
  auto found = first_position_.find(text);
  if (found == first_position_.end()) return std::nullopt;
  return found->second;
}

CatalogueStore::CatalogueStore()
    : columns_{TextColumn(false), TextColumn(true),  TextColumn(false), TextColumn(true),
               TextColumn(true),  TextColumn(true),  TextColumn(true),  TextColumn(false),
               TextColumn(false), TextColumn(false), TextColumn(false), TextColumn(false),
               TextColumn(false)} {}
