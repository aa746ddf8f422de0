#include "catalogue/mask.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// The matcher's definition, transcribed as it reads (backtracking, 0-based).
bool Equal(char a, char b) {
  auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
  return fold(static_cast<unsigned char>(a)) == fold(static_cast<unsigned char>(b));
}

bool Match(const std::string& m_text, const std::string& k_text, std::size_t m, std::size_t k) {
  while (m < m_text.size() && k < k_text.size()) {
    if (m_text[m] == '*') {
      while (m < m_text.size() && m_text[m] == '*') ++m;
      if (m >= m_text.size()) return true;
      for (std::size_t j = k; j < k_text.size(); ++j) {
        if (Match(m_text, k_text, m, j)) return true;
      }
      return false;
    }
    if (m_text[m] != '?' && !Equal(m_text[m], k_text[k])) return false;
    ++m;
    ++k;
  }
  while (m < m_text.size() && (m_text[m] == '*' || m_text[m] == '?')) ++m;
  return m >= m_text.size() && k >= k_text.size();
}

bool Definition(const std::string& mask, const std::string& name) {
  return mask.empty() || Match(mask, name, 0, 0);
}

}  // namespace

TEST(MatchesMask, BehavesAsUsersAreTold) {
  EXPECT_TRUE(MatchesMask("*", ""));
  EXPECT_TRUE(MatchesMask("*", "anything at all"));
  EXPECT_TRUE(MatchesMask("", "x"));
  EXPECT_TRUE(MatchesMask("*.*", "readme.txt"));
  EXPECT_TRUE(MatchesMask("*.*", "README."));
  EXPECT_FALSE(MatchesMask("*.*", "README"));
  EXPECT_TRUE(MatchesMask("*.TXT", "readme.txt"));
  EXPECT_TRUE(MatchesMask("ab??", "ab"));
  EXPECT_TRUE(MatchesMask("ab??", "abc"));
  EXPECT_TRUE(MatchesMask("ab??", "abcd"));
  EXPECT_FALSE(MatchesMask("ab??", "abcde"));
  EXPECT_TRUE(MatchesMask("a?", "a"));
  EXPECT_TRUE(MatchesMask("a?", "ab"));
  EXPECT_FALSE(MatchesMask("a?", "abc"));
  // A "?" with a literal after it always needs a byte of the name.
  EXPECT_FALSE(MatchesMask("a?c", "ac"));
  // The folder is not part of the name.
  EXPECT_FALSE(MatchesMask("docs/*.txt", "readme.txt"));
}

TEST(MatchesMask, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(MatchesMask("README.TXT", "readme.txt"));
  // É (C3 89) and é (C3 A9) differ in bytes, so they do not match.
  EXPECT_FALSE(MatchesMask("caf\xc3\x89.txt", "caf\xc3\xa9.txt"));
  EXPECT_TRUE(MatchesMask("caf\xc3\xa9.txt", "CAF\xc3\xa9.TXT"));
  EXPECT_FALSE(MatchesMask("[", "{"));  // 0x5B and 0x7B are not letters
  EXPECT_FALSE(MatchesMask("@", "`"));
}

TEST(MatchesMask, AnswersAtOnceWhereBacktrackingWouldNot) {
  const std::string name(80, 'a');
  EXPECT_FALSE(MatchesMask("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", name));
  EXPECT_TRUE(MatchesMask("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a", name));
  const std::string long_name(100000, 'x');
  EXPECT_FALSE(MatchesMask(std::string(200, '*') + "y*x*y", long_name));
}

TEST(MatchesMask, AgreesWithTheDefinitionOnRandomMasksAndNames) {
  const char alphabet[] = {'a', 'A', 'b', 'B', '*', '?', '.', '\x80', '\xe9', '\xc9'};
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> letter(0, sizeof alphabet - 1);
  std::uniform_int_distribution<int> length(0, 7);
  for (int round = 0; round < 200000; ++round) {
    std::string mask, name;
    for (int i = length(random); i > 0; --i) mask += alphabet[letter(random)];
    for (int i = length(random); i > 0; --i) {
      char c = alphabet[letter(random)];
      name += (c == '*' || c == '?') ? 'a' : c;
    }
    ASSERT_EQ(MatchesMask(mask, name), Definition(mask, name))
        << "mask \"" << mask << "\" name \"" << name << "\"";
  }
}
