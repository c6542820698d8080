# The WinInet tests run a loopback HTTP and HTTPS server of their own.
kipo_add_tests(platform/net/wininet)
foreach(target platform_net_wininet_wininet_test platform_net_wininet_internet_session_test)
  if(TARGET ${target})
    target_sources(${target} PRIVATE "${CMAKE_CURRENT_LIST_DIR}/loopback_server.cpp")
    target_link_libraries(${target} PRIVATE OpenSSL::SSL)
  endif()
endforeach()
