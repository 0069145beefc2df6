# Authenticode signing of the Windows programs with osslsigncode, right after each is linked, so
# that a program packed into the payload is packed signed. Off while PEL_SIGN_PKCS12 is empty.
#   PEL_SIGN_PKCS12         the key and certificates (PKCS#12 file)
#   PEL_SIGN_PASSWORD_FILE  a file holding the PKCS#12 password (empty: no password)
#   PEL_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (empty: no time stamp)
set(PEL_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file to sign the Windows programs with (empty: unsigned)")
set(PEL_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 password")
set(PEL_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signatures")

if(PEL_SIGN_PKCS12)
  if(NOT EXISTS "${PEL_SIGN_PKCS12}")
    message(FATAL_ERROR "PEL_SIGN_PKCS12 '${PEL_SIGN_PKCS12}' does not exist")
  endif()
  if(PEL_SIGN_PASSWORD_FILE AND NOT EXISTS "${PEL_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "PEL_SIGN_PASSWORD_FILE '${PEL_SIGN_PASSWORD_FILE}' does not exist")
  endif()
  find_program(PEL_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# What the signature depends on, in a file that changes only when the settings do: a program
# links again (and is signed again, or left unsigned) when signing is turned on or off, or when
# the key file changes.
set(pel_sign_settings ${CMAKE_BINARY_DIR}/signing-settings.txt)
file(CONFIGURE OUTPUT ${pel_sign_settings}
  CONTENT "${PEL_SIGN_PKCS12}\n${PEL_SIGN_PASSWORD_FILE}\n${PEL_SIGN_TIMESTAMP_URL}\n$ENV{SOURCE_DATE_EPOCH}\n")

# Signs TARGET's file after each link: into a temporary file, which then replaces it. The
# signing time is SOURCE_DATE_EPOCH when set, so that one key signs one commit's build to the
# same bytes (without a time stamp, whose server answers differently each time).
function(pel_sign_target target)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${pel_sign_settings})
  if(NOT PEL_SIGN_PKCS12)
    return()
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PEL_SIGN_PKCS12})
  set(options -pkcs12 ${PEL_SIGN_PKCS12} -h sha256)
  if(PEL_SIGN_PASSWORD_FILE)
    list(APPEND options -readpass ${PEL_SIGN_PASSWORD_FILE})
  endif()
  if(PEL_SIGN_TIMESTAMP_URL)
    list(APPEND options -ts ${PEL_SIGN_TIMESTAMP_URL})
  endif()
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    list(APPEND options -time $ENV{SOURCE_DATE_EPOCH})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E remove -f $<TARGET_FILE:${target}>.signed
    COMMAND ${PEL_OSSLSIGNCODE} sign ${options} -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
