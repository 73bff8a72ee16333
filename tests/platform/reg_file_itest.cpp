#include "platform/reg_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <sstream>
#include <tuple>

namespace kel {
namespace {

constexpr char kKey[] = "Software\\KEL2";

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

// Everything in a store, for comparing two stores.
using Snapshot = std::map<std::string, std::vector<std::tuple<std::string, uint32_t, std::vector<uint8_t>>>>;

Snapshot Take(RegistryStore& store) {
    Snapshot all;
    std::vector<std::string> keys;
    EXPECT_TRUE(store.ListKeys(keys)) << store.ErrorText();
    for (const auto& key : keys) {
        std::vector<RegValue> values;
        EXPECT_TRUE(store.ListValues(key, values)) << store.ErrorText();
        auto& out = all[key];
        for (const auto& v : values)
            out.emplace_back(v.name, static_cast<uint32_t>(v.type), v.data);
    }
    return all;
}

class RegFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(store.Open(dir / "a.sqlite")) << store.ErrorText();
        ASSERT_TRUE(copy.Open(dir / "b.sqlite")) << copy.ErrorText();
    }
    void Write(std::string_view name, RegType type, const std::vector<uint8_t>& data,
               std::string_view key = kKey) {
        ASSERT_TRUE(store.WriteValue(key, name, type, data)) << store.ErrorText();
    }
    std::string Export(RegistryStore& from) {
        std::string text, error;
        EXPECT_TRUE(ExportRegFile(from, text, error)) << error;
        return text;
    }

    TempDir dir;
    RegistryStore store;
    RegistryStore copy;
};

TEST_F(RegFileTest, ExportThenImportGivesBackEveryByte) {
    std::vector<uint8_t> zones(405632);
    for (size_t i = 0; i < zones.size(); ++i)
        zones[i] = static_cast<uint8_t>(i % 253);
    Write("Zones", RegType::Binary, zones);
    Write("Polish", RegType::Sz, RegistryStore::SzBytes("ąęłńóśźżĄĘŁŃÓŚŹŻ"));
    Write("Quoted \"name\" \\ here", RegType::Sz, RegistryStore::SzBytes("C:\\KEL2 \"x\""));
    Write("", RegType::Sz, RegistryStore::SzBytes(""));
    // REG_SZ bytes that are not one clean text must come back unchanged too.
    Write("InnerNul", RegType::Sz, Bytes(std::string_view("a\0b\0", 4)));
    Write("NoNul", RegType::Sz, Bytes("abc"));
    Write("TwoNuls", RegType::Sz, Bytes(std::string_view("abc\0\0", 5)));
    Write("Undefined", RegType::Sz, Bytes(std::string_view("\x81\0", 2)));
    Write("Lines", RegType::Sz, Bytes(std::string_view("a\r\nb\0", 5)));
    Write("Empty", RegType::Sz, {});
    Write("Expand", RegType::ExpandSz, RegistryStore::SzBytes("%HOME%"));
    Write("Width", RegType::Dword, RegistryStore::DwordBytes(0xFFFFFFFF));
    Write("Short", RegType::Dword, {1, 2, 3});
    Write("NoBytes", RegType::Binary, {});
    Write("Multi", static_cast<RegType>(7), Bytes(std::string_view("a\0\0", 3)));
    Write("Zero", RegType::None, {9});
    Write("Big", static_cast<RegType>(0xFFFFFFFF), {1});
    Write("x", RegType::Dword, RegistryStore::DwordBytes(1), "Software\\KEL2\\Sub Key");
    ASSERT_TRUE(store.CreateKey("Software\\Empty"));

    const std::string text = Export(store);
    std::string error;
    ASSERT_TRUE(ImportRegFile(copy, text, error)) << error;
    EXPECT_EQ(Take(copy), Take(store));
    EXPECT_EQ(Export(copy), text);

    // regedit's layout: no line past 80 columns, continuation lines indented by two spaces.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_EQ(line.back(), '\r');
        EXPECT_LE(line.size(), 81u) << line;
    }
    EXPECT_NE(text.find("\"Zones\"=hex:00,01,02,"), std::string::npos);
    EXPECT_NE(text.find(",\\\r\n  "), std::string::npos);
}

