# Whole-run benchmark: Quillet beside TagLib, mutagen, kid3-cli and a minimal C reader.
#   cmake --build build --target bench-whole-run     (or bench/whole_run.sh build)
add_executable(bench_minimal_read minimal_read.c)
add_executable(bench_alternate_runs alternate_runs.c)
add_executable(bench_minimal_write minimal_write.c)
# What every listing run must do at the least (the library loaded and bound, both dictionaries
# read, the file opened twice, eight lines written), and a Title change rewriting the whole tag.
add_executable(bench_minimal_run minimal_run.c)
target_link_libraries(bench_minimal_run PRIVATE ${CMAKE_DL_LIBS})
add_executable(bench_minimal_title_save minimal_title_save.c)

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(TAGLIB IMPORTED_TARGET taglib)
endif()
if(TAGLIB_FOUND AND TARGET quillet)
  add_executable(bench_taglib_tag taglib_tag.cpp)
  target_link_libraries(bench_taglib_tag PRIVATE PkgConfig::TAGLIB)
  add_custom_target(bench-whole-run
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/whole_run.sh ${PROJECT_BINARY_DIR}
    DEPENDS quillet MonkeysAudio make_sample_ape bench_minimal_read bench_minimal_write
            bench_alternate_runs bench_taglib_tag
    USES_TERMINAL)
endif()
