// Table-driven tests of declconv: each row of a table has a `label` that names
// its case, in the test's name and in failure messages.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace declconv {

template <class Row>
concept NamedRow = requires(const Row& row) {
    row.label;
};

template <NamedRow Row>
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.label;
}

inline constexpr auto kRowName = [](const auto& info) { return std::string(info.param.label); };

}  // namespace declconv
