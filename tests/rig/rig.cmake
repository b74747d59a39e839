# nodespotter_add_rig_test(<name> LINKS <link...> SOURCES <files...> [TIMEOUT <s>])
# A test that runs inside tests/rig/rig.sh, in a network namespace of its own
# wired to simulated devices; LINKS are rig.sh's link arguments. It skips
# (exit 77) where the rig cannot run, except under CI=true.
set(NODESPOTTER_RIG_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(nodespotter_rigsupport STATIC
    ${NODESPOTTER_RIG_DIR}/rigsupport.h
    ${NODESPOTTER_RIG_DIR}/rigsupport.cpp)
target_include_directories(nodespotter_rigsupport PUBLIC ${NODESPOTTER_RIG_DIR})
target_link_libraries(nodespotter_rigsupport PUBLIC Qt${QT_VERSION_MAJOR}::Core Qt${QT_VERSION_MAJOR}::Network)

function(nodespotter_add_rig_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "LINKS;SOURCES" ${ARGN})
    add_executable(${name} ${T_SOURCES} ${NODESPOTTER_QRC})
    target_link_libraries(${name} PRIVATE nodespotter_app nodespotter_rigsupport Qt${QT_VERSION_MAJOR}::Test)
    add_test(NAME ${name} COMMAND ${NODESPOTTER_RIG_DIR}/rig.sh ${T_LINKS} -- $<TARGET_FILE:${name}>)
    nodespotter_set_test_properties(${name} "${T_TIMEOUT}" SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endfunction()
