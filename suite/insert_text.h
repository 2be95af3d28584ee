// The component's row inserts as statements prepared for their shape: each
// document line is an INSERT with its own values written into the text, and
// compiling one text per line costs more than the insert itself.
// Internal to the suite library.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "suite/database.h"

namespace qbx::suite {

// A text "INSERT ... VALUES (v1, v2, ...)" whose values are all literals:
// the same statement with a parameter in place of each literal, and the
// values to bind.
struct ShapedInsert {
  std::string shape;
  std::vector<Statement::Literal> values;
};

// Only this form is taken, and only when the result is the same as
// compiling the text: before VALUES nothing but names, blanks, commas and
// parentheses; after it one parenthesised list of literals (and at most
// blanks and semicolons), each a text ('...' with '' for a quote, no NUL),
// or a decimal number with an optional sign (blanks may follow it). A text
// binds as that text; a number without point or exponent (up to 18 digits)
// binds as that integer, sign applied; any other number binds as its own
// text, signed unless zero, under CAST(? AS REAL), which reads it with the
// very routine that reads a literal. Either way -0 stores 0, as the literal.
// Anything else (NULL, expressions, several rows, comments, longer
// integers) gives nullopt and the text runs as it is.
std::optional<ShapedInsert> ShapeOfInsert(std::string_view sql);

}  // namespace qbx::suite
