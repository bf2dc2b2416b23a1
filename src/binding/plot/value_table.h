// src/binding/plot/value_table.h: a read's values in one block of storage the interpreter owns
#pragma once

#include "binding/entry/pending_error.h"
#include "binding/entry/py_ref.h"
#include "lib.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace korvane::binding {

/// The values of a read, one parameter's after another's, each parameter's blocks in order, in
/// one object the interpreter owns and a Plot keeps: on CPython a bytearray, whose pages stay
/// untouched until the reader's threads write them; on PyPy an array('f'), whose storage is
/// PyPy's own.
struct value_table {
  py_ref object;
  /// Where each parameter's values go.
  std::vector<float*, checked_allocator<float*>> storage;
};

/// A table for parameters × blocks floats; MemoryError when it is too large to be had.
[[nodiscard]] result<value_table> new_value_table(std::size_t parameters, std::uint64_t blocks);

/// Reads blocks of the plot file held open into a new table for that many blocks: read, a call of
/// the reader given the table's storage, runs without the interpreter lock. (title, names, table,
/// blocks, block_headers) as contents_object makes them, with the table for the columns.
[[nodiscard]] result<py_ref>
read_into_table(const plot_parts& parts, std::uint64_t blocks, const plot_request& request,
                bool keep_block_headers, const std::function<plot_contents(column_storage)>& read);

} // namespace korvane::binding
