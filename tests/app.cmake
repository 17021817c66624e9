# The automation object on the session bus, the help menu's pages and the version
# dialog. Bus tests start their own dbus-daemon, so they never reach the user's bus.
add_library(apptestbus STATIC app_privatebus.h app_privatebus.cpp)
target_link_libraries(apptestbus PUBLIC Qt6::Core)
target_include_directories(apptestbus PUBLIC ${CMAKE_SOURCE_DIR})

# Own settings folder: one test checks that Quit leaves the settings file unwritten, so
# no other test program may write into the same folder meanwhile.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test-config-app)
vk_add_test(app_kadro_test SOURCES app_kadro_test.cpp LIBS app apptestbus Qt6::DBus
  ENV "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config-app")

# The real editor driven over a private bus with gdbus and dbus-send, and started by the
# bus through the build's service file. Needs dbus-daemon, gdbus, dbus-send and ffmpeg.
vk_add_test(app_dbus_test SOURCES app_dbus_test.cpp LIBS app apptestbus Qt6::DBus)
target_compile_definitions(app_dbus_test PRIVATE
  VK_EDITOR="$<TARGET_FILE:videokadro>"
  VK_SERVICE_DIR="${VK_DBUS_SERVICE_DIR}"
  VK_MAKE_SAMPLE="${CMAKE_SOURCE_DIR}/tools/make-sample.sh")
add_dependencies(app_dbus_test videokadro)
