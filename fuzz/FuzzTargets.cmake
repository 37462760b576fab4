# The fuzz targets, built two ways from the same sources: with libFuzzer (fuzz/CMakeLists.txt,
# clang only) and with a replay main that feeds every file of the corpora (tests/hardening, any
# compiler, in the normal and the sanitizer builds).
set(PXM_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PXM_FUZZ_TARGETS bitmap stream text)
set(PXM_FUZZ_SOURCES_bitmap BitmapFuzzer.cpp)
set(PXM_FUZZ_SOURCES_stream StreamFuzzer.cpp)
set(PXM_FUZZ_SOURCES_text TextFuzzer.cpp)

# An executable at host level: the module and the host module loaded by path.
function(pxm_fuzz_host_executable name)
  add_executable(${name} ${ARGN} ${PXM_FUZZ_DIR}/FuzzHost.cpp ${PROJECT_SOURCE_DIR}/tests/support/ModuleHost.cpp)
  target_include_directories(${name} PRIVATE ${PXM_FUZZ_DIR} ${PROJECT_SOURCE_DIR}/tests/support
                             ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/host/include)
  target_compile_definitions(${name} PRIVATE
    PXM_MODULE_DIR="${PXM_BIN_DIR}" PXM_MODULE_SUFFIX="${CMAKE_SHARED_LIBRARY_SUFFIX}")
  target_link_libraries(${name} PRIVATE pxm_coregraphics ${CMAKE_DL_LIBS})
  add_dependencies(${name} PXM DuvirovurozAd)
endfunction()

# pxm_fuzz_target(<target> <executable name> LIBFUZZER|REPLAY)
function(pxm_fuzz_target target name mode)
  list(TRANSFORM PXM_FUZZ_SOURCES_${target} PREPEND ${PXM_FUZZ_DIR}/ OUTPUT_VARIABLE sources)
  if(mode STREQUAL "REPLAY")
    list(APPEND sources ${PXM_FUZZ_DIR}/ReplayMain.cpp)
  endif()
  if(target STREQUAL "text")
    # Unit level: the string operations linked directly.
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE pxm_objects)
  else()
    pxm_fuzz_host_executable(${name} ${sources})
  endif()
  if(mode STREQUAL "LIBFUZZER")
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endif()
endfunction()

# The seed maker: images of every class and format the module creates, as bitmap files and streams.
function(pxm_seed_maker name)
  pxm_fuzz_host_executable(${name} ${PXM_FUZZ_DIR}/MakeSeeds.cpp)
endfunction()
