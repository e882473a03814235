#include "veskorSearch/textBuffer.h"

#include <gtest/gtest.h>

#include <string>

#include "orlBasics/orlException.h"
#include "support/raises.h"

namespace {

using veskortest::messageHead;
using veskortest::raisedBy;
using veskortest::startsWith;

TEST(TextBuffer, AppendGrowsByHalfTheSizeButAtLeast128) {
  orl::TextBufferPtr b(textBuffer_create(0));
  EXPECT_EQ(b->size, 1);
  EXPECT_STREQ(textBuffer_getString(b.get()), "");
  EXPECT_EQ(textBuffer_printf(b.get(), "%s", "Hallo"), 5);
  EXPECT_EQ(b->size, 129);
  EXPECT_EQ(b->length, 5);
  std::string big(300, 'x');
  textBuffer_printf(b.get(), "%s", big.c_str());
  EXPECT_EQ(b->size, 129 + 128 + 128);  // 129/2 < 128, then 257/2 = 128
  EXPECT_EQ(std::string(textBuffer_getString(b.get())), "Hallo" + big);
  EXPECT_EQ(textBuffer_printf(b.get(), "%6d", 42), 6);
  EXPECT_EQ(std::string(textBuffer_getString(b.get())).substr(305), "    42");
}

TEST(TextBuffer, SubstringsAreViewsCopiedOnWrite) {
  textBuffer* owner = textBuffer_createFromString("abcdefgh");
  textBuffer* view = textBuffer_createSubString(owner, 2, 5);
  EXPECT_EQ(view->data, owner->data);  // no copy yet
  EXPECT_EQ(owner->refCount, 2);
  EXPECT_EQ(std::string(view->data + view->start, view->length), "cde");
  textBuffer* empty = textBuffer_createSubString(owner, 0, 0);
  EXPECT_EQ(empty->length, 0);
  textBuffer_free(empty);

  textBuffer_printf(view, "%s", "XY");
  EXPECT_STREQ(textBuffer_getString(view), "cdeXY");
  EXPECT_EQ(view->shared, nullptr);
  EXPECT_STREQ(textBuffer_getString(owner), "abcdefgh");
  EXPECT_EQ(owner->refCount, 1);
  textBuffer_free(view);
  textBuffer_free(owner);

  // Owner released first: storage stays until the view goes too (sanitizers watch this).
  owner = textBuffer_createFromString("abcdefgh");
  view = textBuffer_createSubString(owner, 1, 3);
  textBuffer_free(owner);
  EXPECT_EQ(std::string(view->data + view->start, view->length), "bc");
  textBuffer_free(view);
}

TEST(TextBuffer, SubstringErrorsLeaveTheBufferUnchanged) {
  orl::TextBufferPtr b(textBuffer_createFromString("abcdefgh"));
  orl::Exception e = raisedBy([&] { textBuffer_subString(b.get(), 3, 2); });
  EXPECT_EQ(e.group(), 1);
  EXPECT_EQ(e.code(), 1);
  EXPECT_EQ(messageHead(e), "textBuffer_[create]SubString: startindex > endindex 3 > 2\"abcdefgh\"");
  e = raisedBy([&] { textBuffer_subString(b.get(), 0, 9); });
  EXPECT_EQ(messageHead(e), "textBuffer_createSubString: index out of bounds");
  EXPECT_EQ(b->length, 8);
  EXPECT_EQ(messageHead(raisedBy([] { textBuffer_create(-1); })), "startSize < 0");
}

TEST(TextBuffer, FindFirstOfAndNotOf) {
  orl::TextBufferPtr b(textBuffer_createFromString("ab, cd"));
  EXPECT_EQ(textBuffer_findFirstOf(b.get(), ", ", 0), 2);
  EXPECT_EQ(textBuffer_findFirstOf(b.get(), ", ", -5), 2);
  EXPECT_EQ(textBuffer_findFirstOf(b.get(), ", ", 6), -1);
  EXPECT_EQ(textBuffer_findFirstOf(b.get(), "", 0), -1);
  EXPECT_EQ(textBuffer_findFirstNotOf(b.get(), ", ", 2), 4);
  EXPECT_EQ(textBuffer_findFirstNotOf(b.get(), "", 3), 3);
  EXPECT_EQ(textBuffer_findFirstNotOf(b.get(), "abcd, ", 0), -1);
}

TEST(TextBuffer, SplitIntoViews) {
  orl::TextBufferPtr b(textBuffer_createFromString("-a--bc-d"));
  orl::VectorPtr parts(textBuffer_split(b.get(), "-"));
  ASSERT_EQ(parts->numberElements, 3);
  const char* expected[] = {"a", "bc", "d"};
  for (int32_t i = 0; i < 3; ++i) {
    textBuffer* part = orl::vectorAt<textBuffer*>(parts.get(), i);
    EXPECT_STREQ(textBuffer_getString(part), expected[i]);
    textBuffer_free(part);
  }
  orl::TextBufferPtr delimiters(textBuffer_createFromString("---"));
  orl::VectorPtr none(textBuffer_split(delimiters.get(), "-"));
  EXPECT_EQ(none->numberElements, 0);
}

TEST(TextBuffer, GrowthStopsAtOneMebibyte) {
  orl::TextBufferPtr b(textBuffer_create(0));
  textBuffer_growBy(b.get(), textBuffer_maxSize - 1);
  EXPECT_EQ(b->size, textBuffer_maxSize);
  orl::Exception e = raisedBy([&] { textBuffer_growBy(b.get(), 1); });
  EXPECT_EQ(messageHead(e),
            "textBuffer_growBy : maxSize was exceeded\n(protection againt missing zero termination)\n"
            "increase limit maxSize if neccessary");
  EXPECT_EQ(b->size, textBuffer_maxSize);

  orl::TextBufferPtr small(textBuffer_create(0));
  std::string tooLong(textBuffer_maxSize, 'x');
  EXPECT_EQ(raisedBy([&] { textBuffer_printf(small.get(), "%s", tooLong.c_str()); }).code(), 1);
  EXPECT_EQ(small->length, 0);
}

}  // namespace
