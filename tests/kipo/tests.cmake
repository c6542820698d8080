# The main program's tests: the application object, its frame and views in-process (kipo_program),
# and the program "Kipo.exe" end to end on a host with its helper programs installed.
kipo_add_tests(kipo LIBS kipo_program)
file(GLOB kipo_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/kipo/*_test.cpp")
foreach(src IN LISTS kipo_tests)
  get_filename_component(name "${src}" NAME_WE)
  add_dependencies(kipo_${name} Kipo kipo_languages utility_tolvane utility_varrick)
  if(TARGET kipo_default_customization)
    add_dependencies(kipo_${name} kipo_default_customization)
  endif()
  target_compile_definitions(kipo_${name} PRIVATE KIPO_LANGUAGE_DIR="${KIPO_LANGUAGE_DIR}"
                             KIPO_PROGRAM="$<TARGET_FILE:Kipo>")
endforeach()
# The faults of the structured-exception test are in the test's own code.
if(TARGET kipo_app_object_test)
  kipo_translate_faults(kipo_app_object_test)
endif()
# The relaunch test's drive copy: the same program under another version.
set(kipo_other_version "${CMAKE_CURRENT_BINARY_DIR}/Kipo_other_version.exe")
set(kipo_other_resources "${CMAKE_CURRENT_BINARY_DIR}/Kipo_other_version.kres")
add_custom_command(OUTPUT "${kipo_other_version}"
                   COMMAND kiporc -I "${PROJECT_SOURCE_DIR}/app/kipo" -I "${PROJECT_SOURCE_DIR}/lang"
                           "-DKIPO_FILE_VERSION=1,0,0,2" "-DKIPO_VERSION_TEXT=\"1.0.0.2\""
                           -o "${kipo_other_resources}" "${PROJECT_SOURCE_DIR}/app/kipo/Kipo.rc"
                   COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:Kipo>" "${kipo_other_version}"
                   COMMAND kiporc --attach "${kipo_other_version}" "${kipo_other_resources}"
                   DEPENDS Kipo kiporc "${PROJECT_SOURCE_DIR}/app/kipo/Kipo.rc"
                   WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}/app/kipo"
                   VERBATIM)
add_custom_target(kipo_other_version DEPENDS "${kipo_other_version}")
if(TARGET kipo_startup_test)
  add_dependencies(kipo_startup_test kipo_other_version)
  target_compile_definitions(kipo_startup_test PRIVATE KIPO_OTHER_VERSION="${kipo_other_version}")
endif()
