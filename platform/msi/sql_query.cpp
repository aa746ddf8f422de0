#include "msi/sql_query.h"

#include <cctype>
#include <charconv>

#include "files/ascii.h"

namespace msi {

namespace {

struct Token {
  enum class Kind { kEnd, kWord, kQuotedName, kText, kNumber, kSymbol };
  Kind kind = Kind::kEnd;
  std::string text;  // word, name, text, or the symbol itself
  std::int32_t number = 0;
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view sql) : sql_(sql) {}

  // The next token; false with a message on a malformed one.
  bool Next(Token* token, std::string* error) {
    while (pos_ < sql_.size() && std::isspace(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
    *token = Token{};
    if (pos_ == sql_.size()) return true;
    const char c = sql_[pos_];
    if (c == '`' || c == '\'') {
      const std::size_t close = sql_.find(c, pos_ + 1);
      if (close == std::string_view::npos) {
        *error = "unterminated quote";
        return false;
      }
      token->kind = c == '`' ? Token::Kind::kQuotedName : Token::Kind::kText;
      token->text = std::string(sql_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      if (token->kind == Token::Kind::kQuotedName && token->text.empty()) {
        *error = "empty name";
        return false;
      }
      return true;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-') {
      std::size_t end = pos_ + 1;
      while (end < sql_.size() && std::isdigit(static_cast<unsigned char>(sql_[end]))) ++end;
      const char* first = sql_.data() + pos_;
      const char* last = sql_.data() + end;
      auto [ptr, status] = std::from_chars(first, last, token->number);
      if (status != std::errc() || ptr != last) {
        *error = "bad number";
        return false;
      }
      token->kind = Token::Kind::kNumber;
      pos_ = end;
      return true;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t end = pos_ + 1;
      while (end < sql_.size() && (std::isalnum(static_cast<unsigned char>(sql_[end])) ||
                                   sql_[end] == '_' || sql_[end] == '.')) {
        ++end;
      }
      token->kind = Token::Kind::kWord;
      token->text = std::string(sql_.substr(pos_, end - pos_));
      pos_ = end;
      return true;
    }
    if (c == '*' || c == ',' || c == '=' || c == '?') {
      token->kind = Token::Kind::kSymbol;
      token->text = std::string(1, c);
      ++pos_;
      return true;
    }
    *error = std::string("unexpected character '") + c + "'";
    return false;
  }

 private:
  std::string_view sql_;
  std::size_t pos_ = 0;
};

bool IsKeyword(const Token& token, std::string_view keyword) {
  return token.kind == Token::Kind::kWord && files::EqualIgnoringAsciiCase(token.text, keyword);
}

bool IsAnyKeyword(const Token& token) {
  return IsKeyword(token, "SELECT") || IsKeyword(token, "FROM") || IsKeyword(token, "WHERE") ||
         IsKeyword(token, "AND");
}

bool IsSymbol(const Token& token, char symbol) {
  return token.kind == Token::Kind::kSymbol && token.text.size() == 1 && token.text[0] == symbol;
}

class Parser {
 public:
  Parser(std::string_view sql, std::string* error) : tokens_(sql), error_(error) {}

  std::optional<SelectQuery> Parse() {
    SelectQuery query;
    if (!Advance()) return std::nullopt;
    if (!Expect(IsKeyword(current_, "SELECT"), "SELECT")) return std::nullopt;
    if (IsSymbol(current_, '*')) {
      query.all_columns = true;
      if (!Advance()) return std::nullopt;
    } else {
      while (true) {
        std::string column;
        if (!Name(&column)) return std::nullopt;
        query.columns.push_back(std::move(column));
        if (!IsSymbol(current_, ',')) break;
        if (!Advance()) return std::nullopt;
      }
    }
    if (!Expect(IsKeyword(current_, "FROM"), "FROM")) return std::nullopt;
    if (!Name(&query.table)) return std::nullopt;
    if (IsKeyword(current_, "WHERE")) {
      if (!Advance()) return std::nullopt;
      unsigned parameters = 0;
      while (true) {
        QueryCondition condition;
        if (!Name(&condition.column)) return std::nullopt;
        if (!Expect(IsSymbol(current_, '='), "=")) return std::nullopt;
        if (IsSymbol(current_, '?')) {
          condition.operand = QueryCondition::Operand::kParameter;
          condition.parameter = ++parameters;
        } else if (current_.kind == Token::Kind::kText) {
          condition.operand = QueryCondition::Operand::kText;
          condition.text = current_.text;
        } else if (current_.kind == Token::Kind::kNumber) {
          condition.operand = QueryCondition::Operand::kNumber;
          condition.number = current_.number;
        } else {
          *error_ = "expected ?, a quoted text or a number";
          return std::nullopt;
        }
        if (!Advance()) return std::nullopt;
        query.conditions.push_back(std::move(condition));
        if (!IsKeyword(current_, "AND")) break;
        if (!Advance()) return std::nullopt;
      }
    }
    if (current_.kind != Token::Kind::kEnd) {
      *error_ = "unexpected '" + current_.text + "'";
      return std::nullopt;
    }
    return query;
  }

 private:
  bool Advance() { return tokens_.Next(&current_, error_); }

  // Checks that the current token is what was expected and moves past it.
  bool Expect(bool matches, const char* what) {
    if (!matches) {
      *error_ = std::string("expected ") + what;
      return false;
    }
    return Advance();
  }

  bool Name(std::string* name) {
    const bool bare = current_.kind == Token::Kind::kWord && !IsAnyKeyword(current_);
    if (!bare && current_.kind != Token::Kind::kQuotedName) {
      *error_ = "expected a name";
      return false;
    }
    *name = current_.text;
    return Advance();
  }

  Tokenizer tokens_;
  std::string* error_;
  Token current_;
};

}  // namespace

std::optional<SelectQuery> ParseQuery(std::string_view sql, std::string* error) {
  return Parser(sql, error).Parse();
}

}  // namespace msi
