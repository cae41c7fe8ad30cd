#include "engine/insertion.h"

#include <gtest/gtest.h>

#include "engine/marker.h"

namespace qv {
namespace {

// The page with the text inserted, planned as views and done in place, which must agree.
std::optional<std::string> insert(std::string_view page, std::string_view tag,
                                  std::string_view text) {
  std::optional<Insertion> insertion = insert_before_last(page, tag, text);
  std::string in_place(page);
  EXPECT_EQ(insert_in_place(in_place, tag, text), insertion.has_value());
  if (!insertion) {
    EXPECT_EQ(in_place, page);
    return std::nullopt;
  }
  EXPECT_EQ(insertion->joined().size(), insertion->size());
  EXPECT_EQ(in_place, insertion->joined());
  return insertion->joined();
}

TEST(Insertion, textStandsOnItsOwnLinesBeforeTheTag) {
  EXPECT_EQ(insert("<p>hi</p></body></html>", "</body>", "JS"),
            "<p>hi</p>\r\nJS\r\n</body></html>");
}

TEST(Insertion, onlyTheLastOfSeveralTagsReceivesTheText) {
  EXPECT_EQ(insert("a</body>b</body>c</body>d", "</body>", "T"),
            "a</body>b</body>c\r\nT\r\n</body>d");
}

TEST(Insertion, tagAtTheStartAtTheEndOrAlone) {
  EXPECT_EQ(insert("</body>rest", "</body>", "T"), "\r\nT\r\n</body>rest");
  EXPECT_EQ(insert("page</body>", "</body>", "T"), "page\r\nT\r\n</body>");
  EXPECT_EQ(insert("</body>", "</body>", "T"), "\r\nT\r\n</body>");
}

TEST(Insertion, pageWithoutTheTagIsNotChanged) {
  EXPECT_EQ(insert("<b", "</body>", "T"), std::nullopt);
  EXPECT_EQ(insert("x</BODY>", "</body>", "T"), std::nullopt);
}

TEST(Insertion, textIsInsertedExactlyAsReadEvenEmptyOrWithLineEnds) {
  EXPECT_EQ(insert("a</body>", "</body>", ""), "a\r\n\r\n</body>");
  EXPECT_EQ(insert("a</body>", "</body>", "x\n"), "a\r\nx\n\r\n</body>");
  EXPECT_EQ(insert("a</body>", "</body>", " $& \\1 "), "a\r\n $& \\1 \r\n</body>");
}

TEST(Insertion, emptyTagAppendsAfterTheLastByte) {
  EXPECT_EQ(insert("page", "", "T"), "page\r\nT\r\n");
}

TEST(Insertion, otherTagFromSettings) {
  EXPECT_EQ(insert("<body></body></html>x", "</html>", "T"), "<body></body>\r\nT\r\n</html>x");
}

TEST(Insertion, insertingTwiceAddsTwoCopies) {
  std::string once = *insert("a</body>", "</body>", "T");
  EXPECT_EQ(insert(once, "</body>", "T"), "a\r\nT\r\n\r\nT\r\n</body>");
}

TEST(Insertion, everyByteOfThePageIsKept) {
  std::string page("\0\x1a\r\xff\xfe</body>\x80\0", 14);
  std::string expected =
      std::string("\0\x1a\r\xff\xfe", 5) + "\r\nT\r\n" + std::string("</body>\x80\0", 9);
  EXPECT_EQ(insert(page, "</body>", "T"), expected);
}

TEST(FindInsertion, givesBackThePageAsItWasBeforeTheInsertion) {
  const std::string pages[] = {"a</body>b</body>c", "</body>", "x\r\n\r\n</body>"};
  for (const std::string& page : pages) {
    for (std::string_view text : {"T", "", "has </body> and \r\n"}) {
      const std::string inserted = *insert(page, "</body>", text);
      const std::optional<Insertion> found = find_insertion(inserted, "</body>", text);
      ASSERT_TRUE(found) << page << " / " << text;
      EXPECT_EQ(std::string(found->head) + std::string(found->tail), page);
      EXPECT_EQ(found->joined(), inserted);
    }
  }
  // Anywhere but framed just before the last tag, the text is not an insertion's.
  EXPECT_FALSE(find_insertion("a\r\nT\r\n</body>x</body>", "</body>", "T"));
  EXPECT_FALSE(find_insertion("aT\r\n</body>", "</body>", "T"));
  EXPECT_FALSE(find_insertion("a\r\nT\n</body>", "</body>", "T"));
  EXPECT_FALSE(find_insertion("\r\nT\r\n</body>", "</body>", "U"));
  EXPECT_FALSE(find_insertion("\r\n</body>", "</body>", ""));
  EXPECT_FALSE(find_insertion("a\r\nT\r\n", "</body>", "T"));
}

TEST(Marker, foundAnywhereWithExactCaseAndSpacing) {
  EXPECT_TRUE(holds_marker("var quorvaneSite = 1;", kInsertionMarker));
  EXPECT_TRUE(holds_marker("<script>\nx();var quorvaneSite =", kInsertionMarker));
  EXPECT_FALSE(holds_marker("var QuorvaneSite = 1;", kInsertionMarker));
  EXPECT_FALSE(holds_marker("var quorvaneSite= 1;", kInsertionMarker));
  EXPECT_FALSE(holds_marker("var quorvaneSite ", kInsertionMarker));
  EXPECT_FALSE(holds_marker("", kInsertionMarker));
}

}  // namespace
}  // namespace qv
