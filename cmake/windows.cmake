# What every target of the 64-bit Windows build shares: the resource compiler, a static link, one output folder, and
# the one set of Windows definitions.
enable_language(RC)

# One static executable that needs nothing beyond Windows' own DLLs: without it Wine cannot even start it.
add_link_options(-static)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Windows 7 and later, the lean windows.h, and no min/max macros to trip over std::min and std::max.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX STRICT _WIN32_WINNT=0x0601 WINVER=0x0601)

# tsm_load_late(<target> <dll> <function>...): <target> loads <dll> on the first call of one of the functions instead
# of before its entry point. For this target alone, the DLL's import library is replaced by a delay-import library of
# the same name that holds exactly these functions: a call of any other function of the DLL fails the link, rather
# than quietly bringing the DLL back to the start.
find_program(TSM_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
function(tsm_load_late target dll)
  string(TOLOWER "${dll}" name)
  string(REGEX REPLACE "\\.dll$" "" name "${name}")
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/${target}-late")
  list(JOIN ARGN "\n" exports)
  file(CONFIGURE OUTPUT "${folder}/${name}.def" CONTENT "LIBRARY ${dll}\nEXPORTS\n${exports}\n")
  add_custom_command(OUTPUT "${folder}/lib${name}.a"
    COMMAND "${TSM_DLLTOOL}" --input-def "${folder}/${name}.def" --dllname "${dll}" --output-delaylib "${folder}/lib${name}.a"
    DEPENDS "${folder}/${name}.def" VERBATIM)
  add_custom_target(${target}-late-${name} DEPENDS "${folder}/lib${name}.a")
  add_dependencies(${target} ${target}-late-${name})
  # Searched before the toolchain's folder, so -l${name} (the libraries' and the default one) finds this library.
  target_link_directories(${target} BEFORE PRIVATE "${folder}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${folder}/lib${name}.a")
endfunction()
