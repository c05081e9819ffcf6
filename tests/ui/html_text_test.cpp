// The texts of the HTML viewer: recognising HTML, plain text to HTML and
// back, and the exact bytes of the document handed to the browser.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "support/portable/heap.h"
#include "ui/html_text.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";
const std::string kStyle = "<style>body{font-family:\"Arial\";font-size:12;}</style>";
const std::string kHeader =
    "<head><meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"></head>";

std::string ToHtml(const std::string& plain) {
  std::string buffer(HtmlBufferSize(plain.size()), '\0');
  memcpy(&buffer[0], plain.c_str(), plain.size() + 1);
  EXPECT_TRUE(PlainToHtml(&buffer[0], buffer.size()));
  return buffer.c_str();
}

std::string ToPlain(const std::string& html) {
  char* plain = HtmlToPlain(html.c_str());
  std::string result = plain;
  release(plain);
  return result;
}

std::string Document(const std::string& text, bool utf8) {
  std::string buffer(HtmlBufferSize(text.size()), '\0');
  size_t length = BuildHtmlDocument(text.c_str(), &buffer[0], buffer.size(), utf8);
  return buffer.substr(0, length);
}

TEST(HtmlText, LooksLikeHtmlWhenAClosingTagEndsWithin19Bytes) {
  struct Case { const char* text; bool html; } cases[] = {
      {"plain prose, no tags", false},
      {"<b>bold but never closed", false},
      {"a </b> tag", true},
      {"</>", true},
      {"</", false},
      {"</a", false},
      {"x</12345678901234567>", true},    // '>' 19 bytes after '<'
      {"x</123456789012345678>", false},  // 20 bytes: too far
      {"a < b / c > d", false},
  };
  for (const Case& c : cases) EXPECT_EQ(LooksLikeHtml(c.text), c.html) << c.text;
}

TEST(HtmlText, PlainToHtmlKeepsParagraphsAndRunsOfBlanks) {
  struct Case { const char* plain; const char* html; } cases[] = {
      {"one\r\n\r\ntwo", "one<br>two"},              // a blank line: one break
      {"one\r\n\r\n\r\ntwo", "one<br><br>two"},      // two blank lines: two
      {"one\r\ntwo", "one\r\ntwo"},                  // a single line end stays
      {"a   b", "a &nbsp;&nbsp;b"},                  // the first blank stays a blank
      {" lead", " lead"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ToHtml(c.plain), kStyle + c.html) << c.plain;
}

TEST(HtmlText, PlainToHtmlNeverWritesPastItsBuffer) {
  // Ten blanks and a tail in a 60-byte buffer that lies in a larger area.
  std::string area(100, 'G');
  const char text[] = "          ten blanks and a tail";
  memcpy(&area[0], text, sizeof(text));
  ASSERT_TRUE(PlainToHtml(&area[0], 60));
  EXPECT_EQ(strlen(area.c_str()), 59u);
  EXPECT_EQ(area.substr(60), std::string(40, 'G'));
}

TEST(HtmlText, HtmlToPlainForTheEditControl) {
  struct Case { const char* html; const char* plain; } cases[] = {
      {"<p>First</p><p>Second</p>", "First\r\n\r\nSecond\r\n\r\n"},
      {"<P>Upper</P>", "Upper\r\n\r\n"},
      {"line<br>next", "line\r\nnext"},
      {"a &amp; b", "a b"},                                   // entity between blanks: one blank
      {"AT&T and more text without semicolon", "AT&T and more text without semicolon"},
      {"joined\r\nlines", "joined lines"},
      {"many    blanks", "many blanks"},
      {"<style>p{color:red}</style>shown", "shown"},
      {"<b>bold</b> <i>it", "bold it"},
      {"<unclosed", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ToPlain(c.html), c.plain) << c.html;
}

TEST(HtmlText, PlainTextRoundTripsToWhatTheUserTyped) {
  EXPECT_EQ(ToPlain(ToHtml("a   b")), "a b");
  EXPECT_EQ(ToPlain(ToHtml("one\r\ntwo")), "one two");
  EXPECT_EQ(ToPlain(ToHtml("one\r\n\r\ntwo")), "one\r\ntwo");
}

TEST(HtmlDocument, ExactBytes) {
  struct Case { const char* text; bool utf8; std::string document; } cases[] = {
      {"Word", true, kBom + kStyle + "<html>" + kHeader + "Word</html>"},
      {"Word", false, kStyle + "<html>Word</html>"},
      {"  <HTML><body>x</body></html>", true, kBom + "<html>" + kHeader + "<body>x</body></html>"},
      {"<p>caf\xE9</p>", true, kBom + "<html>" + kHeader + "<p>caf\xC3\xA9</p></html>"},
      {"<p>caf\xE9</p>", false, "<html><p>caf\xE9</p></html>"},
      {"a  b", true, kBom + kStyle + "<html>" + kHeader + "a &nbsp;b</html>"},
  };
  ASSERT_EQ(GetACP(), 1252u) << "the non-ASCII cases are written in code page 1252";
  for (const Case& c : cases) EXPECT_EQ(Document(c.text, c.utf8), c.document) << c.text;
}

TEST(HtmlDocument, WorstCaseTextFitsItsBuffer) {
  // Every character a blank (six bytes each as HTML) or a character that
  // takes three bytes in UTF-8: the document still ends complete.
  for (const std::string& text : {std::string(500, ' '), std::string(500, '\x80')}) {
    std::string document = Document(text, true);
    EXPECT_EQ(document.substr(document.size() - 7), "</html>");
  }
}

}  // namespace
