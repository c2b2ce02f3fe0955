# Compiler flags of the whole build, in one place, per compiler: GCC and
# clang (the MinGW-w64 cross builds, the native build, the fuzz build) and
# MSVC (a native Windows build).

# Our own code builds with every warning as an error; third-party code does not.
function(tarnwick_strict target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # Every binary must start on a bare Windows machine: no runtime DLLs
  # beside it, and no code that nothing calls.
  if(MSVC)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
    add_compile_options(/Gy /Gw)
    add_link_options(/OPT:REF /OPT:ICF)
  else()
    add_link_options(-static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections)
    add_compile_options(-ffunction-sections -fdata-sections)
  endif()
endif()

if(TARNWICK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz build needs clang (CC=clang CXX=clang++): it uses libFuzzer")
  endif()
  # Everything of ours in this build is instrumented; a report ends the run.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fsanitize=fuzzer-no-link -g -O1)
  add_link_options(-fsanitize=address,undefined)
endif()
