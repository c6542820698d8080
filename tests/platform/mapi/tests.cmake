# The Extended MAPI stand-in's tests: the modules are placed in each test host by
# `kipo-host outlook set` and loaded from there, as the product loads them.
kipo_add_tests(platform/mapi)
file(GLOB mapi_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/*_test.cpp")
foreach(src IN LISTS mapi_tests)
  get_filename_component(name "${src}" NAME_WE)
  add_dependencies(platform_mapi_${name} mapi32 mapistub hostapp_foreign)
endforeach()
# The store tests read the store files as databases to see what the stand-in wrote.
foreach(test store session)
  if(TARGET platform_mapi_${test}_test)
    target_link_libraries(platform_mapi_${test}_test PRIVATE SQLite::SQLite3)
  endif()
endforeach()
# The lock test opens store files through the stores' own SQLite file system.
if(TARGET platform_mapi_store_test)
  target_link_libraries(platform_mapi_store_test PRIVATE mapi_core)
endif()
