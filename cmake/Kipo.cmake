# Helpers shared by the build of every folder: one test program per *_test.cpp, one benchmark
# program per *_bench.cpp, so one broken test file never takes the others down with it.

# kipo_add_tests(folder [LIBS libraries...]): the product's folders add their own library.
function(kipo_add_tests folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp")
  foreach(src IN LISTS sources)
    get_filename_component(name "${src}" NAME_WE)
    string(REPLACE "/" "_" prefix "${folder}")
    set(target "${prefix}_${name}")
    add_executable(${target} "${src}")
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} kipo_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300)
  endforeach()
endfunction()

# kipo_add_benchmarks(folder [LIBS libraries...]): as kipo_add_tests.
function(kipo_add_benchmarks folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_bench.cpp")
  foreach(src IN LISTS sources)
    get_filename_component(name "${src}" NAME_WE)
    add_executable(${name} "${src}")
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kipo_test_support benchmark::benchmark benchmark::benchmark_main)
  endforeach()
endfunction()

# Resources: compiles a resource script with kiporc and attaches it to the target's file after
# every link, so the program or module (and any copy of it) carries its resources
# (tools/kiporc/FORMAT.md). DEPENDS names files the script uses (headers, icons, HTML).
#   kipo_add_resources(target script.rc [DEPENDS files...] [DEFINES NAME=VALUE...] [INCLUDE_DIRS dirs...])
function(kipo_add_resources target script)
  cmake_parse_arguments(arg "" "" "DEPENDS;DEFINES;INCLUDE_DIRS" ${ARGN})
  get_filename_component(script_path "${script}" ABSOLUTE)
  set(resource_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.kres")
  _kipo_compile_resources("${script_path}" "${resource_file}" "${arg_DEFINES}" "${arg_INCLUDE_DIRS}" "${arg_DEPENDS}")
  add_custom_target(${target}_resources DEPENDS "${resource_file}")
  add_dependencies(${target} ${target}_resources)
  # A changed script relinks the target, and each link is followed by the attach.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${resource_file}")
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND kiporc --attach "$<TARGET_FILE:${target}>" "${resource_file}"
                     VERBATIM)
endfunction()

# A module with resources and no code (a language library "Lingrove_XXX.DLL"): the resource
# file itself, written as OUTPUT_NAME in the current binary folder by the target `target`.
#   kipo_add_resource_module(target script.rc OUTPUT_NAME name [DEPENDS ...] [DEFINES ...] [INCLUDE_DIRS ...])
function(kipo_add_resource_module target script)
  cmake_parse_arguments(arg "" "OUTPUT_NAME" "DEPENDS;DEFINES;INCLUDE_DIRS" ${ARGN})
  if(NOT arg_OUTPUT_NAME)
    message(FATAL_ERROR "kipo_add_resource_module(${target}) needs OUTPUT_NAME")
  endif()
  get_filename_component(script_path "${script}" ABSOLUTE)
  set(resource_file "${CMAKE_CURRENT_BINARY_DIR}/${arg_OUTPUT_NAME}")
  _kipo_compile_resources("${script_path}" "${resource_file}" "${arg_DEFINES}" "${arg_INCLUDE_DIRS}" "${arg_DEPENDS}")
  add_custom_target(${target} ALL DEPENDS "${resource_file}")
  set_target_properties(${target} PROPERTIES KIPO_RESOURCE_FILE "${resource_file}")
endfunction()

function(_kipo_compile_resources script_path resource_file defines include_dirs depends)
  set(flags "-I${CMAKE_CURRENT_SOURCE_DIR}")
  foreach(d IN LISTS defines)
    list(APPEND flags "-D${d}")
  endforeach()
  foreach(d IN LISTS include_dirs)
    get_filename_component(d "${d}" ABSOLUTE)
    list(APPEND flags "-I${d}")
  endforeach()
  set(depend_paths)
  foreach(d IN LISTS depends)
    get_filename_component(d "${d}" ABSOLUTE)
    list(APPEND depend_paths "${d}")
  endforeach()
  file(RELATIVE_PATH shown "${CMAKE_BINARY_DIR}" "${resource_file}")
  add_custom_command(OUTPUT "${resource_file}"
                     COMMAND kiporc ${flags} -o "${resource_file}" "${script_path}"
                     DEPENDS kiporc "${script_path}" ${depend_paths}
                     COMMENT "Compiling resources ${shown}"
                     VERBATIM)
endfunction()

# A helper library of the platform (platform/host/helper_library.h): "libkipo_<name>.so", made
# by the platform's build file so that it lands beside the platform library, where the platform
# loads it from on first use, and built before the platform library, so whatever links the platform has its helpers
# built. It is not linked with the platform (the two would depend on each other): the platform
# calls it through its table, and it calls the platform through the program's global scope.
#   kipo_add_platform_helper(name SOURCES files... LIBS libraries...)   (from platform/)
function(kipo_add_platform_helper name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
  set(target kipo_${name})
  add_library(${target} SHARED ${arg_SOURCES})
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${target} PRIVATE Threads::Threads ${arg_LIBS})
  add_dependencies(platform ${target})
endfunction()

# Code whose processor faults become structured exceptions: a faulting instruction may throw
# (the fault handler's translator throws through it). Off under the sanitizers, which own the
# fault signals.
function(kipo_translate_faults target)
  if(NOT KIPO_SANITIZE AND NOT KIPO_FUZZ)
    target_compile_options(${target} PRIVATE -fnon-call-exceptions)
  endif()
endfunction()
