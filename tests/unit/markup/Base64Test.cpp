#include "common/markup/CBase64Encoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// RFC 4648, section 10 test vectors.
TEST(Base64, Rfc4648Vectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    CBase64Encoder encoder;
    for (const auto& [in, out] : vectors) {
        EXPECT_EQ(encoder.Encode(in), out) << in;
        EXPECT_EQ(encoder.EncodedLength(in.size()), out.size()) << in;
    }
    EXPECT_EQ(encoder.Encode("abc"), "YWJj");
    EXPECT_EQ(encoder.Encode("ab"), "YWI=");
    EXPECT_EQ(encoder.Encode("a"), "YQ==");
}

TEST(Base64, EveryByteValueAndTheWholeAlphabet) {
    // Bytes 0x00..0xFF; expected text from Python:
    //   base64.b64encode(bytes(range(256)))
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    const std::string expected =
        "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+"
        "P0BBQkNERUZH"
        "SElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+"
        "AgYKDhIWGh4iJiouMjY6P"
        "kJGSk5SVlpeYmZqbnJ2en6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/"
        "wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX"
        "2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==";
    EXPECT_EQ(CBase64Encoder().Encode(bytes), expected);
}

TEST(Base64, LineBreaksAfterEveryLineLengthCharactersButNotAfterTheFinalPad) {
    CBase64Encoder encoder;
    encoder.SetLineLength(4);
    EXPECT_EQ(encoder.Encode("abcdef"), "YWJj\r\nZGVm\r\n");
    EXPECT_EQ(encoder.Encode("abcde"), "YWJj\r\nZGU=");
    EXPECT_EQ(encoder.Encode("abcd"), "YWJj\r\nZA==");
    encoder.SetLineLength(3);
    // The first "=" of a double pad is not the final one.
    EXPECT_EQ(encoder.Encode("a"), "YQ=\r\n=");
    EXPECT_EQ(encoder.Encode("abcd"), "YWJ\r\njZA\r\n==");
    for (int line = 1; line <= 9; ++line) {
        encoder.SetLineLength(line);
        for (size_t n = 0; n <= 12; ++n) {
            const std::string text = encoder.Encode(std::string(n, 'x'));
            EXPECT_EQ(encoder.EncodedLength(n), text.size()) << line << " " << n;
        }
    }
    encoder.SetLineLength(0);
    EXPECT_EQ(encoder.Encode("abcdef"), "YWJjZGVm");
}

TEST(Base64, FixedBufferIsCheckedBeforeWriting) {
    CBase64Encoder encoder;
    char out[9];
    EXPECT_EQ(encoder.Encode("abcdef", 6, out, sizeof out), 8);
    EXPECT_STREQ(out, "YWJjZGVm");
    char small[8] = "xxxxxxx";
    EXPECT_EQ(encoder.Encode("abcdef", 6, small, sizeof small), -1);  // no room for the NUL
    EXPECT_STREQ(small, "");
    EXPECT_EQ(encoder.Encode("abc", 3, nullptr, 0), -1);
    char empty[1] = {'x'};
    EXPECT_EQ(encoder.Encode("", 0, empty, sizeof empty), 0);
    EXPECT_STREQ(empty, "");

    // A 64-byte credential buffer holds the text of at most 45 input bytes.
    char credential[64];
    const std::string fits(45, 'u');
    EXPECT_EQ(encoder.Encode(fits.data(), fits.size(), credential, sizeof credential), 60);
    const std::string tooLong(48, 'u');
    EXPECT_EQ(encoder.Encode(tooLong.data(), tooLong.size(), credential, sizeof credential), -1);
}

}  // namespace
