# Fennock's tests load the built library into a host with the platform's loader, in-process and
# from a stand-in setup program (the drive dialog, driven from outside), with the stand-in main
# program as a program to start.
add_executable(kipo_setup_probe fennock/fixtures/setup_probe.cpp)
target_link_libraries(kipo_setup_probe PRIVATE platform)
target_include_directories(kipo_setup_probe PRIVATE "${PROJECT_SOURCE_DIR}")
function(kipo_fennock_test_rules)
  file(GLOB fennock_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/fennock/*_test.cpp")
  foreach(src IN LISTS fennock_tests)
    get_filename_component(name "${src}" NAME_WE)
    set(target fennock_${name})
    if(TARGET ${target})
      add_dependencies(${target} fennock kipo_setup_probe kipo_stub)
      target_compile_definitions(${target} PRIVATE
        KIPO_FENNOCK="$<TARGET_FILE:fennock>"
        KIPO_SETUP_PROBE="$<TARGET_FILE:kipo_setup_probe>"
        KIPO_STUB="$<TARGET_FILE:kipo_stub>")
    endif()
  endforeach()
endfunction()
# The tests are declared at the end of the tests' build file, after this file is read.
cmake_language(DEFER CALL kipo_fennock_test_rules)
