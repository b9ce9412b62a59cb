# Writes the header from which the version resource takes the version and
# the commit (app/uninstall.rc):
#
#   cmake -DSOURCE=DIR -DOUTPUT=FILE [-DCOMMIT=ID] -P cmake/build-info.cmake
#
# Without OUTPUT it writes nothing and prints the commit a build of DIR
# names, one line.
#
# The version is the one line of VERSION, MAJOR.MINOR.PATCH.  The commit is
# COMMIT when given; else, in a git checkout of SOURCE, the last commit up to
# HEAD that changed what goes into the program (below), followed by
# "-modified" when the working tree's differs from HEAD's; else the one that
# `git archive` wrote into cmake/commit.txt (the commit archived); else
# "unknown".  A commit that changes nothing of it (the guides, the tests)
# leaves the file byte for byte as it was, and its sum with it.  Nothing else
# (no time, no path, no user name): two builds of one tree give the same
# header.  The file is written only when its text changes, so a build with
# nothing changed compiles nothing again.
file(STRINGS "${SOURCE}/VERSION" version LIMIT_COUNT 1)
if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "${SOURCE}/VERSION: \"${version}\" is not MAJOR.MINOR.PATCH")
endif()
set(numbers "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")

# What goes into the program: its sources and resources, the build files
# that shape it (the toolchains, the flags, this script, the Makefile's
# build type) and VERSION.
set(product app files registry platform cmake CMakeLists.txt Makefile VERSION)

set(commit "${COMMIT}")
if(commit STREQUAL "")
    # Only a checkout whose top is SOURCE itself: sources unpacked inside
    # some other checkout are not that one's commit.
    execute_process(COMMAND git -C "${SOURCE}" rev-parse --show-toplevel
                    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed)
        file(REAL_PATH "${top}" top)
        file(REAL_PATH "${SOURCE}" source)
    endif()
    if(NOT failed AND top STREQUAL source)
        # In a shallow clone the search ends at its oldest commit, which then
        # counts as having changed everything.
        execute_process(COMMAND git -C "${SOURCE}" log -1 --format=%H HEAD -- ${product}
                        OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(COMMAND git -C "${SOURCE}" --no-optional-locks status --porcelain --untracked-files=no
                                -- ${product}
                        OUTPUT_VARIABLE changes ERROR_QUIET)
        if(NOT commit STREQUAL "" AND NOT changes STREQUAL "")
            string(APPEND commit "-modified")
        endif()
    endif()
endif()
if(commit STREQUAL "" AND EXISTS "${SOURCE}/cmake/commit.txt")
    file(STRINGS "${SOURCE}/cmake/commit.txt" archived LIMIT_COUNT 1)
    if(archived MATCHES "^[0-9a-f]+$")
        set(commit "${archived}")
    endif()
endif()
if(commit STREQUAL "")
    set(commit "unknown")
endif()

if(NOT DEFINED OUTPUT)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${commit}")
    return()
endif()

set(text "// Written by cmake/build-info.cmake.
#define BUILD_VERSION_NUMBERS ${numbers}
#define BUILD_VERSION_TEXT \"${version}.0\"
#define BUILD_COMMIT \"${commit}\"
#define BUILD_COMMENTS \"Built from commit ${commit}\"
")
set(old "")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
    file(WRITE "${OUTPUT}" "${text}")
endif()
