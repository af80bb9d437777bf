# Install script, run after every other install rule of the Windows build: writes
# SHA256SUMS.txt beside the installed files with the SHA-256 of each, in the form
# "HASH  NAME" that sha256sum -c reads, CRLF line ends.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(sums "")
set(files ${CMAKE_INSTALL_MANIFEST_FILES})
list(SORT files)
foreach(file IN LISTS files)
  file(RELATIVE_PATH name "${root}" "${file}")
  if(name STREQUAL "SHA256SUMS.txt")
    continue()
  endif()
  file(SHA256 "${file}" hash)
  string(APPEND sums "${hash}  ${name}\r\n")
endforeach()
file(WRITE "${root}/SHA256SUMS.txt" "${sums}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${root}/SHA256SUMS.txt")
message(STATUS "Checksums: ${root}/SHA256SUMS.txt")
