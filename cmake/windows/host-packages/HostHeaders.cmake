# Makes an INTERFACE IMPORTED target for a header-only library of the build
# machine: its one include folder is linked into a folder of its own in the
# build tree, so the cross compiler never sees the rest of /usr/include.
function(camprep_host_headers target folder)
  if(TARGET ${target})
    return()
  endif()
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup")
  endif()
  set(staged ${CMAKE_BINARY_DIR}/host-headers/${folder})
  file(MAKE_DIRECTORY ${staged})
  file(REMOVE_RECURSE ${staged}/${folder})
  file(CREATE_LINK /usr/include/${folder} ${staged}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${staged})
endfunction()
