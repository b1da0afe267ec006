# The end-to-end tests once more, by the same test program, against the 32-bit programs that the
# win32 preset builds beside this build folder (run under Wine's wow64 mode):
#   e2e32.           the shipped ZAPatch.exe, with the product's service already running, since
#                    it waits for the service for real
#   e2e32-testbuild. its test flavour, for the tests in which the program must start the
#                    service itself or give up on it, or wait for another installation to
#                    end, which takes the shipped program minutes
#   e2e32.real.      the tests on real packages, against the shipped ZAPatch.exe of the win32
#                    build's folder "real" (realmsi/CMakeLists.txt), with Wine's 32-bit msiexec
# All of them carry the label tier32: scripts/run-tests runs them apart, in a virtual machine where
# this machine's kernel runs no 32-bit code.
set(ZAPATCH_WIN32_FOLDER "../win32")
set(e2e_needing_short_waits ServiceFaultTest.cpp|InstallerFaultTest.cpp)

file(GLOB e2e_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*.cpp)
set(e2e_testbuild_sources ${e2e_sources})
list(FILTER e2e_testbuild_sources INCLUDE REGEX "/(${e2e_needing_short_waits})$")
list(REMOVE_ITEM e2e_sources ${e2e_testbuild_sources})

file(GLOB real_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/real/*.cpp)

# The program is named relative to the test program's folder.
function(zapatch_e2e32 target prefix sources program)
    gtest_add_tests(TARGET ${target} SOURCES ${sources} TEST_PREFIX "${prefix}." TEST_LIST tests)
    set_tests_properties(${tests} PROPERTIES
        ENVIRONMENT "WINEDEBUG=-all;ZAPATCH_E2E_PROGRAM=${program};${ARGN}"
        SKIP_RETURN_CODE 77 RUN_SERIAL ON LABELS tier32)
endfunction()

zapatch_e2e32(test_e2e e2e32 "${e2e_sources}" ${ZAPATCH_WIN32_FOLDER}/ZAPatch.exe
              ZAPATCH_E2E_SERVICE_RUNNING=1)
zapatch_e2e32(test_e2e e2e32-testbuild "${e2e_testbuild_sources}"
              ${ZAPATCH_WIN32_FOLDER}/ZAPatch-testbuild.exe)
zapatch_e2e32(test_e2e_real e2e32.real "${real_sources}" ../${ZAPATCH_WIN32_FOLDER}/real/ZAPatch.exe
              ZAPATCH_E2E_SERVICE_RUNNING=1)

# The shipped program through the kill points, on a smaller sample: the virtual machine runs it
# some 20 times slower, and prints nothing while a test runs. Of the stories, the shutdown run
# changes the most: Patches.ini, the installer, the script keys and scripts.ini in system32, which
# a 32-bit program reaches past WOW64's file-system redirection.
add_test(NAME killpoints32.Sample COMMAND ${PROJECT_SOURCE_DIR}/scripts/kill-points
                                          --running-prefix --program win32 --every 100 shutdown-run)
set_tests_properties(killpoints32.Sample PROPERTIES TIMEOUT 1800 RUN_SERIAL ON LABELS tier32)
