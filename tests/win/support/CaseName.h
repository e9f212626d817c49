// How a parameterised case is named, in the test's full name and wherever GoogleTest prints it (a failure,
// --gtest_list_tests): by its `name` member, which every case type here has.
//
//   using tsm::test::PrintTo;   // in the case type's namespace, where GoogleTest's lookup finds it
//   INSTANTIATE_TEST_SUITE_P(Files, PortTest, testing::ValuesIn(kPorts), tsm::test::CaseName());
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

namespace tsm::test {

template <class Case>
concept NamedCase = requires(const Case& c) {
  std::string_view(c.name);
};

struct CaseName {
  template <NamedCase Case> std::string operator()(const testing::TestParamInfo<Case>& info) const {
    return std::string(std::string_view(info.param.name));
  }
};

template <NamedCase Case> void PrintTo(const Case& c, std::ostream* out) { *out << std::string_view(c.name); }

} // namespace tsm::test
