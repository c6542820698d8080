# Halvern's tests: in-process (the language libraries beside a program path of the host, the
# build's kipo-sign for the main program's signing code) and with the program itself, against a
# stand-in main program window (the host's window-owning program under a frame class).
function(kipo_halvern_test_rules)
  file(GLOB halvern_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/U3/halvern/*_test.cpp")
  foreach(src IN LISTS halvern_tests)
    get_filename_component(name "${src}" NAME_WE)
    set(target U3_halvern_${name})
    if(TARGET ${target})
      add_dependencies(${target} kipo_languages kipo-sign halvern hostapp_foreign)
      target_compile_definitions(${target} PRIVATE
        KIPO_LANGUAGE_DIR="${KIPO_LANGUAGE_DIR}"
        KIPO_SIGN_TOOL="$<TARGET_FILE:kipo-sign>"
        KIPO_HALVERN="$<TARGET_FILE:halvern>"
        KIPO_FOREIGN="$<TARGET_FILE:hostapp_foreign>")
    endif()
  endforeach()
endfunction()
# The tests are declared at the end of the tests' build file, after this file is read.
cmake_language(DEFER CALL kipo_halvern_test_rules)
