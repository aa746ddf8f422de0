// Texts in a package's codepage come out as UTF-8 through the host's own
// conversion, with the same results on every host; bytes that are no
// character of the codepage become U+FFFD, one each, and nothing is lost.
#include "msi/text_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TextDecoder, CodepagesDecodeAlikeOnEveryHost) {
  const struct {
    int codepage;
    std::string bytes;
    std::string text;
  } cases[] = {
      {1252, "caf\xE9 \x80 5", "caf\xC3\xA9 \xE2\x82\xAC 5"},
      {0, "na\xEFve", "na\xC3\xAFve"},  // codepage 0 reads as 1252
      {932, "\x82\xA0\x83\x41", "\xE3\x81\x82\xE3\x82\xA2"},
      {932, "ab\x82", "ab\xEF\xBF\xBD"},  // a lead byte with nothing after it
      {936, "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
      {65001, "ok \xE4\xB8\xAD \xFF", "ok \xE4\xB8\xAD \xEF\xBF\xBD"},
      {1251, "\xC4\xE0", "\xD0\x94\xD0\xB0"},
      {1252, "a\x81@\x8D", "a\xEF\xBF\xBD@\xEF\xBF\xBD"},  // bytes 1252 leaves undefined
      {12345, "a\xE9", "a\xEF\xBF\xBD"},                   // unknown: ASCII kept
      {437, "plain", "plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codepage);
    msi::TextDecoder decoder(c.codepage);
    std::string out = "<";
    decoder.Decode(c.bytes, &out);
    EXPECT_EQ(out, "<" + c.text);
  }
}

}  // namespace
