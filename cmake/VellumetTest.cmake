find_program(VELLUMET_SETPRIV setpriv)

# Registers one Qt Test executable per test class, or with TARGET another run of one
# (ARGS picks its functions and rows). Every test runs with a fixed locale and the
# offscreen platform, so no test depends on the machine's settings.
function(vellumet_add_test name)
    cmake_parse_arguments(ARG "UNPRIVILEGED" "TIMEOUT;TARGET" "SOURCES;LIBS;ARGS" ${ARGN})
    if(NOT ARG_TARGET)
        set(ARG_TARGET ${name})
        add_executable(${name} ${ARG_SOURCES})
        target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    endif()
    set(command $<TARGET_FILE:${ARG_TARGET}> ${ARG_ARGS})
    # Tests of read-only folders and unreadable files mean nothing to root, which
    # ignores permissions; under root they run as the unprivileged user nobody. Who runs
    # the tests is known only when they run, so the shell decides then.
    if(ARG_UNPRIVILEGED AND VELLUMET_SETPRIV)
        # No ";" in it: CMake would split the command there.
        set(asNobody [[
            test "$(id -u)" = 0 && exec "$0" --reuid=nobody --regid=nogroup --clear-groups "$@"
            exec "$@"]])
        list(PREPEND command sh -c ${asNobody} ${VELLUMET_SETPRIV})
    endif()
    add_test(NAME ${name} COMMAND ${command})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;VELLUMET_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
