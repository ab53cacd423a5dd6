# Writes the bytes of INPUT as a char array named SYMBOL into OUTPUT.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," body "${hex}")
string(REGEX REPLACE "((('\\\\x[0-9a-f][0-9a-f]',){16}))" "\\1\n" body "${body}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT}; do not edit.\n"
  "extern const char ${SYMBOL}[];\nextern const unsigned long ${SYMBOL}_size;\n"
  "const char ${SYMBOL}[] = {\n${body}'\\0'};\n"
  "const unsigned long ${SYMBOL}_size = ${size};\n")
