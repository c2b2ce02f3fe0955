# Files that carry the product version, generated from project(VERSION) into
# the build folder: a header for the code and, on Windows, the version
# resource and the manifests that the resource scripts include by name.
set(TARNWICK_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/common/tarnwick_version.h.in ${TARNWICK_GENERATED_DIR}/tarnwick_version.h @ONLY)

if(WIN32)
  foreach(name version.rci tarnwick.manifest permissions.manifest setacl.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/resources/${name}.in ${TARNWICK_GENERATED_DIR}/resources/${name} @ONLY)
  endforeach()
  # Every resource script finds them on its include path.
  include_directories($<$<COMPILE_LANGUAGE:RC>:${TARNWICK_GENERATED_DIR}/resources>)
endif()
