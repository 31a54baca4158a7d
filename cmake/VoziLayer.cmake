# One static library per layer folder, built from every .cpp below it.
# Globbing keeps the per-layer build files free of hand-kept source lists.

function(vozi_warnings target)
  # GCC 12 reports -Wrestrict, -Wstringop-overflow and -Warray-bounds falsely
  # on inlined std::string copies and concatenation at -O3.
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict -Wno-stringop-overflow -Wno-array-bounds>)
endfunction()

# Each layer sees itself and the layers below it only. Sources include
# headers as "platform/X.h", "common/X.h", ...; a layer's include directory
# is a folder in the build tree holding links to the allowed layer folders
# alone, so an upward include does not compile. The view of a layer is kept
# in the global property VOZI_LAYER_VIEW_<name> (for targets outside the
# layers, such as tests, benchmarks and fuzz targets).
function(vozi_layer_view name folder deps)
  get_filename_component(own ${folder} NAME)
  set(folders "${own}=${CMAKE_SOURCE_DIR}/${folder}")
  foreach(dep IN LISTS deps)
    get_property(below GLOBAL PROPERTY VOZI_LAYER_FOLDERS_${dep})
    list(APPEND folders ${below})
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set_property(GLOBAL PROPERTY VOZI_LAYER_FOLDERS_${name} "${folders}")

  set(view ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${view})
  # Links from an earlier configuration go one by one (never recursively:
  # that could reach through a link into the sources).
  file(GLOB old_links LIST_DIRECTORIES true ${view}/*)
  foreach(old IN LISTS old_links)
    file(REMOVE ${old})
  endforeach()
  foreach(entry IN LISTS folders)
    string(REPLACE "=" ";" pair ${entry})
    list(GET pair 0 link)
    list(GET pair 1 target)
    file(CREATE_LINK ${target} ${view}/${link} SYMBOLIC)
  endforeach()
  set_property(GLOBAL PROPERTY VOZI_LAYER_VIEW_${name} ${view})
endfunction()

# vozi_layer(<name> <folder> [DEPS <layer>...]) makes target vozi_<name> when
# the folder holds sources. Dependencies on layers that do not exist yet are
# replaced by their own dependencies, so the chain stays intact.
function(vozi_layer name folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  vozi_layer_view(${name} ${folder} "${ARG_DEPS}")
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
  get_property(view GLOBAL PROPERTY VOZI_LAYER_VIEW_${name})
  target_include_directories(vozi_${name} PUBLIC ${view})
  target_link_libraries(vozi_${name} PUBLIC ${resolved})
  set_property(GLOBAL PROPERTY VOZI_LAYER_DEPS_${name} "vozi_${name}")
  set_property(GLOBAL APPEND PROPERTY VOZI_LAYERS vozi_${name})
endfunction()
