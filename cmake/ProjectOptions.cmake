# One INTERFACE target carries the language standard, the warnings and the
# sanitizer flags; every project target links it.
add_library(camprep_options INTERFACE)
add_library(camprep::options ALIAS camprep_options)
target_compile_features(camprep_options INTERFACE cxx_std_20)
target_compile_options(camprep_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough
  $<$<BOOL:${CAMPREP_WERROR}>:-Werror>)
target_include_directories(camprep_options INTERFACE ${PROJECT_SOURCE_DIR})
if(WIN32)
  # Windows 10's interfaces (WSAPoll, inet_pton, GetUserDefaultUILanguage);
  # windows.h without its rarely used parts and without min/max macros.
  target_compile_definitions(camprep_options INTERFACE
    _WIN32_WINNT=0x0A00 WINVER=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

if(CAMPREP_SANITIZE)
  string(REPLACE "," ";" _sanitizers "${CAMPREP_SANITIZE}")
  set(_flags -fsanitize=${CAMPREP_SANITIZE} -fno-omit-frame-pointer)
  if("undefined" IN_LIST _sanitizers)
    list(APPEND _flags -fno-sanitize-recover=undefined)
  endif()
  # Sanitizers apply to every target, third-party test mains included.
  add_compile_options(${_flags})
  add_link_options(-fsanitize=${CAMPREP_SANITIZE})
endif()

# Adds a library of the project: camprep_library(NAME SOURCES ... [DEPS ...])
function(camprep_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC camprep::options ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()
