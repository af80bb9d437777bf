# Where the deliverables go when installed, and what each carries besides its code.
#
# Natively the GNU layout: programs in bin, manual pages, the texts in the package's
# doc folder. The Windows archive is one flat folder: programs, DLLs and texts side by
# side, as a user unpacks and runs them (plain variables, so that no directory that a
# library's build cached earlier can change it).
set(TARNWICK_PACKAGE_NAME tarnwick-decltools)
if(WIN32)
  set(CMAKE_INSTALL_BINDIR .)
  set(CMAKE_INSTALL_DOCDIR .)
  set(CMAKE_INSTALL_DATADIR .)
  # The Windows API as a declaration list and its Tarnwick translation go into the
  # archive when the native build made them (it names them in release-declarations.cmake,
  # only when it has the generator).
  # 32 or 64: the archive's name and texts, and its test.
  math(EXPR TARNWICK_WINDOWS_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
  set(TARNWICK_NATIVE_BUILD "" CACHE PATH "Native build whose declaration list the archive carries")
  set(TARNWICK_DECLARATION_LIST "")
  set(TARNWICK_DECLARATION_LIST_TARNWICK "")
  if(TARNWICK_NATIVE_BUILD AND EXISTS ${TARNWICK_NATIVE_BUILD}/release-declarations.cmake)
    include(${TARNWICK_NATIVE_BUILD}/release-declarations.cmake)
  endif()
else()
  set(CMAKE_INSTALL_DOCDIR "share/doc/${TARNWICK_PACKAGE_NAME}" CACHE PATH
      "README, licences and changelog (relative to the prefix)")
endif()
include(GNUInstallDirs)

if(NOT CMAKE_CROSSCOMPILING)
  find_program(TARNWICK_HELP2MAN help2man)
  if(NOT TARNWICK_HELP2MAN)
    message(FATAL_ERROR "help2man is missing: run scripts/setup")
  endif()
endif()

set(_release_dir ${CMAKE_CURRENT_LIST_DIR})

# tarnwick_install_program(TARGET DESCRIPTION)
# Installs a program or DLL of the release. In Windows builds it gets a version
# resource with the project's version; native programs get a manual page made from
# their --help. DESCRIPTION is the one line that says what it is.
function(tarnwick_install_program target description)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  get_target_property(type ${target} TYPE)
  if(WIN32)
    _tarnwick_version_resource(${target} ${type} "${description}")
  elseif(type STREQUAL "EXECUTABLE")
    _tarnwick_manual_page(${target} "${description}")
  endif()
endfunction()

function(_tarnwick_version_resource target type description)
  if(type STREQUAL "EXECUTABLE")
    set(file_type VFT_APP)
  else()
    set(file_type VFT_DLL)
  endif()
  # A sentence for the file's properties: "Converts ...".
  string(SUBSTRING "${description}" 0 1 first)
  string(SUBSTRING "${description}" 1 -1 rest)
  string(TOUPPER "${first}" first)
  set(description "${first}${rest}")
  # configure_file fills in the texts, file(GENERATE) the file name.
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${_release_dir}/version.rc.in ${rc}.in @ONLY)
  file(GENERATE OUTPUT ${rc} INPUT ${rc}.in)
  target_sources(${target} PRIVATE ${rc})
endfunction()

function(_tarnwick_manual_page target description)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${TARNWICK_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${target}>
            "-DDESCRIPTION=${description}" -DOUTPUT=${page} -P ${_release_dir}/ManualPage.cmake
    DEPENDS ${target} ${_release_dir}/ManualPage.cmake
    COMMENT "Manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}_manual_page ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT documentation)
endfunction()
