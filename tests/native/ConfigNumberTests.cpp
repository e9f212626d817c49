// Numbers and ports as the server's configuration writes them.

#include "core/ConfigNumber.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace {

struct NumberCase {
  std::string_view Text;
  std::optional<std::int32_t> Value;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.Text << '"'; }

class ParseConfigIntTable : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseConfigIntTable, Converts) { EXPECT_EQ(tsm::ParseConfigInt(GetParam().Text), GetParam().Value); }

constexpr std::optional<std::int32_t> kInvalid = std::nullopt;
constexpr char kEmbeddedNul[] = {'8', '0', '\0', '8', '0'};

const NumberCase kNumbers[] = {
    // Plain decimal.
    {"0", 0},
    {"8080", 8080},
    {"007", 7},
    {"9", 9},
    {"1999", 1999},
    {"000000000000000000008080", 8080},
    // Blanks: leading spaces only, nothing after the digits.
    {"  8080", 8080},
    {" -12", -12},
    {"8080 ", kInvalid},
    {"\t8080", kInvalid},
    {"\n8080", kInvalid},
    {"\r\n8080", kInvalid},
    {"8080\n", kInvalid},
    {"80 80", kInvalid},
    {"- 1", kInvalid},
    {"", kInvalid},
    {"   ", kInvalid},
    // Signs: at most one, before any prefix.
    {"+8080", 8080},
    {"-8080", -8080},
    {"-0", 0},
    {"+", kInvalid},
    {"-", kInvalid},
    {"+-1", kInvalid},
    {"--1", kInvalid},
    {"1-", kInvalid},
    // The 32-bit range in decimal.
    {"2147483647", INT32_MAX},
    {"2147483648", kInvalid},
    {"-2147483648", INT32_MIN},
    {"-2147483649", kInvalid},
    {"+2147483647", INT32_MAX},
    {"99999999999999999999", kInvalid},
    // Hexadecimal prefixes, either case, digits either case.
    {"$1F90", 8080},
    {"$1f90", 8080},
    {"$A0", 160},
    {"0xa0", 160},
    {"$AbCdEf", 0xABCDEF},
    {"x1F90", 8080},
    {"X1f90", 8080},
    {"0x1F90", 8080},
    {"0X1f90", 8080},
    {"-$10", -16},
    {"+0x10", 16},
    {"  0x10", 16},
    {"$", kInvalid},
    {"x", kInvalid},
    {"0x", kInvalid},
    {"-0x", kInvalid},
    {"$$1", kInvalid},
    {"0x0x1", kInvalid},
    {"00x1", kInvalid},
    {"#1F", kInvalid},
    {"1F90", kInvalid},
    {"$1G", kInvalid},
    {"$ 1", kInvalid},
    {"$1 ", kInvalid},
    // Up to eight significant hexadecimal digits, taken as a 32-bit pattern.
    {"$7FFFFFFF", INT32_MAX},
    {"$80000000", INT32_MIN},
    {"$FFFFFFFF", -1},
    {"0xfffffffe", -2},
    {"$000000000000FFFFFFFF", -1},
    {"$00000000", 0},
    {"$100000000", kInvalid},
    {"$FFFFFFFFF", kInvalid},
    {"-$FFFFFFFF", 1},
    {"-$80000000", INT32_MIN},
    // Decimal does not wrap the way hexadecimal does.
    {"4294967295", kInvalid},
    // Other characters.
    {"8080abc", kInvalid},
    {"abc", kInvalid},
    {"1.5", kInvalid},
    {"1e3", kInvalid},
    {"\xEF\xBC\x98", kInvalid}, // a full-width digit
    {std::string_view(kEmbeddedNul, sizeof kEmbeddedNul), kInvalid},
};
INSTANTIATE_TEST_SUITE_P(ConfigNumber, ParseConfigIntTable, ::testing::ValuesIn(kNumbers));

class PortFromConfigTextTable : public ::testing::TestWithParam<NumberCase> {};

TEST_P(PortFromConfigTextTable, AcceptsOnlyRealPorts) {
  EXPECT_EQ(tsm::PortFromConfigText(GetParam().Text), GetParam().Value);
}

const NumberCase kPorts[] = {
    {"0", kInvalid},          {"1", 1},         {"65535", 65535},  {"65536", kInvalid},
    {"70000", kInvalid},      {"-1", kInvalid}, {"$FFFF", 65535},  {"$10000", kInvalid},
    {"$FFFFFFFF", kInvalid},  {"0x1F90", 8080}, {"  8080", 8080},  {"8080 ", kInvalid},
    {"2147483647", kInvalid}, {"", kInvalid},   {"-$FFFFFFFF", 1}, {"$80000000", kInvalid},
};
INSTANTIATE_TEST_SUITE_P(ConfigNumber, PortFromConfigTextTable, ::testing::ValuesIn(kPorts));

} // namespace
