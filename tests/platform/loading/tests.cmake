# The tests of what the platform loads on first use, with their probe program.
kipo_add_tests(platform/loading)
add_executable(kipo_loadprobe platform/loading/fixtures/loadprobe.cpp)
target_link_libraries(kipo_loadprobe PRIVATE platform)
if(TARGET platform_loading_helper_library_test)
  add_dependencies(platform_loading_helper_library_test kipo_loadprobe)
  target_compile_definitions(platform_loading_helper_library_test PRIVATE
    KIPO_LOADPROBE="$<TARGET_FILE:kipo_loadprobe>"
    KIPO_PLATFORM_LIBRARY="$<TARGET_FILE:platform>")
endif()
