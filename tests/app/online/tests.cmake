# The online services' tests run the network tests' loopback HTTP and HTTPS server.
foreach(target app_software_updater_test app_server_transaction_test)
  if(TARGET ${target})
    target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests/platform/net/wininet/loopback_server.cpp")
    target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests/platform/net/wininet")
    target_link_libraries(${target} PRIVATE OpenSSL::SSL)
  endif()
endforeach()
