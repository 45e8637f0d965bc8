#include <gtest/gtest.h>

#include <string>

#include "strclass.h"

TEST(CStr, EmptyReadsAsEmptyTextNeverNull) {
  CStr s;
  ASSERT_NE(s.data(), nullptr);
  EXPECT_STREQ(s.data(), "");
  EXPECT_TRUE(s.isNull());
  CStr n(static_cast<const char*>(nullptr));
  EXPECT_STREQ(n, "");
}

TEST(CStr, CopiesOwnTheirText) {
  char text[] = "abc";
  CStr a(text);
  text[0] = 'x';
  CStr b = a;
  a = "changed";
  EXPECT_STREQ(b, "abc");
  EXPECT_STREQ(a, "changed");
  a = a.data();  // self-assignment from its own buffer
  EXPECT_STREQ(a, "changed");
  CStr c = std::move(a);
  EXPECT_STREQ(c, "changed");
  EXPECT_EQ(c + CStr("!"), CStr("changed!"));
}

TEST(CStr, PrintfGrowsToFit) {
  CStr s;
  EXPECT_EQ(s.printf("Version %.2f, %s\n3D Studio Max %.1f build", 2.02, "Jan 10 2001", 4.0), 49);
  EXPECT_STREQ(s, "Version 2.02, Jan 10 2001\n3D Studio Max 4.0 build");
  std::string big(5000, 'q');
  s.printf("<%s>", big.c_str());
  EXPECT_EQ(s.Length(), 5002);
}
