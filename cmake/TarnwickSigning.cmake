# Authenticode signatures, made with osslsigncode (SHA-256 digest) when the
# deployer gives a certificate: TARNWICK_SIGN_PFX names a PKCS#12 file, and
# TARNWICK_SIGN_TIMESTAMP_URL an RFC 3161 time-stamp server. The password is
# read from the environment variable TARNWICK_SIGN_PASSWORD when the build
# signs (cmake/sign-file.sh), never stored here.
#
#   tarnwick_sign_target(<target>)   signs the target's file right after it is
#                                    linked, before anything embeds or packs it
#   tarnwick_sign_command(<var> <file>)  sets <var> to the COMMAND arguments
#                                    that sign <file>, for a custom command that
#                                    makes it; empty when the build does not sign
#
# Switching signing on or off, or to another certificate or time-stamp server,
# changes TARNWICK_SIGN_STAMP, which the signed targets and the package depend
# on: they are made and signed again.
set(TARNWICK_SIGN_PFX "" CACHE FILEPATH
    "PKCS#12 certificate that signs the Windows binaries and the package (empty: not signed)")
set(TARNWICK_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp server for the signatures (empty: no time-stamp)")

set(TARNWICK_SIGN_STAMP ${PROJECT_BINARY_DIR}/generated/signing.txt)
set(TARNWICK_SIGNING OFF)
if(WIN32 AND TARNWICK_SIGN_PFX)
  if(NOT EXISTS "${TARNWICK_SIGN_PFX}")
    message(FATAL_ERROR "TARNWICK_SIGN_PFX names ${TARNWICK_SIGN_PFX}, which does not exist")
  endif()
  find_program(TARNWICK_OSSLSIGNCODE osslsigncode)
  if(NOT TARNWICK_OSSLSIGNCODE)
    message(FATAL_ERROR "TARNWICK_SIGN_PFX is set but osslsigncode is not installed (scripts/setup installs it)")
  endif()
  set(TARNWICK_SIGNING ON)
  # A new certificate in the same file signs again too.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TARNWICK_SIGN_PFX})
  file(SHA256 ${TARNWICK_SIGN_PFX} pfx_sha256)
  set(stamp "signed with ${TARNWICK_SIGN_PFX} (SHA-256 ${pfx_sha256})\ntime-stamp: ${TARNWICK_SIGN_TIMESTAMP_URL}\n")
  if(TARNWICK_SIGN_TIMESTAMP_URL)
    message(STATUS "Signing with ${TARNWICK_SIGN_PFX}, time-stamped by ${TARNWICK_SIGN_TIMESTAMP_URL}")
  else()
    message(STATUS "Signing with ${TARNWICK_SIGN_PFX}, without a time-stamp")
  endif()
else()
  set(stamp "not signed\n")
  if(WIN32)
    message(STATUS "Not signing: TARNWICK_SIGN_PFX is not set")
  endif()
endif()
# Written only when it changes, so that an unchanged set-up signs nothing again.
set(old_stamp "")
if(EXISTS ${TARNWICK_SIGN_STAMP})
  file(READ ${TARNWICK_SIGN_STAMP} old_stamp)
endif()
if(NOT old_stamp STREQUAL stamp)
  file(WRITE ${TARNWICK_SIGN_STAMP} "${stamp}")
endif()

function(tarnwick_sign_command var file)
  if(TARNWICK_SIGNING)
    set(${var} COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/sign-file.sh ${TARNWICK_OSSLSIGNCODE}
               ${TARNWICK_SIGN_PFX} ${file} ${TARNWICK_SIGN_TIMESTAMP_URL} PARENT_SCOPE)
  else()
    set(${var} "" PARENT_SCOPE)
  endif()
endfunction()

function(tarnwick_sign_target target)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TARNWICK_SIGN_STAMP})
  tarnwick_sign_command(sign $<TARGET_FILE:${target}>)
  if(sign)
    add_custom_command(TARGET ${target} POST_BUILD ${sign} VERBATIM)
  endif()
endfunction()
