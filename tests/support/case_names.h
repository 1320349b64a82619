// Printing a table case by its name. Parameterised tests print their
// parameter in test listings and failure messages; for the case structs of
// our tables, the `name` member says everything, where the default printer
// would dump the struct's bytes.
//
// Include this before the test file's own unnamed namespace opens: every
// unnamed namespace in one namespace of a file is the same namespace, so the
// template below is found by argument-dependent lookup for the case structs
// declared there.
#pragma once

#include <concepts>
#include <ostream>

#define FERLO_PRINT_CASES_BY_NAME()                                                     \
  namespace {                                                                           \
  template <class Case>                                                                 \
    requires requires(const Case& c) {                                                  \
      { c.name } -> std::convertible_to<const char*>;                                   \
    }                                                                                   \
  [[maybe_unused]] void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }     \
  }
