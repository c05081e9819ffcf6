// The control libraries: the window classes the start dialog relies on exist
// after loading.
#include <gtest/gtest.h>

#include "ui/ui_libraries.h"

TEST(UiLibraries, RichEditAndCommonControlClassesExist) {
  UiLibraries libraries;
  LoadUiLibraries(&libraries);
  ASSERT_NE(nullptr, libraries.richEdit2);
  WNDCLASSA info;
  EXPECT_TRUE(GetClassInfoA(nullptr, "RichEdit20A", &info));
  EXPECT_TRUE(GetClassInfoA(nullptr, "msctls_progress32", &info));
  FreeUiLibraries(&libraries);
}
