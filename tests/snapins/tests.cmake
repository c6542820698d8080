# The icon-position tests drive a desktop list view in another process: a fixture program lays
# one out.
add_executable(kipo_desktop_probe snapins/fixtures/desktop_probe.cpp)
target_link_libraries(kipo_desktop_probe PRIVATE platform)
target_include_directories(kipo_desktop_probe PRIVATE "${PROJECT_SOURCE_DIR}")
if(TARGET snapins_desktop_icons_test)
  add_dependencies(snapins_desktop_icons_test kipo_desktop_probe)
  target_compile_definitions(snapins_desktop_icons_test PRIVATE
    KIPO_DESKTOP_PROBE="$<TARGET_FILE:kipo_desktop_probe>")
endif()

# The recovery test logs in from one process, kills it and recovers from another.
add_executable(kipo_session_probe snapins/fixtures/session_probe.cpp)
target_link_libraries(kipo_session_probe PRIVATE kipo_app)
if(TARGET snapins_host_recovery_test)
  add_dependencies(snapins_host_recovery_test kipo_session_probe)
  target_compile_definitions(snapins_host_recovery_test PRIVATE
    KIPO_SESSION_PROBE="$<TARGET_FILE:kipo_session_probe>")
endif()

# The crash-repair test kills a synchronization in another process mid-run.
add_executable(kipo_sync_probe snapins/fixtures/sync_probe.cpp)
target_link_libraries(kipo_sync_probe PRIVATE kipo_app)
if(TARGET snapins_file_synchronizer_test)
  add_dependencies(snapins_file_synchronizer_test kipo_sync_probe)
  target_compile_definitions(snapins_file_synchronizer_test PRIVATE
    KIPO_SYNC_PROBE="$<TARGET_FILE:kipo_sync_probe>")
endif()
