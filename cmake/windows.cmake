# What every target of the 64-bit Windows build shares: the resource compiler, a static link, one output folder, and
# the one set of Windows definitions.
enable_language(RC)

# One static executable that needs nothing beyond Windows' own DLLs: without it Wine cannot even start it.
add_link_options(-static)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Windows 7 and later, the lean windows.h, and no min/max macros to trip over std::min and std::max.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX STRICT _WIN32_WINNT=0x0601 WINVER=0x0601)
