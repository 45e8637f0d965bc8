#include "common/value_readers.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace plughost {

TEST(CommandLineValues, NumbersTakeOneSpellingEverywhere) {
  float f = 7.0f;
  int i = 7;
  std::string error;
  EXPECT_TRUE(ParseFloat(" +0.5 ", &f));
  EXPECT_EQ(f, 0.5f);
  EXPECT_TRUE(ParseFloat("-1e-3", &f));
  EXPECT_EQ(f, -0.001f);
  EXPECT_TRUE(ParseInt("+12", &i));
  EXPECT_EQ(i, 12);
  for (const char* bad : {"", " ", "nan", "inf", "-inf", "1e", "0x10", "1,5", "++1", "1 2", "abc"}) {
    EXPECT_FALSE(ParseFloat(bad, &f, &error)) << bad;
    EXPECT_EQ(error, "'" + std::string(bad) + "' is not a number");
    EXPECT_FALSE(ParseInt(bad, &i, &error)) << bad;
  }
  EXPECT_FALSE(ParseInt("1.5", &i, &error));
  EXPECT_EQ(error, "'1.5' is not a whole number");
  EXPECT_FALSE(ParseFloat("1e39", &f, &error));
  EXPECT_EQ(error, "'1e39' is out of range for a number (about -3.4e38 to 3.4e38)");
  EXPECT_FALSE(ParseInt("2147483648", &i, &error));
  EXPECT_EQ(error, "'2147483648' is out of range for a whole number (-2147483648 to 2147483647)");
  EXPECT_EQ(f, -0.001f);  // a refused text leaves the value alone
  EXPECT_EQ(i, 12);
}

TEST(CommandLineValues, BooleansTriplesAndTimes) {
  bool b = false;
  EXPECT_TRUE(ParseBool("ON", &b) && b);
  EXPECT_TRUE(ParseBool("no", &b) && !b);
  EXPECT_FALSE(ParseBool("2", &b));

  float v[3];
  std::string error;
  EXPECT_TRUE(ParseTriple("1, 0.5 ,0", v));
  EXPECT_EQ(v[1], 0.5f);
  EXPECT_TRUE(ParseTriple(" 1  2\t3", v));  // points on standard input
  EXPECT_EQ(v[2], 3.0f);
  for (const char* bad : {"1,2", "1,2,3,4", "1,,3", "1 2"}) EXPECT_FALSE(ParseTriple(bad, v)) << bad;
  EXPECT_FALSE(ParseTriple("1,nan,0", v, &error));
  EXPECT_EQ(error, "'1,nan,0': 'nan' is not a number");

  TimeValue t = 0;
  EXPECT_TRUE(ParseTime("10", &t) && t == 1600);
  EXPECT_TRUE(ParseTime(" 320t", &t) && t == 320);
  EXPECT_TRUE(ParseTime("-13421772", &t) && t == -13421772 * 160);
  for (const char* bad : {"1.5", "", "t", "10 frames", "0x10", "nan"}) {
    EXPECT_FALSE(ParseTime(bad, &t, &error)) << bad;
    EXPECT_NE(error.find("give a whole frame number"), std::string::npos) << error;
  }
  for (const char* beyond : {"13421773", "2147483648t", "-2147483649t"}) {
    EXPECT_FALSE(ParseTime(beyond, &t, &error)) << beyond;
    EXPECT_NE(error.find("the host's times run from frame -13421772 to 13421772"), std::string::npos) << error;
  }
  EXPECT_EQ(TimeText(1600), "10");
  EXPECT_EQ(TimeText(-330), "-330t");
  EXPECT_EQ(FloatText(100000.0f), "100000");  // no exponent in the range controls show
  EXPECT_EQ(FloatText(0.1f), "0.1");
  EXPECT_EQ(FloatText(1e-5f), "1e-05");
}

TEST(CommandLineValues, SecondsToWaitAreBounded) {
  double s = 0;
  EXPECT_TRUE(ParseSeconds("0.2", &s) && s > 0.19 && s < 0.21);
  EXPECT_TRUE(ParseSeconds("86400", &s) && s == kMaxWaitSeconds);
  std::string error;
  for (const char* bad : {"0", "-1", "86401", "3e38", "nan", "inf", ""}) {
    s = 7;
    EXPECT_FALSE(ParseSeconds(bad, &s, &error)) << bad;
    EXPECT_EQ(s, 7) << bad;
  }
  EXPECT_EQ(error, "'' is not a number");
}

// Every byte a terminal could take as a command comes out escaped, and
// printable text (UTF-8 included) as it is.
TEST(PrintedText, TerminalSafeEscapesEveryControlCharacter) {
  for (int c = 0; c < 256; ++c) {
    std::string one(1, static_cast<char>(c)), safe = TerminalSafe(one);
    bool control = c < 0x20 || c == 0x7F;
    if (control || c == '\\')
      EXPECT_EQ(safe[0], '\\') << c;
    else
      EXPECT_EQ(safe, one) << c;
  }
  EXPECT_EQ(TerminalSafe("a\nb\x1b[2J\x07\\"), "a\\nb\\x1B[2J\\x07\\\\");
  EXPECT_EQ(TerminalSafe("\xC2\x9B"
                         "31m \xC3\xA9"),
            "\\x9B31m \xC3\xA9");  // C1 CSI escaped; é kept
  EXPECT_EQ(QuoteText("say \"hi\"\r"), "\"say \\\"hi\\\"\\x0D\"");
}

}  // namespace plughost
