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
