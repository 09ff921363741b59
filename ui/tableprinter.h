#pragma once
// Prints a table as lines of fixed-pitch text: the system's fixed font at
// 8 points, smaller when the widest line would not fit the printable width,
// the line height of "String Grid Printout", pages as the printout layout
// places them.

class QPainter;
class QPrinter;

namespace kv {

class TextTable;

// Paints every page on a printer (or a preview's printer); false when the
// printer cannot be painted on.
bool PrintTable(QPrinter &printer, const TextTable &table);

} // namespace kv
