# Instrumented builds, each in a build folder of its own:
#   -DVELLOMAR_SANITIZE=ON  every target under AddressSanitizer and UndefinedBehaviorSanitizer;
#                           any finding stops the program (scripts/test.sh runs the unit tests so)
#   -DVELLOMAR_FUZZ=ON      the libFuzzer targets of tests/fuzz instead of the tests (clang only;
#                           tools/fuzz.sh builds and runs them)
option(VELLOMAR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VELLOMAR_FUZZ "Build the libFuzzer targets instead of the tests (clang)" OFF)

if(VELLOMAR_SANITIZE OR VELLOMAR_FUZZ)
  set(VELLOMAR_SANITIZERS address,undefined)
  add_compile_options(-fno-omit-frame-pointer -fno-sanitize-recover=all)
  if(VELLOMAR_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      message(FATAL_ERROR "VELLOMAR_FUZZ needs clang: configure with CXX=clang++")
    endif()
    # Coverage for every library; the fuzzer's own main is linked into the targets only.
    add_compile_options(-fsanitize=fuzzer-no-link,${VELLOMAR_SANITIZERS})
  else()
    add_compile_options(-fsanitize=${VELLOMAR_SANITIZERS})
  endif()
  add_link_options(-fsanitize=${VELLOMAR_SANITIZERS})
endif()
