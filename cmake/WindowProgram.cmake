# A window program (Cfgpush, Fwbatch): its library (the application object
# and the main window over the shared window pieces in ui/), its pictures
# when it has any, and the program, made from main.cpp.
#   camprep_window_program(NAME SOURCES ... [RESOURCES file.qrc] DEPS ...)
# The library is camprep_NAME_app; tests link it.
function(camprep_window_program name)
  cmake_parse_arguments(ARG "" "RESOURCES" "SOURCES;DEPS" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS Widgets Gui Core)
  set(pictures "")
  if(ARG_RESOURCES)
    qt6_add_resources(pictures ${ARG_RESOURCES})
  endif()
  camprep_library(camprep_${name}_app
    SOURCES ${ARG_SOURCES} ${pictures}
    DEPS ${ARG_DEPS} camprep_ui camprep_discovery camprep_link camprep_strings camprep_platform Qt6::Widgets)
  add_executable(${name} main.cpp)
  target_link_libraries(${name} PRIVATE camprep::options camprep_${name}_app)
endfunction()
