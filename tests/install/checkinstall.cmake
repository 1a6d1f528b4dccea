# cmake -DBUILD_DIR=... -DPREFIX=... -DVERSION=... [-DREADELF=...] -P checkinstall.cmake
# Installs the build under PREFIX and fails on a missing or unexpected file, a program
# that needs a library the system does not have or carries a run path, a desktop entry
# that desktop-file-validate refuses, AppStream data that appstreamcli refuses, a manual
# page that man warns about or that lacks a section, a program whose --version is not
# VERSION without a display, a changelog or AppStream release behind VERSION, a bash
# completion that offers no commands, or a window started as the desktop entry says that
# does not work in the user's data folder, or a recording service unit that
# systemd-analyze verify refuses or rates above 3.0 in its security report.
set(expected
    bin/telvane
    bin/telvane-cli
    bin/telvane-sim
    lib/systemd/system/telvane-record@.service
    share/applications/telvane.desktop
    share/bash-completion/completions/telvane-cli
    share/doc/telvane/changelog.gz
    share/doc/telvane/copyright
    share/doc/telvane/examples/record.conf
    share/icons/hicolor/256x256/apps/telvane.png
    share/man/man1/telvane-cli.1.gz
    share/man/man1/telvane-sim.1.gz
    share/man/man1/telvane.1.gz
    share/metainfo/org.telvane.telvane.metainfo.xml)

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
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                --unset=QT_QPA_PLATFORM ${path} --version
        RESULT_VARIABLE result OUTPUT_VARIABLE version ERROR_VARIABLE errors)
    if(NOT result EQUAL 0 OR NOT version STREQUAL "Telvane V${VERSION}\n")
        message(FATAL_ERROR "${program} --version without a display: ${result}\n${version}${errors}")
    endif()
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

# Software centres list the window from its AppStream data, which must name the installed
# desktop entry and icon; no network, so the screenshot's address is not fetched.
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${PREFIX}
        RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "appstreamcli validate-tree: ${report}")
    endif()
else()
    message(STATUS "AppStream data not validated: no appstreamcli")
endif()

# The version being installed is the changelog's latest and the AppStream data's latest release.
execute_process(COMMAND gzip -dc ${PREFIX}/share/doc/telvane/changelog.gz
    OUTPUT_VARIABLE changelog RESULT_VARIABLE result)
file(READ ${PREFIX}/share/metainfo/org.telvane.telvane.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
set(release ${CMAKE_MATCH_1})
if(NOT result EQUAL 0 OR NOT changelog MATCHES "^telvane \\(${VERSION}\\) "
   OR NOT release STREQUAL VERSION)
    message(FATAL_ERROR "${VERSION} is not the latest entry of the changelog and the AppStream "
                        "releases:\n${changelog}\n${release}")
endif()

find_program(MAN man)
if(MAN)
    foreach(page telvane telvane-cli telvane-sim)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 LC_ALL=C.UTF-8
                    ${MAN} --warnings -l ${PREFIX}/share/man/man1/${page}.1.gz
            RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE warnings)
        if(NOT result EQUAL 0 OR warnings)
            message(FATAL_ERROR "man ${page}: ${warnings}")
        endif()
        foreach(section OPTIONS "EXIT STATUS" FILES EXAMPLES)
            if(NOT text MATCHES "\n${section}\n")
                message(FATAL_ERROR "man ${page} has no ${section}:\n${text}")
            endif()
        endforeach()
    endforeach()
else()
    message(STATUS "Manual pages not rendered: no man")
endif()

