#include "platform/cp1250.h"

#include <gtest/gtest.h>

namespace kel {
namespace {

// Every Polish letter, in the order of the code page bytes below.
constexpr char kPolish[] = "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ";
constexpr char kPolishBytes[] = "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF";

TEST(Cp1250, PolishLettersBothWays) {
    EXPECT_EQ(ToCp1250(kPolish), kPolishBytes);
    EXPECT_EQ(FromCp1250(kPolishBytes), kPolish);
    EXPECT_EQ(ToCp1250("Kamera 1 – wejście"), "Kamera 1 \x96 wej\x9C"
                                              "cie");
}

// The table must be a bijection on the defined bytes, or texts would change on every save.
TEST(Cp1250, EveryDefinedByteRoundTripsAndUndefinedOnesAreReplaced) {
    const std::string undefined = "\x81\x83\x88\x90\x98";
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        if (undefined.find(byte) != std::string::npos)
            EXPECT_EQ(FromCp1250(byte), "\xEF\xBF\xBD") << b;
        else
            EXPECT_EQ(ToCp1250(FromCp1250(byte)), byte) << b;
    }
}

TEST(Cp1250, UnmappableAndMalformedInputBecomesQuestionMarks) {
    EXPECT_EQ(ToCp1250("日本€"), "??\x80");
    EXPECT_EQ(ToCp1250("a\xF0\x9F\x98\x80z"), "a?z");  // one character outside the plane: one '?'
    EXPECT_EQ(ToCp1250("\xEF\xBF\xBD"), "?");          // U+FFFD has no byte either
    // Each malformed byte is one '?': stray continuation, overlong, surrogate, beyond U+10FFFF,
    // and a sequence cut off by the end of the text.
    EXPECT_EQ(ToCp1250("\x80"), "?");
    EXPECT_EQ(ToCp1250("\xC0\xAF"), "??");
    EXPECT_EQ(ToCp1250("\xED\xA0\x80"), "???");
    EXPECT_EQ(ToCp1250("\xF4\x90\x80\x80"), "????");
    EXPECT_EQ(ToCp1250("x\xC4"), "x?");
    EXPECT_EQ(ToCp1250(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1250, CutCharsCountsCodePoints) {
    EXPECT_EQ(CutChars("Zażółć gęślą", 5), "Zażół");
    EXPECT_EQ(CutChars("ąę", 10), "ąę");
    EXPECT_EQ(CutChars("ąę", 0), "");
    EXPECT_EQ(CutChars("", 3), "");
    // A malformed byte counts as one character; a valid sequence is never split.
    EXPECT_EQ(CutChars("\xC4\xC4\x85z", 2), "\xC4\xC4\x85");
    EXPECT_EQ(CutChars("a\xC4", 5), "a\xC4");
}

}  // namespace
}  // namespace kel
