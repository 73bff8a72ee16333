#include "config/registry_values.h"

#include <gtest/gtest.h>

#include <array>

namespace kel {
namespace {

RegValue Value(RegType type, std::vector<uint8_t> data) {
    return {"v", type, std::move(data)};
}

TEST(RegistryValuesTest, DwordAndTextRejectForeignTypesAndKeepTheField) {
    uint32_t number = 7;
    RegValue v = Value(RegType::Dword, {1, 0, 0});  // a short DWORD would read stray bytes
    EXPECT_FALSE(ReadDword(&v, number));
    v = Value(RegType::Sz, {1, 0, 0, 0});
    EXPECT_FALSE(ReadDword(&v, number));
    EXPECT_EQ(number, 7u);

    std::string text = "kept";
    v = Value(RegType::Dword, {'a', 'b', 'c', 0});
    EXPECT_FALSE(ReadText(&v, text));
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(ReadText(nullptr, text));
    EXPECT_EQ(text, "");
}

TEST(RegistryValuesTest, BinaryAcceptsAnyTypeButTextOrNumber) {
    std::array<uint8_t, 4> field = {9, 9, 9, 9};
    for (RegType t : {RegType::Sz, RegType::ExpandSz, RegType::Dword}) {
        RegValue v = Value(t, {1, 2, 3, 4});
        EXPECT_FALSE(ReadBinary(&v, field));
    }
    EXPECT_TRUE(ReadBinary(nullptr, field));
    EXPECT_EQ(field, (std::array<uint8_t, 4>{9, 9, 9, 9}));

    RegValue v = Value(static_cast<RegType>(7), {5, 6});
    ASSERT_TRUE(ReadBinary(&v, field));
    EXPECT_EQ(field, (std::array<uint8_t, 4>{5, 6, 9, 9}));
}

}  // namespace
}  // namespace kel
