# The main window, offscreen, on scripted players.
vk_add_test(mainwindow_test SOURCES mainwindow_test.cpp LIBS app Qt6::Test)
