# Movie information chunk tests; included from this folder's CMakeLists.txt.
lv_add_test(tst_movieinfo SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_movieinfo.cpp LIBS lv_movie)
