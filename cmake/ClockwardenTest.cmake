# clockwarden_add_test(<name> [LIBRARIES <lib>...] [SOURCES <file>...] [PRIVATE_BUS]
#                      [SYSTEM_BUS] [PIPEWIRE] [TIME_ZONES] [GUI] [XVFB [<option>...]]
#                      [GNOME [<option>...]] [LABELS <label>...])
#
# Builds <name>.cpp of the current directory into one QtTest executable and registers it with
# CTest. TIME_ZONES registers it again under each zone of CLOCKWARDEN_TEST_TIME_ZONES, for tests
# whose results depend on the local zone. PRIVATE_BUS runs it inside its own D-Bus session bus, for
# tests that own names or start services on the bus. SYSTEM_BUS adds a private system bus
# (DBUS_SYSTEM_BUS_ADDRESS) beside it, for stand-ins of system services such as logind. PIPEWIRE
# runs it with a PipeWire daemon and session manager of its own (and its own session bus), as an
# unprivileged user when started as root. GUI links Qt Widgets and runs the test on the X display
# (the Xvfb that scripts/test starts), so widget tests open real windows. XVFB runs it on an Xvfb
# of its own (tests/support/with-xvfb, whose options follow the keyword), for tests that count
# input or read the idle time. GNOME runs it on a private headless GNOME Shell Wayland desktop of
# its own (tests/support/gnome/with-gnome-session, whose options follow the keyword), with the real
# portal, PipeWire and Mutter; the test links Qt Widgets, and Qt picks its platform as on a user's
# desktop.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)

set(CLOCKWARDEN_TEST_TIME_ZONES Asia/Bangkok America/New_York)
set(CLOCKWARDEN_TEST_BUS_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/with-private-bus)
set(CLOCKWARDEN_TEST_PIPEWIRE_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/pipewire/with-pipewire)
set(CLOCKWARDEN_TEST_XVFB_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/with-xvfb)
set(CLOCKWARDEN_TEST_GNOME_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/gnome/with-gnome-session)
set(CLOCKWARDEN_TEST_RERUN_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/rerun-after-leak-checker-crash)

function(clockwarden_add_test name)
    cmake_parse_arguments(ARG "PRIVATE_BUS;SYSTEM_BUS;PIPEWIRE;TIME_ZONES;GUI" "" "LIBRARIES;SOURCES;LABELS;XVFB;GNOME"
                          ${ARGN})
    add_executable(${name} ${name}.cpp ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Clockwarden::TestSupport Clockwarden::CompileOptions
                                          ${ARG_LIBRARIES})
    set(environment)
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE Qt6::Widgets)
        set(environment QT_QPA_PLATFORM=xcb)
    endif()
    # libxkbcommon-x11 hands strndup a keymap name that is not NUL-terminated but exactly n bytes
    # long; ASan's strict string check reads one byte past it when Qt opens the X connection.
    set(environment_changes)
    if(ARG_GUI)
        set(environment_changes "ASAN_OPTIONS=string_append::strict_string_checks=0")
    endif()

    set(command $<TARGET_FILE:${name}>)
    if(ARG_PIPEWIRE)
        set(command ${CLOCKWARDEN_TEST_PIPEWIRE_RUNNER} ${command})
    elseif(ARG_SYSTEM_BUS)
        set(command ${CLOCKWARDEN_TEST_BUS_RUNNER} --system ${command})
    elseif(ARG_PRIVATE_BUS)
        set(command ${CLOCKWARDEN_TEST_BUS_RUNNER} ${command})
    endif()
    if("GNOME" IN_LIST ARGN)
        target_link_libraries(${name} PRIVATE Qt6::Widgets)
        set(command ${CLOCKWARDEN_TEST_GNOME_RUNNER} ${ARG_GNOME} -- ${command})
    endif()
    if("XVFB" IN_LIST ARGN)
        set(command ${CLOCKWARDEN_TEST_XVFB_RUNNER} ${ARG_XVFB} -- ${command})
    endif()

    set(command ${CLOCKWARDEN_TEST_RERUN_RUNNER} ${command})

    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
    if(environment)
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}"
                                                ENVIRONMENT_MODIFICATION "${environment_changes}")
    endif()
    if(ARG_TIME_ZONES)
        foreach(zone IN LISTS CLOCKWARDEN_TEST_TIME_ZONES)
            string(REPLACE "/" "_" suffix ${zone})
            add_test(NAME ${name}@${suffix} COMMAND ${command})
            set_tests_properties(${name}@${suffix} PROPERTIES
                ENVIRONMENT "TZ=${zone};${environment}"
                ENVIRONMENT_MODIFICATION "${environment_changes}" LABELS "${ARG_LABELS}" TIMEOUT 300)
        endforeach()
    endif()
endfunction()
