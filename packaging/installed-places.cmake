# Writes the installed copy of a document (a guide, a manual page) with the
# places of a source tree replaced by where the package puts things: the
# programs by their names on PATH, the guides and the worked example in
# /usr/share/doc/zor, the sample demo in /usr/share/zor/demo.
#   cmake -DINPUT=FILE -DOUTPUT=FILE -P installed-places.cmake
file(READ "${INPUT}" text)
set(doc "/usr/share/doc/zor")
# "build/tools/zor-render/zor-render" and the like: the program itself.
string(REGEX REPLACE "build/tools/([a-z-]+)/([a-z-]+)" "\\2" text "${text}")
string(REGEX REPLACE "build/demo" "/usr/share/zor/demo" text "${text}")
# A source-tree name with its installed place beside it: the installed one.
string(REGEX REPLACE "([^/a-z])docs/([a-z-]+\\.md) \\(installed in [^)]*\\)" "\\1${doc}/\\2" text "${text}")
string(REGEX REPLACE "([^/a-z])examples/([a-z/-]*) \\(installed in [^)]*\\)" "\\1${doc}/examples/\\2" text "${text}")
string(REGEX REPLACE "([^/a-z])docs/([a-z-]+\\.md)" "\\1${doc}/\\2" text "${text}")
string(REGEX REPLACE "([^/a-z\\\\])examples/" "\\1${doc}/examples/" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
