# clockwarden_add_test(<name> [LIBRARIES <lib>...] [SOURCES <file>...] [PRIVATE_BUS]
#                      [PIPEWIRE] [TIME_ZONES] [LABELS <label>...])
#
# Builds <name>.cpp of the current directory into one QtTest executable and registers it with
# CTest. TIME_ZONES registers it again under each zone of CLOCKWARDEN_TEST_TIME_ZONES, for tests
# whose results depend on the local zone. PRIVATE_BUS runs it inside its own D-Bus session bus, for
# tests that own names or start services on the bus. PIPEWIRE runs it with a PipeWire daemon and
# session manager of its own (and its own bus), as an unprivileged user when started as root.
set(CLOCKWARDEN_TEST_TIME_ZONES Asia/Bangkok America/New_York)
set(CLOCKWARDEN_TEST_BUS_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/with-private-bus)
set(CLOCKWARDEN_TEST_PIPEWIRE_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/pipewire/with-pipewire)

function(clockwarden_add_test name)
    cmake_parse_arguments(ARG "PRIVATE_BUS;PIPEWIRE;TIME_ZONES" "" "LIBRARIES;SOURCES;LABELS" ${ARGN})
    add_executable(${name} ${name}.cpp ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Clockwarden::TestSupport Clockwarden::CompileOptions
                                          ${ARG_LIBRARIES})

    set(command $<TARGET_FILE:${name}>)
    if(ARG_PIPEWIRE)
        set(command ${CLOCKWARDEN_TEST_PIPEWIRE_RUNNER} ${command})
    elseif(ARG_PRIVATE_BUS)
        set(command ${CLOCKWARDEN_TEST_BUS_RUNNER} ${command})
    endif()

    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
    if(ARG_TIME_ZONES)
        foreach(zone IN LISTS CLOCKWARDEN_TEST_TIME_ZONES)
            string(REPLACE "/" "_" suffix ${zone})
            add_test(NAME ${name}@${suffix} COMMAND ${command})
            set_tests_properties(${name}@${suffix} PROPERTIES
                ENVIRONMENT "TZ=${zone}" LABELS "${ARG_LABELS}" TIMEOUT 300)
        endforeach()
    endif()
endfunction()
