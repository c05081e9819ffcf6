// Taking path names apart: pure functions, no file system.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "support/paths.h"

namespace {

TEST(PathNames, NameOf) {
  EXPECT_STREQ("file", nameOf("C:file"));
  EXPECT_STREQ("file", nameOf("dir/sub\\file"));
  EXPECT_STREQ("file", nameOf("file"));
  EXPECT_STREQ("", nameOf("C:\\dir\\"));
  EXPECT_STREQ("", nameOf(""));
  EXPECT_STREQ(L"b", nameOfWide(L"a/x\\b"));
  EXPECT_STREQ(L"f", nameOfWide(L"C:f"));
}

TEST(PathNames, ExtensionOfLooksOnlyAtTheNamePart) {
  EXPECT_EQ(nullptr, extensionOf("dir.x\\file"));
  const char* name = "a.b.c";
  EXPECT_EQ(name + 3, extensionOf(name));
  EXPECT_STREQ(".txt", extensionOf("C:\\d.d\\f.txt"));
}

TEST(PathNames, LastCharOf) {
  const char* empty = "";
  EXPECT_EQ(empty, lastCharOf(empty));
  EXPECT_EQ('\\', *lastCharOf("C:\\dir\\"));
  EXPECT_EQ('r', *lastCharOf("C:\\dir"));
}

std::string Stripped(const char* path) {
  char buffer[64];
  strcpy(buffer, path);
  stripName(buffer);
  return buffer;
}

TEST(PathNames, StripName) {
  EXPECT_EQ("a", Stripped("a\\b"));
  EXPECT_EQ("C:\\", Stripped("C:\\b"));
  EXPECT_EQ("C:", Stripped("C:b"));
  EXPECT_EQ("\\", Stripped("\\b"));
  EXPECT_EQ("C:\\a", Stripped("C:\\a\\b"));
  EXPECT_EQ("", Stripped("b"));
  EXPECT_EQ("a/b", Stripped("a/b/c"));
}

std::string Root(const char* path) {
  char root[1024];
  memset(root, '#', sizeof(root));
  pathRoot(path, root);
  return root;
}

TEST(PathNames, PathRoot) {
  EXPECT_EQ("c:\\", Root("c:\\x"));
  EXPECT_EQ("c:\\", Root("c:x"));
  EXPECT_EQ("\\\\server\\share\\", Root("\\\\server\\share\\dir"));
  EXPECT_EQ("\\\\server\\share", Root("\\\\server\\share"));
  EXPECT_EQ("", Root("\\\\server"));
  EXPECT_EQ("", Root("\\dir"));
  EXPECT_EQ("", Root("dir\\x"));
  EXPECT_EQ("", Root("1:\\x"));
}

TEST(PathNames, ToBackslashes) {
  char path[] = "a/b\\c/";
  EXPECT_EQ(path, toBackslashes(path, nullptr, 0));
  EXPECT_STREQ("a\\b\\c\\", path);

  char source[] = "x/y";
  char destination[8];
  memset(destination, '#', sizeof(destination));
  EXPECT_EQ(destination, toBackslashes(source, destination, 4));
  EXPECT_STREQ("x\\y", destination);
  EXPECT_STREQ("x/y", source);
  // A destination exactly as long as the source has no room for the
  // terminator: the result is empty, not a cut name.
  memset(destination, '#', sizeof(destination));
  toBackslashes(source, destination, 3);
  EXPECT_STREQ("", destination);
}

TEST(PathNames, DriveLettersAndWildcards) {
  EXPECT_TRUE(isDriveLetter("c:"));
  EXPECT_TRUE(isDriveLetter("Z:\\x"));
  EXPECT_FALSE(isDriveLetter("1:"));
  EXPECT_FALSE(isDriveLetter("c"));
  EXPECT_FALSE(isDriveLetter(""));
  EXPECT_TRUE(hasWildcards("a\\*.txt", nullptr));
  EXPECT_TRUE(hasWildcards("a?", L""));
  EXPECT_FALSE(hasWildcards("a.txt", nullptr));
  EXPECT_FALSE(hasWildcards(nullptr, nullptr));
  // A non-empty UTF-16 name decides alone.
  EXPECT_FALSE(hasWildcards("*", L"plain"));
  EXPECT_TRUE(hasWildcards("plain", L"x?"));
}

TEST(PathNames, PlainAscii) {
  EXPECT_TRUE(isPlainAscii("C:\\a b~.txt"));
  EXPECT_FALSE(isPlainAscii("caf\xE9"));
  EXPECT_FALSE(isPlainAscii("tab\t"));
  EXPECT_TRUE(isPlainAscii(L"abc"));
  EXPECT_FALSE(isPlainAscii(L"\u00E9"));
}

}  // namespace
