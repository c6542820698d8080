# The layering check: a product-side file calling ::stat must not compile on the platform's
# headers alone (build expected to fail), and its twin, which includes the Linux header itself,
# must. Both are built only by their tests, with the flags and include folders product code gets.
foreach(variant failing twin)
  set(target layering_product_stat_${variant})
  add_library(${target} OBJECT EXCLUDE_FROM_ALL "${CMAKE_CURRENT_LIST_DIR}/product_stat.cpp")
  target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:platform,INTERFACE_INCLUDE_DIRECTORIES>)
  target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:platform,INTERFACE_COMPILE_DEFINITIONS>)
  if(variant STREQUAL "twin")
    target_compile_definitions(${target} PRIVATE KIPO_LAYERING_TWIN)
  endif()
  add_test(NAME layering.product_stat_${variant}
           COMMAND "${CMAKE_COMMAND}" --build "${CMAKE_BINARY_DIR}" --target ${target})
  # One build of the tree at a time.
  set_tests_properties(layering.product_stat_${variant} PROPERTIES RESOURCE_LOCK kipo_build_tree)
endforeach()
set_tests_properties(layering.product_stat_failing PROPERTIES WILL_FAIL TRUE)
