# Writes the program's version and commit into one generated source, rewritten only when they change, so
# that a build names what it was built from and nothing else (no date, no path).
# Usage: cmake -DSOURCE_DIR=dir -DOUTPUT=version.cpp -P Version.cmake
file(STRINGS "${SOURCE_DIR}/VERSION" version LIMIT_COUNT 1)
string(STRIP "${version}" version)
set(commit "unknown")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                    OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND head)
        set(commit "${head}")
        # Untracked files do not count: a build folder or a scratch file does not change what is built.
        execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                        OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(changes)
            string(APPEND commit "-dirty")
        endif()
    endif()
endif()
set(content "// Generated at build time from VERSION and the checkout's commit; do not edit.\n")
string(APPEND content "extern const char PROGRAM_VERSION[];\nconst char PROGRAM_VERSION[] = \"${version}\";\n")
string(APPEND content "extern const char PROGRAM_COMMIT[];\nconst char PROGRAM_COMMIT[] = \"${commit}\";\n")
file(WRITE "${OUTPUT}.tmp" "${content}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
