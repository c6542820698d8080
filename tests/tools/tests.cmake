# The window program of the session, power and display tests of kipo-host.
add_executable(kipo_sessionprobe ${CMAKE_CURRENT_LIST_DIR}/fixtures/sessionprobe.cpp)
target_link_libraries(kipo_sessionprobe PRIVATE platform)
if(TARGET tools_session_tool_test)
  add_dependencies(tools_session_tool_test kipo_sessionprobe)
  target_compile_definitions(tools_session_tool_test PRIVATE KIPO_SESSIONPROBE="$<TARGET_FILE:kipo_sessionprobe>")
endif()
