// How a parameterised case is named: in the test's full name and wherever GoogleTest prints the case (a failure,
// --gtest_list_tests). Every case type here has a `name` member that says what it is, so one name generator and
// one printer serve them all.
//
//   struct PortCase { const char* name; std::string xml; };
//   using tsm::test::PrintTo;   // in the namespace of PortCase, where GoogleTest looks for a printer
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

// INSTANTIATE_TEST_SUITE_P's name generator: the case's name.
struct CaseName {
  template <NamedCase Case> std::string operator()(const testing::TestParamInfo<Case>& info) const {
    return std::string(std::string_view(info.param.name));
  }
};

// GoogleTest finds a case's printer by argument-dependent lookup, which also sees a using-declaration of this one in
// the case's own namespace; it prints the name rather than the case's bytes.
template <NamedCase Case> void PrintTo(const Case& c, std::ostream* out) { *out << std::string_view(c.name); }

} // namespace tsm::test
