# The COM server's identity, written once in PlugIns/declshift/declshift.idl: the
# identifiers of the type library, the interface and the class, and the class's
# progid, threading model and version. Read here into DECLSHIFT_ variables for the
# registration, the tests and the Windows README.
set(declshift_idl ${CMAKE_CURRENT_LIST_DIR}/../PlugIns/declshift/declshift.idl)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${declshift_idl})
file(READ ${declshift_idl} declshift_idl_text)

# Sets DECLSHIFT_<variable> to the first group of `pattern` in the attribute list of
# the IDL's first `kind` (library, interface or coclass), or with the pattern "name"
# to that definition's name.
function(declshift_identity variable kind pattern)
  if(NOT declshift_idl_text MATCHES "\\[([^]]*)\\][ \t\r\n]*${kind}[ \t]+([A-Za-z_][A-Za-z0-9_]*)")
    message(FATAL_ERROR "${declshift_idl} defines no ${kind} with attributes")
  endif()
  set(value ${CMAKE_MATCH_2})
  if(NOT pattern STREQUAL "name")
    if(NOT CMAKE_MATCH_1 MATCHES "${pattern}")
      message(FATAL_ERROR "${declshift_idl}: ${kind} ${value} has no attribute matching ${pattern}")
    endif()
    set(value ${CMAKE_MATCH_1})
  endif()
  set(DECLSHIFT_${variable} "${value}" PARENT_SCOPE)
endfunction()

set(declshift_uuid "uuid\\(([0-9A-Fa-f-]+)\\)")
set(declshift_version "version\\(([0-9]+\\.[0-9]+)\\)")
declshift_identity(LIBRARY library name)
declshift_identity(LIBRARY_VERSION library ${declshift_version})
declshift_identity(LIBID library ${declshift_uuid})
declshift_identity(INTERFACE interface name)
declshift_identity(IID interface ${declshift_uuid})
declshift_identity(CLASS coclass name)
declshift_identity(CLSID coclass ${declshift_uuid})
declshift_identity(CLASS_VERSION coclass ${declshift_version})
declshift_identity(PROGID coclass "progid\\(\"([^\"]+)\"\\)")
declshift_identity(THREADING_MODEL coclass "threading\\(([a-z]+)\\)")

# As the registry writes them: GUIDs in braces and capitals, the threading model
# capitalised (apartment is "Apartment").
foreach(id LIBID IID CLSID)
  string(TOUPPER "{${DECLSHIFT_${id}}}" DECLSHIFT_${id})
endforeach()
string(SUBSTRING ${DECLSHIFT_THREADING_MODEL} 0 1 declshift_initial)
string(SUBSTRING ${DECLSHIFT_THREADING_MODEL} 1 -1 declshift_rest)
string(TOUPPER ${declshift_initial} declshift_initial)
set(DECLSHIFT_THREADING_MODEL ${declshift_initial}${declshift_rest})
