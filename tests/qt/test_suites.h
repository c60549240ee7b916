#pragma once

namespace passerelle::testing {

// Each suite runs under Qt Test in the one window_tests program.
int RunQtHostTests(int argc, char** argv);
int RunGridViewTests(int argc, char** argv);
int RunWindowTests(int argc, char** argv);

}  // namespace passerelle::testing
