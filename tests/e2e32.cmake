# The end-to-end tests once more, by the same test program, against the 32-bit programs that the
# win32 preset builds beside this build folder (run under Wine's wow64 mode):
#   e2e32.           the shipped ZAPatch.exe, with the product's service already running, since
#                    it waits for the service for real
#   e2e32-testbuild. its test flavour, for the tests in which the program must start the
#                    service itself or give up on it, which takes the shipped program minutes
set(ZAPATCH_WIN32_FOLDER "../win32")
set(e2e_needing_service_start ServiceFaultTest.cpp)

file(GLOB e2e_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/*.cpp)
set(e2e_testbuild_sources ${e2e_sources})
list(FILTER e2e_testbuild_sources INCLUDE REGEX "/(${e2e_needing_service_start})$")
list(REMOVE_ITEM e2e_sources ${e2e_testbuild_sources})

function(zapatch_e2e32 prefix sources program)
    gtest_add_tests(TARGET test_e2e SOURCES ${sources} TEST_PREFIX "${prefix}." TEST_LIST tests)
    set_tests_properties(${tests} PROPERTIES
        ENVIRONMENT "WINEDEBUG=-all;ZAPATCH_E2E_PROGRAM=${ZAPATCH_WIN32_FOLDER}/${program};${ARGN}"
        SKIP_RETURN_CODE 77 RUN_SERIAL ON)
endfunction()

zapatch_e2e32(e2e32 "${e2e_sources}" ZAPatch.exe ZAPATCH_E2E_SERVICE_RUNNING=1)
zapatch_e2e32(e2e32-testbuild "${e2e_testbuild_sources}" ZAPatch-testbuild.exe)
