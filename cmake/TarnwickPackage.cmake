# tarnwick_package(<target> <file> VERSION <major.minor.patch> [HELP_LINK <url>])
#
# Builds an installation package of this build's Tarnwick.exe and
# Brisolde.dll from packaging/Tarnwick.wxs with wixl, as the target <target>
# (part of ALL), signed when the build signs. The release package and the test packages of other versions
# are all made here. On a 64-bit build the package is an x64 one, for the
# tests under Wine only.
find_program(WIXL wixl REQUIRED)

function(tarnwick_package target file)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "VERSION;HELP_LINK" "")
  if(NOT arg_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "tarnwick_package: VERSION must be major.minor.patch, not '${arg_VERSION}'")
  endif()
  # Windows Installer compares only these three parts; the first version
  # above this one bounds the versions an installation replaces, so that a
  # rebuild of the same version replaces the earlier build too.
  math(EXPR next_patch "${CMAKE_MATCH_3} + 1")
  set(next_version ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${next_patch})

  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(wix_options -a x64 -D ProgramFilesFolder=ProgramFiles64Folder -D Win64=yes)
  else()
    set(wix_options -a x86 -D ProgramFilesFolder=ProgramFilesFolder -D Win64=no)
  endif()

  # wixl reads its source files relative to its working folder: the package's
  # files are gathered in one under the names the source gives them.
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/${target}-stage)
  file(MAKE_DIRECTORY ${stage})
  set(source ${PROJECT_SOURCE_DIR}/packaging/Tarnwick.wxs)
  set(icon ${PROJECT_SOURCE_DIR}/resources/tarnwick.ico)
  tarnwick_sign_command(sign_package ${file})
  add_custom_command(
    OUTPUT ${file}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Tarnwick> ${stage}/Tarnwick.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Brisolde> ${stage}/Brisolde.dll
    COMMAND ${CMAKE_COMMAND} -E copy ${icon} ${stage}/tarnwick.ico
    COMMAND ${WIXL} ${wix_options}
            -D Version=${arg_VERSION}
            -D NextVersion=${next_version}
            -D HelpLink=${arg_HELP_LINK}
            -o ${file} ${source}
    ${sign_package}
    DEPENDS ${source} ${icon} Tarnwick Brisolde ${TARNWICK_SIGN_STAMP}
    WORKING_DIRECTORY ${stage}
    COMMENT "Building ${file}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${file})
endfunction()
