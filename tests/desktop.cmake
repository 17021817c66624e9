# The editor as a desktop application: the launcher, file type and software centre
# files, the installed layout, Qt's Japanese dialog texts, autosave and crash recovery.

# The desktop files pass the freedesktop.org and AppStream checkers (desktop-file-utils,
# appstream).
add_test(NAME desktop_file_valid
         COMMAND desktop-file-validate ${CMAKE_SOURCE_DIR}/data/desktop/jp.talmor.videokadro.desktop)
add_test(NAME desktop_metainfo_valid
         COMMAND appstreamcli validate --no-net --pedantic
                 ${CMAKE_SOURCE_DIR}/data/desktop/jp.talmor.videokadro.metainfo.xml)

# cmake --install into a scratch prefix, then the installed editor started through the
# command link in bin/ (needs update-mime-database from shared-mime-info).
add_test(NAME desktop_install
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/testenv.sh ${VK_TEST_ENV}
                 ${CMAKE_CURRENT_SOURCE_DIR}/desktop_install_test.sh ${CMAKE_BINARY_DIR})

# Standard dialogs in Japanese under the C locale.
vk_add_test(desktop_dialogs_test SOURCES desktop_dialogs_test.cpp LIBS app
  ENV "LANG=C" "LC_ALL=C" "LANGUAGE=")

# Autosave and recovery; the crash cases kill a helper program that edits a project.
add_executable(desktop_autosave_child desktop_autosave_child.cpp desktop_autosave_support.h)
target_link_libraries(desktop_autosave_child PRIVATE testsupport)
vk_add_test(desktop_autosave_test SOURCES desktop_autosave_test.cpp desktop_autosave_support.h)
target_compile_definitions(desktop_autosave_test PRIVATE
  VK_AUTOSAVE_CHILD="$<TARGET_FILE:desktop_autosave_child>"
  VK_PROJECT_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data/project")
add_dependencies(desktop_autosave_test desktop_autosave_child)
