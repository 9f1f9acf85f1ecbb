# One interface target carries the language level, warnings and Qt strictness for every target.
add_library(vestrum_common INTERFACE)
target_compile_features(vestrum_common INTERFACE cxx_std_20)
target_compile_options(vestrum_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(vestrum_common INTERFACE
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER)

# Window files are named after their class: tf_*.cpp for windows, and the visual
# components listed here. Everything else under src/<subsystem>/ is widget-free core code.
set(VESTRUM_UI_FILE_REGEX "/(tf_[a-z0-9_]*|tprogressfrm|tlistgrid|trichprintedit|[a-z0-9_]*_widget)\\.(cpp|h)$")
