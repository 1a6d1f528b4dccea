# cmake -DBUILD_DIR=... -DPREFIX=... [-DREADELF=...] -P checkinstall.cmake
# Installs the build under PREFIX and fails on a missing or unexpected file, a program
# that needs a library the system does not have or carries a run path, a desktop entry
# that desktop-file-validate refuses, or a manual page that man warns about.
set(expected
    bin/telvane
    bin/telvane-cli
    bin/telvane-sim
    share/applications/telvane.desktop
    share/icons/hicolor/256x256/apps/telvane.png
    share/man/man1/telvane-cli.1.gz)

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " got "${installed}")
    string(REPLACE ";" "\n  " want "${expected}")
    message(FATAL_ERROR "installed:\n  ${got}\nexpected:\n  ${want}")
endif()

foreach(program telvane telvane-cli telvane-sim)
    set(path ${PREFIX}/bin/${program})
    execute_process(COMMAND ldd ${path} OUTPUT_VARIABLE libraries RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR libraries MATCHES "not found")
        message(FATAL_ERROR "${program} does not find its libraries:\n${libraries}")
    endif()
    if(READELF)
        execute_process(COMMAND ${READELF} -d ${path} OUTPUT_VARIABLE dynamic)
        if(dynamic MATCHES "R(UN)?PATH")
            message(FATAL_ERROR "${program} keeps a run path:\n${dynamic}")
        endif()
    endif()
endforeach()

# A PNG whose header says 256 x 256.
file(READ ${PREFIX}/share/icons/hicolor/256x256/apps/telvane.png header LIMIT 24 HEX)
if(NOT header MATCHES "^89504e470d0a1a0a0000000d494844520000010000000100$")
    message(FATAL_ERROR "the icon is no 256 x 256 PNG: ${header}")
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/telvane.desktop
        RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(NOT result EQUAL 0 OR report)
        message(FATAL_ERROR "desktop-file-validate: ${report}")
    endif()
endif()

find_program(MAN man)
if(MAN)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 LC_ALL=C.UTF-8
                ${MAN} --warnings -l ${PREFIX}/share/man/man1/telvane-cli.1.gz
        RESULT_VARIABLE result OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
    if(NOT result EQUAL 0 OR warnings OR NOT page MATCHES "EXIT STATUS")
        message(FATAL_ERROR "man: ${warnings}")
    endif()
endif()
