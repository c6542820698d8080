# Helpers shared by the build of every folder: one test program per *_test.cpp, one benchmark
# program per *_bench.cpp, so one broken test file never takes the others down with it.

function(kipo_add_tests folder)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp")
  foreach(src IN LISTS sources)
    get_filename_component(name "${src}" NAME_WE)
    string(REPLACE "/" "_" prefix "${folder}")
    set(target "${prefix}_${name}")
    add_executable(${target} "${src}")
    target_link_libraries(${target} PRIVATE kipo_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300)
  endforeach()
endfunction()

function(kipo_add_benchmarks folder)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_bench.cpp")
  foreach(src IN LISTS sources)
    get_filename_component(name "${src}" NAME_WE)
    add_executable(${name} "${src}")
    target_link_libraries(${name} PRIVATE kipo_test_support benchmark::benchmark benchmark::benchmark_main)
  endforeach()
endfunction()
