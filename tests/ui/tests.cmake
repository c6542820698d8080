# The login window's and panel's tests carry the program's own login resources (template 278, the
# tab's bitmaps, the page templates), as the program file does.
foreach(name login_panel_test login_pulldown_test)
  if(TARGET ui_${name})
    kipo_add_resources(ui_${name} "${PROJECT_SOURCE_DIR}/app/kipo/login.rc"
                       DEPENDS "${PROJECT_SOURCE_DIR}/lang/ids_login.h" "${PROJECT_SOURCE_DIR}/app/kipo/res/login.html"
                       INCLUDE_DIRS "${PROJECT_SOURCE_DIR}/lang")
  endif()
endforeach()
