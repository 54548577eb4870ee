// The project generator and the plain reference reader live with the tests; benchmarks build them
// from here, as tests/support is not compiled into benchmark executables.
// GCC 12 at -O3 reports a false maybe-uninitialized inside std::optional<QString> copies there.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "support/ProjectGenerator.cpp"
#include "support/ReferenceProjectParser.cpp"
#include "support/ReferenceProjectText.cpp"
#pragma GCC diagnostic pop
