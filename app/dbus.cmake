# The automation object on the session bus and the service file that lets the bus start
# the editor for a client ("-Embedding").
list(APPEND GUI_SOURCES
  app/kadroadaptor.h app/kadroadaptor.cpp
)

include(GNUInstallDirs)

# The build tree's own service folder: a test bus whose configuration names this folder
# in <servicedir> starts bin/videokadro from the build.
set(VK_DBUS_SERVICE_DIR ${CMAKE_BINARY_DIR}/dbus-services)
set(VK_KADRO_EXEC ${CMAKE_BINARY_DIR}/bin/videokadro)
configure_file(${CMAKE_SOURCE_DIR}/data/TlmVideoKadro.Kadro.service.in
               ${VK_DBUS_SERVICE_DIR}/TlmVideoKadro.Kadro.service @ONLY)

# The installed service file names the installed editor.
set(VK_INSTALLED_EDITOR "${CMAKE_INSTALL_FULL_LIBDIR}/videokadro/videokadro" CACHE STRING
    "Full path of the installed editor, named by the D-Bus service file")
set(VK_KADRO_EXEC ${VK_INSTALLED_EDITOR})
configure_file(${CMAKE_SOURCE_DIR}/data/TlmVideoKadro.Kadro.service.in
               ${CMAKE_BINARY_DIR}/install/TlmVideoKadro.Kadro.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/TlmVideoKadro.Kadro.service
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/services)
