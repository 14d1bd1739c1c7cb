#ifndef FX_TESTS_SUPPORT_TESTDATA_H
#define FX_TESTS_SUPPORT_TESTDATA_H

#include <cstdlib>

#include <gtest/gtest.h>

#include "support/test_files.h"

// Tests that read the real-world OBJ/MTL files start with this. A clone without the folder skips
// them, naming the folder; where VANTREL_TESTDATA_REQUIRED is set (CI) a missing folder fails.
#define FX_REQUIRE_TESTDATA()                                                                                          \
    do {                                                                                                               \
        if (!fxTestFileExists(VANTREL_TESTDATA)) {                                                                     \
            if (getenv("VANTREL_TESTDATA_REQUIRED") != nullptr) {                                                      \
                FAIL() << "the real-world test files are missing: " VANTREL_TESTDATA;                                  \
            }                                                                                                          \
            GTEST_SKIP() << "the real-world test files are missing: " VANTREL_TESTDATA                                 \
                         << " (configure with -DVANTREL_TESTDATA=<folder>)";                                           \
        }                                                                                                              \
    } while (0)

#endif
