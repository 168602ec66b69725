// Prints a row of a parameterised test's table by its name, so that a
// failure names the case rather than dumping its bytes.  A test file brings
// it into the namespace of its rows with `using case_names::PrintTo;`.
#ifndef PAGESMITH_TESTS_CASE_NAMES_H
#define PAGESMITH_TESTS_CASE_NAMES_H

#include <ostream>

namespace case_names {

// Prints the row's name.
template <class Row>
    requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

}  // namespace case_names

#endif
