// The line a file that is not well-formed goes wrong at, where the reader does not say.
#include "core/XmlFaultLine.h"

#include <gtest/gtest.h>

TEST(XmlFaultLine, NamesTheLineOfTheFirstFault) {
  struct Case {
    const char* name;
    const char* text;
    int line;
  };
  const Case cases[] = {
      {"well-formed, with everything around the root",
       "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!DOCTYPE c [<!ENTITY e \"a>b\">]>\r\n<!-- <x> -->\r\n"
       "<c a='1' b=\"2\">\r\n<![CDATA[</c>]]>&e;<d/></c>\r\n",
       0},
      {"root left open, CR LF lines", "<c>\r\n<parameters>\r\n<p name=\"httpPort\"/>\r\n</parameters>\r\n", 5},
      {"end tag of another element, LF lines", "<c>\n<a>\n</b>\n</c>", 3},
      {"end tag with nothing open", "<c/>\r</c>", 2},
      {"unquoted attribute", "<c>\n<p name=httpPort/>\n</c>", 2},
      {"attributes without a blank between", "<c a=\"1\"b=\"2\"/>", 1},
      {"a second root", "<a/>\n<b/>", 2},
      {"text outside the root", "httpPort=8080\r\n", 1},
      {"empty", "", 1},
      {"comment never closed", "<c>\n<!-- \n", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(tsm::XmlFaultLine(c.text), c.line) << c.name;
}
