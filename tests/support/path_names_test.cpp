// Taking path names apart: pure functions, no file system.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "support/paths.h"

namespace {

std::string Stripped(const char* path) {
  char buffer[64];
  strcpy(buffer, path);
  stripName(buffer);
  return buffer;
}

std::string Root(const char* path) {
  char root[1024];
  memset(root, '#', sizeof(root));
  pathRoot(path, root);
  return root;
}

TEST(PathNames, NameExtensionAndLastChar) {
  EXPECT_STREQ("file", nameOf("C:file"));
  EXPECT_STREQ("file", nameOf("dir/sub\\file"));
  EXPECT_STREQ("file", nameOf("file"));
  EXPECT_STREQ("", nameOf("C:\\dir\\"));
  EXPECT_STREQ(L"b", nameOfWide(L"a/x\\b"));
  EXPECT_STREQ(L"f", nameOfWide(L"C:f"));
  EXPECT_EQ(nullptr, extensionOf("dir.x\\file"));
  const char* name = "a.b.c";
  EXPECT_EQ(name + 3, extensionOf(name));
  const char* empty = "";
  EXPECT_EQ(empty, lastCharOf(empty));
  EXPECT_EQ('r', *lastCharOf("C:\\dir"));
}

TEST(PathNames, StripName) {
  EXPECT_EQ("a", Stripped("a\\b"));
  EXPECT_EQ("C:\\", Stripped("C:\\b"));
  EXPECT_EQ("C:", Stripped("C:b"));
  EXPECT_EQ("\\", Stripped("\\b"));
  EXPECT_EQ("C:\\a", Stripped("C:\\a\\b"));
  EXPECT_EQ("", Stripped("b"));
}

TEST(PathNames, PathRoot) {
  EXPECT_EQ("c:\\", Root("c:\\x"));
  EXPECT_EQ("\\\\server\\share\\", Root("\\\\server\\share\\dir"));
  EXPECT_EQ("\\\\server\\share", Root("\\\\server\\share"));
  EXPECT_EQ("", Root("\\\\server"));
  EXPECT_EQ("", Root("\\dir"));
  EXPECT_EQ("", Root("1:\\x"));
}

TEST(PathNames, ToBackslashes) {
  char path[] = "a/b\\c/";
  EXPECT_EQ(path, toBackslashes(path, nullptr, 0));
  EXPECT_STREQ("a\\b\\c\\", path);
  char source[] = "x/y";
  char destination[8];
  toBackslashes(source, destination, 4);
  EXPECT_STREQ("x\\y", destination);
  EXPECT_STREQ("x/y", source);
  // No room for the terminator: empty, not a cut name.
  toBackslashes(source, destination, 3);
  EXPECT_STREQ("", destination);
}

TEST(PathNames, DriveLettersWildcardsAndAscii) {
  EXPECT_TRUE(isDriveLetter("c:"));
  EXPECT_FALSE(isDriveLetter("1:"));
  EXPECT_FALSE(isDriveLetter(""));
  EXPECT_TRUE(hasWildcards("a\\*.txt", nullptr));
  EXPECT_FALSE(hasWildcards(nullptr, nullptr));
  EXPECT_FALSE(hasWildcards("*", L"plain"));  // a UTF-16 name decides alone
  EXPECT_TRUE(hasWildcards("plain", L"x?"));
  EXPECT_TRUE(isPlainAscii("C:\\a b~.txt"));
  EXPECT_FALSE(isPlainAscii("caf\xE9"));
  EXPECT_FALSE(isPlainAscii(L"tab\t"));
}

}  // namespace
