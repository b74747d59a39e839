# nodespotter_add_rig_test(<name> LINKS <link...> SOURCES <files...> [TIMEOUT <s>])
# A test that runs inside tests/rig/rig.sh, in a network namespace of its own
# wired to simulated devices; LINKS are rig.sh's link arguments. It skips
# (exit 77) where the rig cannot run, except under CI=true.
set(NODESPOTTER_RIG_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(nodespotter_rigsupport STATIC
    ${NODESPOTTER_RIG_DIR}/rigsupport.h
    ${NODESPOTTER_RIG_DIR}/rigsupport.cpp)
target_include_directories(nodespotter_rigsupport PUBLIC ${NODESPOTTER_RIG_DIR})
target_link_libraries(nodespotter_rigsupport PUBLIC Qt5::Core Qt5::Network)

function(nodespotter_add_rig_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "LINKS;SOURCES" ${ARGN})
    add_executable(${name} ${T_SOURCES} ${NODESPOTTER_QRC})
    target_link_libraries(${name} PRIVATE nodespotter_core nodespotter_rigsupport Qt5::Test)
    add_test(NAME ${name} COMMAND ${NODESPOTTER_RIG_DIR}/rig.sh ${T_LINKS} -- $<TARGET_FILE:${name}>)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT ${NODESPOTTER_TEST_TIMEOUT})
    endif()
    set(env
        QT_QPA_PLATFORM=offscreen
        "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp:print_suppressions=0"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    if(NOT NODESPOTTER_SANITIZE)
        list(APPEND env MALLOC_PERTURB_=165)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}"
                         SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endfunction()
