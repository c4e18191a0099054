# Runs at install time (cmake --install, DESTDIR, cpack): puts the site's EDI.ini under the
# configuration folder of the installation and links it two folders above the programs, where
# they look for it. Folders are worked out from the prefix given at install time, as
# GNUInstallDirs does: the prefix /usr keeps its configuration in /etc and its data in /var.
#   EDI_SOURCE_DIR, EDI_PROGRAM_ROOT_REL, EDI_DATA_DIR_REL are set by packaging/CMakeLists.txt.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(etc "/etc")
  set(var "/var")
else()
  set(etc "${prefix}/etc")
  set(var "${prefix}/var")
endif()
set(EDI_PROGRAM_ROOT "${prefix}/${EDI_PROGRAM_ROOT_REL}")
set(EDI_DATA_DIR "${prefix}/${EDI_DATA_DIR_REL}")
set(EDI_STATE_DIR "${var}/lib/edi-workstation")
set(EDI_SPOOL_DIR "${var}/spool/edi-workstation")
set(EDI_LOG_DIR "${var}/log/edi-workstation")
set(EDI_PREFIX_BIN "${prefix}/bin")
set(staging "${CMAKE_CURRENT_BINARY_DIR}/edi-install")
file(MAKE_DIRECTORY "${staging}")

# EDI.ini is a Windows profile file: CP932 with CR LF.
configure_file("${EDI_SOURCE_DIR}/packaging/EDI.ini.in" "${staging}/EDI.ini.utf8" @ONLY)
file(READ "${staging}/EDI.ini.utf8" text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${staging}/EDI.ini.crlf" "${text}")
execute_process(COMMAND iconv -f UTF-8 -t CP932 INPUT_FILE "${staging}/EDI.ini.crlf"
                OUTPUT_FILE "${staging}/EDI.ini" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "EDI.ini template: iconv to CP932 failed")
endif()
file(INSTALL "${staging}/EDI.ini" DESTINATION "${etc}/edi-workstation"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The demo's stand-in package writes into the output folder of this configuration.
configure_file("${EDI_SOURCE_DIR}/packaging/mgpkg.ini.in" "${staging}/mgpkg.ini" @ONLY)
file(INSTALL "${staging}/mgpkg.ini" DESTINATION "${EDI_DATA_DIR}/demo"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The link the folder rule finds; absolute, since it leads from /usr into /etc.
set(link "$ENV{DESTDIR}${EDI_PROGRAM_ROOT}/EDI.ini")
message(STATUS "Installing: ${link} -> ${etc}/edi-workstation/EDI.ini")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${EDI_PROGRAM_ROOT}")
file(REMOVE "${link}")
file(CREATE_LINK "${etc}/edi-workstation/EDI.ini" "${link}" SYMBOLIC)

# The commands on the search path are links to the programs (relative: both lie under the prefix).
foreach(program p740150 edi-history edi)
  set(link "$ENV{DESTDIR}${prefix}/bin/${program}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${prefix}/bin")
  file(REMOVE "${link}")
  file(CREATE_LINK "../${EDI_PROGRAM_ROOT_REL}/BIN/P740150/${program}" "${link}" SYMBOLIC)
endforeach()

# The systemd units: the system's unit folder for /usr, else below the prefix.
if(prefix STREQUAL "/usr" AND EDI_SYSTEMD_UNIT_DIR)
  set(units "${EDI_SYSTEMD_UNIT_DIR}")
else()
  set(units "${prefix}/lib/systemd/system")
endif()
foreach(unit edi-workstation-run.service edi-workstation-run.timer)
  configure_file("${EDI_SOURCE_DIR}/packaging/systemd/${unit}.in" "${staging}/${unit}" @ONLY)
  file(INSTALL "${staging}/${unit}" DESTINATION "${units}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()

# The folders of the installed EDI.ini. The package makes them in its maintainer script (owned
# by the user of the runs); an installation below another prefix gets them here.
if(NOT prefix STREQUAL "/usr")
  foreach(dir "${EDI_STATE_DIR}" "${EDI_LOG_DIR}" "${EDI_SPOOL_DIR}/in" "${EDI_SPOOL_DIR}/out"
              "${EDI_SPOOL_DIR}/old" "${EDI_SPOOL_DIR}/status" "${EDI_SPOOL_DIR}/param")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${dir}")
  endforeach()
endif()