# Completion as bash-completion loads it, in a bash that is not interactive: the commands for
# the first word, a command's options, the values of --mode.
set(completion /usr/share/bash-completion/bash_completion)
if(EXISTS ${completion})
    execute_process(
        COMMAND bash -c [=[
            source "$1" && source "$2" || exit 1
            offers() {
                COMP_WORDS=(telvane-cli "${@:1:$#-1}") COMP_CWORD=$(($# - 1))
                COMP_LINE="${COMP_WORDS[*]}" COMP_POINT=${#COMP_LINE} COMPREPLY=()
                _telvane_cli && echo "${COMPREPLY[*]}" | grep -qx -- "${@: -1}" ||
                    echo "telvane-cli ${*:1:$#-1} offers: ${COMPREPLY[*]}"
            }
            offers "" "ports status record tables export info stats push --help --version"
            offers status "" "--port --simulate --help"
            offers record --mode "" "single multi"
            ]=] check ${completion} ${PREFIX}/share/bash-completion/completions/telvane-cli
        RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(NOT result EQUAL 0 OR report)
        message(FATAL_ERROR "bash completion: ${result}\n${report}")
    endif()
else()
    message(STATUS "Bash completion not tried: no bash-completion")
endif()

# The recording service as an instance of its template, its manual page from the prefix.
find_program(SYSTEMD_ANALYZE systemd-analyze)
if(SYSTEMD_ANALYZE)
    set(units ${PREFIX}.units)
    file(REMOVE_RECURSE ${units})
    file(MAKE_DIRECTORY ${units})
    file(COPY_FILE ${PREFIX}/lib/systemd/system/telvane-record@.service
         ${units}/telvane-record@lab1.service)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env MANPATH=${PREFIX}/share/man
                ${SYSTEMD_ANALYZE} verify ${units}/telvane-record@lab1.service
        RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(NOT result EQUAL 0 OR report)
        message(FATAL_ERROR "systemd-analyze verify telvane-record@.service: ${report}")
    endif()
    # Its sandbox keeps the exposure at 3.0 ("OK") or below.
    execute_process(
        COMMAND ${SYSTEMD_ANALYZE} security --offline=true --threshold=30
                ${units}/telvane-record@lab1.service
        RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "systemd-analyze security telvane-record@.service: ${report}")
    endif()
else()
    message(STATUS "Service unit not verified: no systemd-analyze")
endif()

# Started from the desktop menu, the window works in $XDG_DATA_HOME/telvane, made on first
# start, and leaves the folder it was started in alone. Once its files are there it is
# ended; the wait only gives up on a window that never gets there.
set(menu_start ${PREFIX}.menu)
file(REMOVE_RECURSE ${menu_start})
file(MAKE_DIRECTORY ${menu_start}/started-in)
file(STRINGS ${PREFIX}/share/applications/telvane.desktop exec REGEX "^Exec=")
string(REGEX REPLACE "^Exec=" "" exec "${exec}")
# Started from the menu, not with a file: the launcher drops the file field code.
string(REGEX REPLACE " %[fFuU]" "" exec "${exec}")
separate_arguments(exec UNIX_COMMAND "${exec}")
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            XDG_DATA_HOME=${menu_start}/data PATH=${PREFIX}/bin:$ENV{PATH}
            bash -c [=[
                "$@" 2>/dev/null &
                for ((i = 0; i < 600; i++)); do
                    cd "$XDG_DATA_HOME/telvane" 2>/dev/null &&
                        [[ -e Quorlen.db && -e config.ini && -d Logs ]] && break
                    sleep 0.1
                done
                kill $! && wait $!
                ]=] window ${exec}
    WORKING_DIRECTORY ${menu_start}/started-in)
file(GLOB made RELATIVE ${menu_start} ${menu_start}/data/telvane/* ${menu_start}/started-in/*)
list(FILTER made EXCLUDE REGEX "^data/telvane/Quorlen\\.db(\\.lock|-shm|-wal|-journal)$")
list(SORT made)
set(wanted data/telvane/Logs data/telvane/Quorlen.db data/telvane/config.ini)
if(NOT made STREQUAL wanted)
    message(FATAL_ERROR "started from the menu, the window made ${made} instead of ${wanted}")
endif()
