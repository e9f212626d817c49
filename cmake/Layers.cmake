# A layer of the program is a folder of src/ and a library of its own, and its headers are named with the folder:
# "core/TagText.h". The library hands its users an include folder that holds that one layer and nothing else (a link
# in the build tree back to the layer's folder), so a target sees the headers of exactly the layers it links: an
# include that reaches into a layer it does not stand on is a file the compiler cannot find.
#
#   tsm_layer_headers(<target> <layer>)   called in the layer's own CMakeLists.txt
function(tsm_layer_headers target layer)
  set(root ${CMAKE_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${layer} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
