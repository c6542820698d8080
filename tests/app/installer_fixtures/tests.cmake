# Program files of three versions for the installer's tests: the running program's (2.1.0.0),
# an older one and a newer one. Each is a resource file that holds only a version block.
set(installer_fixtures "${CMAKE_CURRENT_LIST_DIR}")
foreach(v "older;2,0,9,9" "own;2,1,0,0" "newer;2,1,0,1")
  list(GET v 0 name)
  list(GET v 1 version)
  kipo_add_resource_module(installer_program_${name} "${installer_fixtures}/program_version.rc"
                           OUTPUT_NAME installer_${name}.exe DEFINES "PROGRAM_VERSION=${version}")
endforeach()
if(TARGET app_folder_lookup_test)
  add_dependencies(app_folder_lookup_test installer_program_older installer_program_own installer_program_newer)
  target_compile_definitions(app_folder_lookup_test PRIVATE
    KIPO_INSTALLER_FIXTURES="${CMAKE_CURRENT_BINARY_DIR}")
endif()
