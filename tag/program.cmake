# The quillet program: its driver and tag stages, the executable with its dictionaries beside
# it, the install layout, and their tests. Included from tag/CMakeLists.txt.

target_sources(quillet_tag PRIVATE driver.cpp tag_list.cpp tag_write.cpp)
target_link_libraries(quillet_tag PUBLIC quillet_codec quillet_identity quillet_storage)

# startup (in quillet_option) calls the tool's exp_usage (in quillet_tag) while quillet_tag
# calls into quillet_option: a program links the two as one group.
set(QUILLET_TOOL_LIBRARIES "$<LINK_GROUP:RESCAN,quillet_tag,quillet_option>")

add_executable(quillet main.cpp)
target_link_libraries(quillet PRIVATE ${QUILLET_TOOL_LIBRARIES})
if(NOT QUILLET_SANITIZE AND NOT QUILLET_FUZZ)
  # Loading and relocating libstdc++ (and its locale set-up) at every start was most of a
  # listing's time, in the program and again when it loads the codec library. Each takes its
  # own private copy instead. Safe here: nothing of the standard library crosses between the
  # two; the library's objects are used and deleted only through their own virtual
  # operations, its entry points have C linkage, and its exported symbols are only those.
  # Dropping the unused parts of the static runtime and packing the relative relocations
  # leaves fewer pages to map and fault in and fewer relocations to apply at start; one
  # read-only segment for code and constants (noseparate-code) means two mappings fewer per
  # image and fewer first-touch faults.
  set(quillet_lean_link -static-libstdc++ -static-libgcc -Wl,--gc-sections
                        -Wl,-z,pack-relative-relocs -Wl,-O1 -Wl,-z,noseparate-code)
  target_link_options(quillet PRIVATE ${quillet_lean_link})
  target_link_options(MonkeysAudio PRIVATE ${quillet_lean_link})
endif()

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
  LIBRARIES ${QUILLET_TOOL_LIBRARIES})
