# One interface target carries the language level, warnings and Qt strictness for every target.
add_library(vestrum_common INTERFACE)
target_compile_features(vestrum_common INTERFACE cxx_std_20)
target_compile_options(vestrum_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(vestrum_common INTERFACE
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER)

# A compiler cache, when present, makes rebuilds after a checkout or a branch switch cheap.
find_program(VESTRUM_CCACHE ccache)
if(VESTRUM_CCACHE)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${VESTRUM_CCACHE})
endif()
