// main() of every test program: a re-run of the program as a child process
// runs the requested child routine instead of the tests.
#include <cstdio>
#include <cstdlib>

#include "TestSupport.h"

int main(int argc, char** argv) {
    // Tests never open a desktop window unless a test asks for one.
    setenv("ORVI_DISPLAY", "headless", 0);
    int exitCode = 0;
    if (orvi::test::RunChildIfRequested(argc, argv, &exitCode)) {
        std::fflush(nullptr);
        std::_Exit(exitCode);  // threads of the child may still run: skip static destructors
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
