# The documented example, tests/fixtures/example.mid, and the text and note
# length that make it, tests/fixtures/example.json: the one copy every
# suite compares with. The C and C++ tests get it as a header made here.
set(QUORBEL_EXAMPLE_FILE ${PROJECT_SOURCE_DIR}/tests/fixtures/example.mid)
set(example_json ${PROJECT_SOURCE_DIR}/tests/fixtures/example.json)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUORBEL_EXAMPLE_FILE} ${example_json})
file(READ ${example_json} example_json)
string(JSON QUORBEL_EXAMPLE_TEXT GET "${example_json}" text)
string(JSON QUORBEL_EXAMPLE_TICKS GET "${example_json}" noteTicks)
# As a C string literal's contents.
string(REGEX REPLACE "([\\\\\"])" "\\\\\\1" QUORBEL_EXAMPLE_TEXT_LITERAL "${QUORBEL_EXAMPLE_TEXT}")

file(READ ${QUORBEL_EXAMPLE_FILE} example_hex HEX)
string(LENGTH "${example_hex}" example_digits)
math(EXPR QUORBEL_EXAMPLE_SIZE "${example_digits} / 2")
string(REGEX REPLACE "(..)" "0x\\1, " QUORBEL_EXAMPLE_BYTES "${example_hex}")
string(REGEX REPLACE ", $" "" QUORBEL_EXAMPLE_BYTES "${QUORBEL_EXAMPLE_BYTES}")

set(QUORBEL_EXAMPLE_INCLUDE_DIR ${PROJECT_BINARY_DIR}/generated/tests)
configure_file(${PROJECT_SOURCE_DIR}/tests/support/DocumentedExample.h.in
  ${QUORBEL_EXAMPLE_INCLUDE_DIR}/DocumentedExample.h @ONLY)
