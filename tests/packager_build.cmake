# A packager's build of this source tree, from scratch, configured as they type it:
#   cmake -S <source> -B <binary> -DCMAKE_BUILD_TYPE=Release && cmake --build <binary>
# Our own builds treat warnings as errors; a packager's must not, so a warning that a newer
# compiler or another optimisation level brings up cannot stop it. Then the program, the codec
# library and the tests that run them as shipped (the end-to-end and the library's entry-point
# tests) are built and run at Release's optimisation and without assertions; the rest of the
# tests run on the calling build, from the same source. Run with
# cmake -DSOURCE=... -DBINARY=... -DGENERATOR=... -P packager_build.cmake.
cmake_minimum_required(VERSION 3.25)

# Nothing of the calling build's settings: only what the packager gives.
foreach(variable CFLAGS CXXFLAGS CPPFLAGS LDFLAGS)
  unset(ENV{${variable}})
endforeach()

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "The packager's Release build failed at: ${what} (${status})")
  endif()
endfunction()

file(REMOVE_RECURSE "${BINARY}")
run_step(configure ${CMAKE_COMMAND} -S "${SOURCE}" -B "${BINARY}" -G "${GENERATOR}"
         -DCMAKE_BUILD_TYPE=Release)

# The flags themselves: a warning-free tree would build even with -Werror, so look.
file(READ "${BINARY}/compile_commands.json" commands)
string(REGEX MATCH "-Werror[^=]" werror "${commands}")
if(werror)
  message(FATAL_ERROR "A packager's build treats warnings as errors (-Werror in its compile "
                      "commands): only our own builds (QUILLET_WERROR) may.")
endif()

cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
run_step(build ${CMAKE_COMMAND} --build "${BINARY}" -j ${cores}
         --target end_to_end_test quillet_ape_file_test)
run_step(tests ${CMAKE_CTEST_COMMAND} --test-dir "${BINARY}" --output-on-failure --no-tests=error
         -j ${cores} -R "^(EndToEnd|MonkeysAudioLibrary)[.]")
