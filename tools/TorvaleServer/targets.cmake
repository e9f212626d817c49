# TorvaleServer.exe, a stand-in for the server the panel manages, with its scripts and a sample configuration
# beside it in bin/, so the panel can be tried from there.
add_executable(TorvaleServer
  ${CMAKE_CURRENT_LIST_DIR}/Main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Request.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServerRun.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StandInServer.cpp
)
target_link_libraries(TorvaleServer PRIVATE tsm_xml ws2_32 advapi32)
target_compile_definitions(TorvaleServer PRIVATE ${TSM_WIN_DEFINITIONS})

# cmd.exe wants CRLF; configure_file copies again whenever a sample changes. The scripts hold no @VARIABLES@.
foreach(sample InstallService.bat UninstallService.bat run.bat)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/samples/${sample} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${sample}
    @ONLY NEWLINE_STYLE CRLF)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/samples/config/AppConfig.xml
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/config/AppConfig.xml @ONLY NEWLINE_STYLE CRLF)
