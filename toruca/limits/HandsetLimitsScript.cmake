# Writes the rows of INPUT (handset_limits.tsv) as a C++ table into OUTPUT.
# A row that does not have its five fields, or whose subject or max is not
# one the program knows, stops the build; a form that is neither "any" nor
# the name of a form of format/toruca_format.h stops the compiler.
file(STRINGS "${INPUT}" lines ENCODING UTF-8)
set(rows "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line MATCHES "^[ \t]*$")
    continue()
  endif()
  string(REPLACE "\t" ";" fields "${line}")
  list(LENGTH fields n)
  if(NOT n EQUAL 5)
    message(FATAL_ERROR "${INPUT}: a row needs five tab-separated fields: ${line}")
  endif()
  list(GET fields 0 key)
  list(GET fields 1 form)
  list(GET fields 2 subject)
  list(GET fields 3 max)
  list(GET fields 4 source)
  if(NOT form MATCHES "^[a-z]+$")
    message(FATAL_ERROR "${INPUT}: unknown form '${form}'")
  endif()
  if(form STREQUAL "any")
    set(form "nullptr")
  else()
    set(form "Known(\"${form}\")")
  endif()
  if(NOT subject MATCHES "^(file|url|data1|data2|data3|text)$")
    message(FATAL_ERROR "${INPUT}: unknown subject '${subject}'")
  endif()
  if(NOT max MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${INPUT}: max '${max}' is not a number")
  endif()
  string(REPLACE "\\" "\\\\" source "${source}")
  string(REPLACE "\"" "\\\"" source "${source}")
  string(APPEND rows "    {\"${key}\", ${form}, qel::toruca::Subject::${subject}, ${max}u, \"${source}\"},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include \"toruca/limits/handset_limits.h\"\n"
  "namespace qel::toruca {\n"
  "namespace {\n"
  "// A form name the table of forms does not know fails the compilation.\n"
  "// (The names are compared, not the pointer: a sanitizer's checks make\n"
  "// a pointer comparison no constant expression.)\n"
  "consteval const qel::format::CardForm* Known(std::string_view name) {\n"
  "    for (const qel::format::CardForm& form : qel::format::kForms)\n"
  "        if (name == form.name) return &form;\n"
  "    throw \"handset_limits.tsv names a form that format/toruca_format.h does not know\";\n"
  "}\n"
  "}  // namespace\n"
  "extern const HandsetLimit kHandsetLimits[];\nextern const std::size_t kHandsetLimitCount;\n"
  "const HandsetLimit kHandsetLimits[] = {\n${rows}};\n"
  "const std::size_t kHandsetLimitCount = sizeof kHandsetLimits / sizeof kHandsetLimits[0];\n"
  "}  // namespace qel::toruca\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
