# The MAPI layer's tests run on hosts where `kipo-host outlook set` placed the MAPI stand-in; the
# loader's test also loads a library that lacks one of the entry points.
add_library(kipo_partial_mapi SHARED outlook/fixtures/partial_mapi.cpp)
target_link_libraries(kipo_partial_mapi PRIVATE platform)
file(GLOB outlook_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/*_test.cpp")
foreach(src IN LISTS outlook_tests)
  get_filename_component(name "${src}" NAME_WE)
  add_dependencies(outlook_${name} mapi32 mapistub hostapp_foreign kipo_partial_mapi)
  target_compile_definitions(outlook_${name} PRIVATE KIPO_PARTIAL_MAPI="$<TARGET_FILE:kipo_partial_mapi>")
endforeach()
