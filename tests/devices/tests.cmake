# The secure-drive library's tests load the built "OPDSL.dll".
if(TARGET platform_win32_opdsl_test)
  add_dependencies(platform_win32_opdsl_test opdsl)
  target_compile_definitions(platform_win32_opdsl_test PRIVATE KIPO_OPDSL_MODULE="$<TARGET_FILE:opdsl>")
endif()
