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

# The crash test kills an item synchronization in another process mid-run.
add_executable(kipo_item_sync_probe outlook/fixtures/item_sync_probe.cpp)
target_link_libraries(kipo_item_sync_probe PRIVATE kipo_app)
if(TARGET outlook_item_synchronizer_test)
  add_dependencies(outlook_item_synchronizer_test kipo_item_sync_probe)
  target_compile_definitions(outlook_item_synchronizer_test PRIVATE
    KIPO_ITEM_SYNC_PROBE="$<TARGET_FILE:kipo_item_sync_probe>")
endif()