TEST_F(RegFileTest, ExportWritesTheUsualForms) {
    Write("b", RegType::Dword, RegistryStore::DwordBytes(10));
    Write("A", RegType::Sz, RegistryStore::SzBytes("Zażółć \"gęślą\" C:\\"));
    Write("c", RegType::Binary, {0xAB, 0x01});
    Write("D", RegType::ExpandSz, Bytes(std::string_view("%A%\0", 4)));
    Write("e", RegType::Sz, Bytes("x"));
    Write("@", RegType::Dword, {1});
    Write("v", RegType::Binary, {}, "Software\\KEL2 Extra");
    Write("v", RegType::Binary, {}, "Software\\KEL2\\Sub");
    EXPECT_EQ(Export(store), "Windows Registry Editor Version 5.00\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Software]\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Software\\KEL2]\r\n"
                             "\"@\"=hex(4):01\r\n"
                             "\"A\"=\"Zażółć \\\"gęślą\\\" C:\\\\\"\r\n"
                             "\"b\"=dword:0000000a\r\n"
                             "\"c\"=hex:ab,01\r\n"
                             "\"D\"=hex(2):25,41,25,00\r\n"
                             "\"e\"=hex(1):78\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Software\\KEL2\\Sub]\r\n"
                             "\"v\"=hex:\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Software\\KEL2 Extra]\r\n"
                             "\"v\"=hex:\r\n"
                             "\r\n");
}

TEST_F(RegFileTest, ImportChangesOnlyWhatTheFileSays) {
    Write("Keep", RegType::Dword, RegistryStore::DwordBytes(1));
    Write("Drop", RegType::Dword, RegistryStore::DwordBytes(2));
    Write("v", RegType::Dword, RegistryStore::DwordBytes(3), "Software\\Old\\Sub");
    std::string error;
    ASSERT_TRUE(ImportRegFile(store,
                              "Windows Registry Editor Version 5.00\n"
                              "[-HKEY_CURRENT_USER\\Software\\Old]\n"
                              "[HKEY_CURRENT_USER\\Software\\KEL2]\n"
                              "\"drop\"=-\n"
                              "\"sPass\"=\"Łódź\"\n",
                              error))
        << error;
    RegValue v;
    EXPECT_TRUE(store.ReadValue(kKey, "Keep", v));
    EXPECT_FALSE(store.ReadValue(kKey, "Drop", v));
    EXPECT_FALSE(store.KeyExists("Software\\Old"));
    ASSERT_TRUE(store.ReadValue(kKey, "SPASS", v));
    EXPECT_EQ(v.data, RegistryStore::SzBytes("Łódź"));
}

TEST_F(RegFileTest, AFailedImportLeavesTheStoreAsItWas) {
    Write("Width", RegType::Dword, RegistryStore::DwordBytes(1024));
    const Snapshot before = Take(store);
    const std::string good = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\KEL2]\r\n"
                             "\"Width\"=dword:00000001\r\n"
                             "\"New\"=hex:01,02\r\n";
    std::string error;
    EXPECT_FALSE(ImportRegFile(store, good + "\"Bad\"=hex:zz\r\n", error));
    EXPECT_EQ(error.rfind("line 6: ", 0), 0u) << error;
    EXPECT_EQ(Take(store), before);

    // A file that parses but cannot be written (the file is locked) changes nothing either.
    store.SetBusyTimeout(50);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "a.sqlite").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(ImportRegFile(store, good, error));
    EXPECT_NE(error.find("locked"), std::string::npos) << error;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(Take(store), before);
}

TEST_F(RegFileTest, ADamagedStoreExportsNothing) {
    store.Close();
    WriteFile(dir / "a.sqlite", std::string(5000, '\x7F'));
    ASSERT_TRUE(store.Open(dir / "a.sqlite"));
    std::string text = "stale", error;
    EXPECT_FALSE(ExportRegFile(store, text, error));
    EXPECT_TRUE(text.empty());
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
}

}  // namespace
}  // namespace kel
