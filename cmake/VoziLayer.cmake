# One static library per layer folder, built from every .cpp below it.
# Globbing keeps the per-layer build files free of hand-kept source lists.

function(vozi_warnings target)
  # GCC 12 reports -Wrestrict falsely on std::string concatenation at -O3.
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()

# vozi_layer(<name> <folder> [DEPS <layer>...]) makes target vozi_<name> when
# the folder holds sources. Dependencies on layers that do not exist yet are
# replaced by their own dependencies, so the chain stays intact.
function(vozi_layer name folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  set(resolved "")
  foreach(dep IN LISTS ARG_DEPS)
    if(TARGET vozi_${dep})
      list(APPEND resolved vozi_${dep})
    else()
      get_property(inherited GLOBAL PROPERTY VOZI_LAYER_DEPS_${dep})
      list(APPEND resolved ${inherited})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES resolved)

  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    set_property(GLOBAL PROPERTY VOZI_LAYER_DEPS_${name} "${resolved}")
    return()
  endif()

  add_library(vozi_${name} STATIC ${sources})
  vozi_warnings(vozi_${name})
  target_include_directories(vozi_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/sdk)
  target_link_libraries(vozi_${name} PUBLIC ${resolved})
  set_property(GLOBAL PROPERTY VOZI_LAYER_DEPS_${name} "vozi_${name}")
  set_property(GLOBAL APPEND PROPERTY VOZI_LAYERS vozi_${name})
endfunction()
