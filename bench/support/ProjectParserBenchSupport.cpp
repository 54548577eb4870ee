// The project generator and the plain reference reader live with the tests; benchmarks build them
// from here, as tests/support is not compiled into benchmark executables.
#include "support/ProjectGenerator.cpp"
#include "support/ReferenceProjectParser.cpp"
