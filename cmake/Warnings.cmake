# The warnings our own code is held to (QEL_WERROR makes them errors).
# Every target defined in one of our source folders links qel_warnings
# privately, so the flags never reach a user of a library, and third-party
# headers, included as system headers through their imported targets, are
# never held to them.
add_library(qel_warnings INTERFACE)
target_compile_options(qel_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
  # C++ only (the tests' GMime reader is C).
  $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Wnon-virtual-dtor>
  -Wmissing-declarations)

# Links qel_warnings into every compiled target of the given folders (and
# their subfolders). Called once, deferred to the end of the top-level
# CMakeLists.txt, so that a new target in any of them is held to the
# warnings without a line of its own.
function(qel_apply_warnings)
  foreach(dir IN LISTS ARGN)
    get_filename_component(path ${dir} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
    _qel_apply_warnings_in(${path})
  endforeach()
endfunction()

function(_qel_apply_warnings_in dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      # The property rather than target_link_libraries(): it works whichever
      # signature the folder used for its own links.
      set_property(TARGET ${t} APPEND PROPERTY LINK_LIBRARIES qel_warnings)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _qel_apply_warnings_in(${sub})
  endforeach()
endfunction()
