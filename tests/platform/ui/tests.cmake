# The UI driver's tests (message boxes, menus, tray, the driver itself) with resources of their own.
kipo_add_tests(platform/ui)
set(ui_fixtures "${CMAKE_CURRENT_SOURCE_DIR}/platform/ui/fixtures")
file(GLOB ui_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/platform/ui/*_test.cpp")
foreach(src IN LISTS ui_tests)
  get_filename_component(name "${src}" NAME_WE)
  target_include_directories(platform_ui_${name} PRIVATE "${ui_fixtures}")
  kipo_add_resources(platform_ui_${name} platform/ui/fixtures/ui_fixture.rc DEPENDS "${ui_fixtures}/ui_ids.h")
endforeach()

# The framework's in-process UI test and kipo-host ui's test use the framework fixture program and
# its resources.
if(TARGET platform_afx_ui_test)
  add_dependencies(platform_afx_ui_test kipo_afx_fixture)
  target_include_directories(platform_afx_ui_test PRIVATE "${afx_fixtures}")
  kipo_add_resources(platform_afx_ui_test platform/afx/fixtures/afx_fixture.rc DEPENDS "${afx_fixtures}/afx_ids.h")
endif()
if(TARGET tools_ui_tool_test)
  add_dependencies(tools_ui_tool_test kipo_afx_fixture)
  target_include_directories(tools_ui_tool_test PRIVATE "${afx_fixtures}")
  target_compile_definitions(tools_ui_tool_test PRIVATE KIPO_AFX_FIXTURE="$<TARGET_FILE:kipo_afx_fixture>")
endif()
