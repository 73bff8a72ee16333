#include "platform/reg_file.h"

#include <gtest/gtest.h>

namespace kel {
namespace {

using Kind = RegFileOp::Kind;

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

std::vector<RegFileOp> Parse(std::string_view text) {
    std::vector<RegFileOp> ops;
    std::string error;
    EXPECT_TRUE(ParseRegFile(text, ops, error)) << error;
    return ops;
}

TEST(RegFileParse, ReadsEveryFormWithLfOrCrLfAndABom) {
    const std::string body = "Windows Registry Editor Version 5.00\n"
                             "\n"
                             "; a comment\n"
                             "[HKEY_CURRENT_USER\\Software\\KEL2]\n"
                             "\"Width\"=dword:00000400\n"
                             "\"Skin\"=\"Dom\\\\yślny \\\"A\\\"\"\n"
                             "@=\"default\"\n"
                             "\"Bin\"=hex:01,02,\\\n"
                             "  ff,\\\n"
                             "\t0A\n"
                             "\"Exp\"=hex(2):41,00\n"
                             "\"Wide\"=hex(1):25,00,41,01,00,00\n"
                             "\"Wide\" = HEX(B):\n"
                             "\"Gone\"=-\n"
                             "[-hkey_current_user\\Software\\Old]\n";
    std::string crlf;
    for (char c : body)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);

    for (const std::string& text : {body, "\xEF\xBB\xBF" + crlf}) {
        const auto ops = Parse(text);
        ASSERT_EQ(ops.size(), 10u);
        EXPECT_EQ(ops[0].kind, Kind::CreateKey);
        EXPECT_EQ(ops[0].key, "Software\\KEL2");
        EXPECT_EQ(ops[1].value.data, (std::vector<uint8_t>{0, 4, 0, 0}));
        EXPECT_EQ(ops[2].value.name, "Skin");
        EXPECT_EQ(ops[2].value.type, RegType::Sz);
        EXPECT_EQ(ops[2].value.data, Bytes(std::string_view("Dom\\y\x9Clny \"A\"\0", 14)));
        EXPECT_EQ(ops[3].value.name, "");
        EXPECT_EQ(ops[4].value.data, (std::vector<uint8_t>{1, 2, 0xFF, 0x0A}));
        EXPECT_EQ(ops[4].line, 8);
        EXPECT_EQ(ops[5].value.type, RegType::ExpandSz);
        EXPECT_EQ(ops[5].value.data, Bytes(std::string_view("A\0", 2)))
            << "too short for the registry editor's UTF-16: raw";
        EXPECT_EQ(ops[6].value.data, Bytes(std::string_view("%\xA3\0", 3)))
            << "UTF-16LE text, as the editor writes it";
        EXPECT_EQ(ops[7].value.type, static_cast<RegType>(11));
        EXPECT_TRUE(ops[7].value.data.empty());
        EXPECT_EQ(ops[8].kind, Kind::DeleteValue);
        EXPECT_EQ(ops[9].kind, Kind::DeleteKey);
        EXPECT_EQ(ops[9].key, "Software\\Old");
        EXPECT_EQ(ops[9].line, 15);
    }
}

// Each error must name the line where the bad entry starts, so a hand-edited file can be fixed.
TEST(RegFileParse, SyntaxErrorsNameTheirLine) {
    const std::string head =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\KEL2]\r\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "line 1: expected"},
        {"REGEDIT4\r\n", "line 1: expected"},
        {"\xFF\xFEW", "line 1: the file is UTF-16"},
        {"Windows Registry Editor Version 5.00\r\n\"A\"=dword:1\r\n", "line 2: a value before the first key"},
        {head + "[HKEY_LOCAL_MACHINE\\Software]\r\n", "line 4: only keys under HKEY_CURRENT_USER"},
        {head + "[HKEY_CURRENT_USER]\r\n", "line 4: values cannot be kept"},
        {head + "[HKEY_CURRENT_USER\\A\\\\B]\r\n", "line 4: invalid key path"},
        {head + "[HKEY_CURRENT_USER\\Software\r\n", "line 4: missing ]"},
        {head + "\"A\"=dword:123456789\r\n", "line 4: dword:"},
        {head + "\"A\"=dword:\r\n", "line 4: dword:"},
        {head + "\"A\"=hex:01,2g\r\n", "line 4: bad byte \"2g\""},
        {head + "\"A\"=hex:01,,02\r\n", "line 4: bad byte"},
        {head + "\"A\"=hex:001\r\n", "line 4: bad byte"},
        {head + "\"A\"=hex(1x):00\r\n", "line 4: unknown value type"},
        {head + "\"A\"=qword:1\r\n", "line 4: unknown value type"},
        {head + "\"A\"=\"C:\\Temp\"\r\n", "line 4: unknown escape \\T"},
        {head + "\"A\"=\"open\r\n", "line 4: missing closing quote"},
        {head + "\"A\"=\"x\" y\r\n", "line 4: text after"},
        {head + "\"A\"=\"日本\"\r\n",
         "line 4: the text is not UTF-8 or holds characters outside code page 1250"},
        {head + "\"A\"=\"\xC4\"\r\n", "line 4: the text is not UTF-8"},
        {head + "\"A\"\r\n", "line 4: expected ="},
        {head + "A=1\r\n", "line 4: expected [key]"},
        {head + "\"B\"=dword:1\r\n\"A\"=hex:01,\\\r\n  02,\\\r\n",
         "line 5: the value continues past its last line"},
        {head + "\"A\"=hex:01,\\\r\n\r\n\"B\"=dword:1\r\n", "line 4: the value continues"},
        {head + "[-HKEY_CURRENT_USER\\X]\r\n\"A\"=dword:1\r\n", "line 5: a value under a deleted key"},
    };
    for (const auto& c : cases) {
        std::vector<RegFileOp> ops;
        std::string error;
        EXPECT_FALSE(ParseRegFile(c.text, ops, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got \"" << error << "\" for:\n" << c.text;
        EXPECT_TRUE(ops.empty());
    }
}

}  // namespace
}  // namespace kel
