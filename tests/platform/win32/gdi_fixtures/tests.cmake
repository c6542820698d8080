# The graphics test program carries the win32 fixture resources (a bitmap and an icon group), so
# it loads them from itself and, copied into a host, extracts its icon as another program's.
if(TARGET platform_win32_gdi_test)
  target_include_directories(platform_win32_gdi_test PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/fixtures")
  kipo_add_resources(platform_win32_gdi_test platform/win32/fixtures/fixture.rc
                     DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/fixtures/fixture_ids.h"
                             "${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/fixtures/fixture.ico"
                             "${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/fixtures/fixture.bmp"
                             "${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/fixtures/fixture_login.html"
                     DEFINES "FIXTURE_VERSION=1,2,3,4" FIXTURE_FILE_TYPE=VFT_APP)
endif()
