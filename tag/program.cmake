# The quillet program: its driver and tag stages, the executable with its dictionaries beside
# it, the install layout, and their tests. Included from tag/CMakeLists.txt.

# The driver runs the start-up sequence, which calls this tool's exp_usage (in quillet_tag):
# quillet_startup comes before quillet_tag on the link line, so one pass resolves both.
add_library(quillet_program STATIC driver.cpp tag_list.cpp tag_write.cpp)
target_link_libraries(quillet_program PUBLIC quillet_startup quillet_tag quillet_codec
                                             quillet_identity quillet_storage)

add_executable(quillet main.cpp)
target_link_libraries(quillet PRIVATE quillet_program)
target_link_options(quillet PRIVATE ${QUILLET_LEAN_LINK_OPTIONS})

# The dictionaries beside the executable, so that build/tag/quillet runs with them.
file(GLOB QUILLET_DICTIONARIES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/Language/Dictionaries/*.po)
set(quillet_dictionary_copies)
foreach(dictionary ${QUILLET_DICTIONARIES})
  get_filename_component(name ${dictionary} NAME)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/Language/Dictionaries/${name})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dictionary} ${copy}
    DEPENDS ${dictionary})
  list(APPEND quillet_dictionary_copies ${copy})
endforeach()
add_custom_target(quillet_dictionaries ALL DEPENDS ${quillet_dictionary_copies})
add_dependencies(quillet quillet_dictionaries MonkeysAudio)

# `cmake --install <build> --prefix ~/.local`: the program and its dictionaries in one folder,
# a symbolic link to it in bin/, the codec library in the user's library folder, the man page.
install(TARGETS quillet RUNTIME DESTINATION lib/quillet)
install(FILES ${QUILLET_DICTIONARIES} DESTINATION lib/quillet/Language/Dictionaries)
install(TARGETS MonkeysAudio LIBRARY DESTINATION lib)
install(FILES ${PROJECT_SOURCE_DIR}/doc/quillet.1 DESTINATION share/man/man1)
install(CODE [[
  set(bin "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
  file(MAKE_DIRECTORY "${bin}")
  file(REMOVE "${bin}/quillet")
  file(CREATE_LINK ../lib/quillet/quillet "${bin}/quillet" SYMBOLIC)
  message(STATUS "Installing: ${bin}/quillet -> ../lib/quillet/quillet")
]])

quillet_test(tag_stages_test
  SOURCES tag_stages_test.cpp
  LIBRARIES quillet_program)
