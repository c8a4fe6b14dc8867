# The layers of the program: a library may use those below it, never one
# above. Include paths keep a layer's headers to the targets that link it;
# this check keeps a lower library from linking an upper one at all.

# Every target that `target` links, directly or through others.
function(_quillon_linked_targets target out)
  set(seen ${${out}})
  get_target_property(type ${target} TYPE)
  set(libs "")
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(direct ${target} LINK_LIBRARIES)
    if(direct)
      list(APPEND libs ${direct})
    endif()
  endif()
  get_target_property(usage ${target} INTERFACE_LINK_LIBRARIES)
  if(usage)
    list(APPEND libs ${usage})
  endif()
  foreach(lib ${libs})
    if(TARGET ${lib} AND NOT lib IN_LIST seen)
      list(APPEND seen ${lib})
      _quillon_linked_targets(${lib} seen)
    endif()
  endforeach()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# quillon_check_layer(UPPER <target> LOWER <targets>...): fails the
# configuration when one of the lower targets links the upper one.
function(quillon_check_layer)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "UPPER" "LOWER")
  foreach(lower ${ARG_LOWER})
    set(linked "")
    _quillon_linked_targets(${lower} linked)
    if(ARG_UPPER IN_LIST linked)
      message(FATAL_ERROR "${lower} links ${ARG_UPPER}, a layer above it")
    endif()
  endforeach()
endfunction()
