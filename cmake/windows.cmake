# What every target of the 64-bit Windows build shares: the resource compiler, a static link, one output folder, and
# the one set of Windows definitions.
enable_language(RC)

# One static executable that needs nothing beyond Windows' own DLLs: without it Wine cannot even start it.
add_link_options(-static)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Windows 7 and later, the lean windows.h, and no min/max macros to trip over std::min and std::max.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX STRICT _WIN32_WINNT=0x0601 WINVER=0x0601)

# An administrator runs the panel elevated, so its image is hardened. Every function with a local array or an address
# taken checks a canary before it returns, and the string and stdio functions whose buffer size the compiler knows are
# checked (mingw-w64's headers honour _FORTIFY_SOURCE when optimising, up to level 2); both come from GCC's libssp,
# linked statically with the rest. The image keeps ASLR with high entropy and NX, and says it is terminal-server
# aware, so that in a Remote Desktop session Windows applies none of the redirections it keeps for old programs (of the
# Windows folder, INI files and the registry). Control Flow Guard needs a linker that writes the guard tables, which
# GNU ld does not (README).
add_compile_options(-fstack-protector-strong)
add_compile_definitions(_FORTIFY_SOURCE=2)
add_link_options(-fstack-protector-strong LINKER:--dynamicbase,--high-entropy-va,--nxcompat,--tsaware)

# The same sources give the same bytes wherever and whenever they are built: no time in the image's header, and no
# folder of the machine in the code or the debug information: a source reads as src/..., relative to the sources' top,
# and the build folder, where the compiler runs, as . (the later map wins where the build folder lies inside the
# sources). No code uses __DATE__ or __TIME__.
add_link_options(LINKER:--no-insert-timestamp)
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)

# tsm_split_debug(<target>): the image is stripped once it is linked, and its debug information kept beside it in
# <image>.debug, which the image names in its .gnu_debuglink section: a debugger or addr2line finds it there (README).
# Only the stripped image is installed, so the package never carries it. objcopy writes the time of its own run into
# the header it rewrites unless SOURCE_DATE_EPOCH names one: 0 here, as ld's --no-insert-timestamp gives.
function(tsm_split_debug target)
  set(image $<TARGET_FILE:${target}>)
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${objcopy} --only-keep-debug ${image} ${image}.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${image}.debug ${image}
    VERBATIM)
endfunction()

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
  # dlltool names the library's symbols and members after its output's path as given: run in the folder and given a
  # bare name, it writes the same library wherever the build folder lies.
  add_custom_command(OUTPUT "${folder}/lib${name}.a"
    COMMAND "${TSM_DLLTOOL}" --input-def "${name}.def" --dllname "${dll}" --output-delaylib "lib${name}.a"
    WORKING_DIRECTORY "${folder}" DEPENDS "${folder}/${name}.def" VERBATIM)
  add_custom_target(${target}-late-${name} DEPENDS "${folder}/lib${name}.a")
  add_dependencies(${target} ${target}-late-${name})
  # Searched before the toolchain's folder, so -l${name} (the libraries' and the default one) finds this library.
  # Named from the top of the build folder, where Ninja runs the link: ld orders the import tables' pieces by the
  # paths of the files they come from, so an absolute path would order them by where the build folder lies.
  file(RELATIVE_PATH from_top "${CMAKE_BINARY_DIR}" "${folder}")
  target_link_options(${target} BEFORE PRIVATE "-L${from_top}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${folder}/lib${name}.a")
endfunction()
