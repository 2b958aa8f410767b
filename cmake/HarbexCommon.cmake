# One interface target carries the flags every project target is built with,
# so the warning level and language standard are set in exactly one place.
add_library(hx_common_flags INTERFACE)
target_compile_features(hx_common_flags INTERFACE cxx_std_20)
target_compile_options(hx_common_flags INTERFACE
    -Wall -Wextra -Werror -pedantic
    -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)

if(HX_SANITIZE)
    target_compile_options(hx_common_flags INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(hx_common_flags INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz build (clang): the engine is instrumented for coverage and checked by
# AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets add the libFuzzer
# driver themselves (tests/fuzz).
if(HX_FUZZ)
    target_compile_options(hx_common_flags INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(hx_common_flags INTERFACE -fsanitize=address,undefined)
endif()

# GCC 12 reports std::string concatenations as overlapping copies at -O3
# (a known false positive of -Wrestrict); keep it a warning there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(hx_common_flags INTERFACE -Wno-error=restrict)
endif()
