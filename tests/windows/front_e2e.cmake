# The Win32 window (front/win32) under wine on an Xvfb display: its form and
# boxes from inside the process (tarvelin_form_test), and whole runs as a
# user makes them (drop_test.sh: the window above the others, a package on
# the command line and one dragged from another X client). Both use the wine
# prefix below, one at a time; both are skipped (exit 77) where Xvfb or wine
# is missing, the runs also where openbox or xdotool is.
include_guard(GLOBAL)
find_package(GTest REQUIRED)
set(front_wine_prefix ${CMAKE_CURRENT_BINARY_DIR}/wineprefix-front)

add_executable(tarvelin_form_test ${PROJECT_SOURCE_DIR}/tests/front/win32/form_test.cpp)
# With the program's resources, the embedded tool among them.
target_link_libraries(tarvelin_form_test PRIVATE tarvelin_win32_form tarvelin_resources
  GTest::gtest_main)
target_compile_definitions(tarvelin_form_test PRIVATE
  EMBEDDED_TOOL="$<TARGET_PROPERTY:tarvelin,EMBEDDED_TOOL>")
add_test(NAME tarvelin_form_test
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/on_display.sh ${PROJECT_SOURCE_DIR}/scripts/wine-run
    ${front_wine_prefix} $<TARGET_FILE:tarvelin_form_test>)
set_tests_properties(tarvelin_form_test PROPERTIES
  SKIP_RETURN_CODE 77 TIMEOUT 300 RESOURCE_LOCK tarvelin_wine_display)

# The native build's tool, fixture writer and drag source.
if(PANDREL_NATIVE_BUILD)
  add_test(NAME tarvelin_drop_e2e
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/drop_test.sh $<TARGET_FILE:tarvelin>
      ${PROJECT_SOURCE_DIR}/scripts/wine-run ${PANDREL_NATIVE_BUILD} ${front_wine_prefix})
  set_tests_properties(tarvelin_drop_e2e PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 900 RESOURCE_LOCK tarvelin_wine_display)
endif()
