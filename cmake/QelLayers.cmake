# Include roots and link checks of the layers.
#
# Every target sees only the headers of the targets it links: its include
# root is a folder of its own in the build tree that holds one link,
# <folder> -> the source folder, so that "model/tpjfile.h" is found by
# exactly the targets that link the model layer. A wrong include then fails
# the build.

# qel_include_root(TARGET FOLDER [INTERFACE]): FOLDER relative to the source
# tree (e.g. model, toruca/limits).
function(qel_include_root target folder)
  set(_root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(_parent ${_root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${_parent})
  if(NOT EXISTS ${_root}/${folder})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${_root}/${folder} SYMBOLIC)
  endif()
  if(ARGV2 STREQUAL "INTERFACE")
    target_include_directories(${target} INTERFACE ${_root})
  else()
    target_include_directories(${target} PUBLIC ${_root})
  endif()
endfunction()

# qel_module_layer(NAME FOLDER SOURCES... LINKS deps...): one static layer
# of the module, compiled with hidden visibility (the module exports one
# symbol) and linked PRIVATE to the layers below it.
function(qel_module_layer name folder)
  cmake_parse_arguments(PARSE_ARGV 2 _arg "" "" "SOURCES;LINKS")
  add_library(${name} STATIC ${_arg_SOURCES})
  target_compile_features(${name} PUBLIC cxx_std_20)
  qel_include_root(${name} ${folder})
  target_link_libraries(${name} PRIVATE ${_arg_LINKS})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  set_property(GLOBAL APPEND PROPERTY QEL_MODULE_LAYERS ${name})
endfunction()

# A shared object made of the whole layer and nothing but what it links,
# with no symbol left undefined: proves that the layer links on its own.
# (clang's sanitizers leave their runtime to the executable, so not there.)
function(qel_add_layer_checks)
  if(QEL_FUZZ)
    return()
  endif()
  get_property(_layers GLOBAL PROPERTY QEL_MODULE_LAYERS)
  set(_checks)
  foreach(layer IN LISTS _layers)
    add_library(${layer}_links_alone SHARED ${CMAKE_SOURCE_DIR}/cmake/layer_check.cpp)
    target_link_libraries(${layer}_links_alone PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${layer}>")
    target_link_options(${layer}_links_alone PRIVATE -Wl,--no-undefined)
    set_target_properties(${layer}_links_alone PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layer_checks BUILD_RPATH "${CMAKE_BINARY_DIR}")
    list(APPEND _checks ${layer}_links_alone)
  endforeach()
  add_custom_target(qel_layer_checks DEPENDS ${_checks})
endfunction()
