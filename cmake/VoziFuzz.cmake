# Compiler settings of the fuzz build (-DVOZI_FUZZ=ON with clang): every
# layer is compiled with coverage instrumentation and the sanitizers, so the
# fuzz targets in fuzz/ link whole layers. Only the targets themselves link
# libFuzzer's main (-fsanitize=fuzzer, in fuzz/CMakeLists.txt).

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  return()
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer
                    "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_SOURCE_DIR}/fuzz/support/source_location.h>")
add_link_options(-fsanitize=address,undefined)
