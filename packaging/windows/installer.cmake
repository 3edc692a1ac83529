# The Windows installer, lumenveil-setup.exe beside lumenveil.scr, made by
# NSIS's makensis where it is installed (Debian: nsis), with its test under
# Wine: installed and uninstalled silently, for everyone and for the current
# user, in the tests' prefix.
find_program(LV_MAKENSIS makensis NO_CMAKE_FIND_ROOT_PATH)
if(LV_MAKENSIS)
  set(lv_setup ${CMAKE_BINARY_DIR}/lumenveil-setup.exe)
  add_custom_command(OUTPUT ${lv_setup}
                     COMMAND ${LV_MAKENSIS} -V2 -DSCR=$<TARGET_FILE:lumenveil> -DICON=${LV_ICON}
                             -DVERSION=${PROJECT_VERSION} -DOUTFILE=${lv_setup}
                             ${CMAKE_SOURCE_DIR}/packaging/windows/lumenveil.nsi
                     DEPENDS lumenveil ${CMAKE_SOURCE_DIR}/packaging/windows/lumenveil.nsi VERBATIM)
  add_custom_target(installer ALL DEPENDS ${lv_setup})
  if(LUMENVEIL_TESTS AND XVFB_RUN AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME installer_under_wine
             COMMAND ${XVFB_RUN} -a -s "-screen 0 1024x768x24"
                     ${CMAKE_SOURCE_DIR}/tests/packaging/installer.sh
                     ${CMAKE_CROSSCOMPILING_EMULATOR} ${lv_setup} $<TARGET_FILE:lumenveil>)
    set_tests_properties(installer_under_wine PROPERTIES
                         ENVIRONMENT "${lv_wine_env}"
                         FIXTURES_REQUIRED wine TIMEOUT 300 RUN_SERIAL TRUE)
  endif()
endif()
