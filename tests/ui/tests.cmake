# The login window's and panel's tests carry the program's own login resources (template 278, the
# tab's bitmaps, the page templates), as the program file does.
foreach(name login_panel_test login_pulldown_test)
  if(TARGET ui_${name})
    kipo_add_resources(ui_${name} "${PROJECT_SOURCE_DIR}/app/kipo/login.rc"
                       DEPENDS "${PROJECT_SOURCE_DIR}/lang/ids_login.h" "${PROJECT_SOURCE_DIR}/app/kipo/res/login.html"
                       INCLUDE_DIRS "${PROJECT_SOURCE_DIR}/lang")
  endif()
endforeach()
# The dialogs of a synchronization carry the program's animations, as the program file does.
foreach(name device_usage_control_test progress_dialog_test synchronize_dialog_test)
  if(TARGET ui_${name})
    kipo_add_resources(ui_${name} "${PROJECT_SOURCE_DIR}/app/kipo/animations.rc"
                       DEPENDS "${PROJECT_SOURCE_DIR}/lang/ids_synchronize.h" "${PROJECT_SOURCE_DIR}/app/kipo/res/copyfile.avi"
                       "${PROJECT_SOURCE_DIR}/app/kipo/res/findfile.avi" INCLUDE_DIRS "${PROJECT_SOURCE_DIR}/lang")
  endif()
endforeach()
# The Outlook page and the folder selection run on the MAPI stand-in that `kipo-host outlook set`
# places on the host.
foreach(name outlook_property_page_test select_mapi_folder_dialog_test)
  if(TARGET ui_${name})
    add_dependencies(ui_${name} mapi32 mapistub hostapp_foreign)
  endif()
endforeach()
