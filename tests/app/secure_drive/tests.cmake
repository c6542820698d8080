# The secure-drive tests put the OPDSL.dll stand-in of the build beside the test host's program.
foreach(target app_device_sdk_test app_secure_drive_setup_test)
  if(TARGET ${target} AND TARGET opdsl)
    add_dependencies(${target} opdsl)
    target_compile_definitions(${target} PRIVATE KIPO_OPDSL_MODULE="$<TARGET_FILE:opdsl>")
  endif()
endforeach()
