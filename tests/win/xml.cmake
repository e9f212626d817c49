# The XML adapter, the parameter lookup and the port resolution, against real files through MSXML.
tsm_add_wine_test(tsm_xml_tests SOURCES ${CMAKE_SOURCE_DIR}/tests/win/XmlConfigTests.cpp LIBS tsm_xml tsm_test_support
                  ASIDE)
