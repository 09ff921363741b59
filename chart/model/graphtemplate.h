#pragma once
// Where the graph template lives: the look every new graph starts from, a
// graph file of its own.  The user's copy is kept in the application data
// folder (an installed program's folder is not writable); a template shipped
// beside the program is read only while the user has none.

#include <QString>

namespace kv {

// The user's template: <AppDataLocation>/template/graph.ghf.
QString UserGraphTemplatePath();
// The template shipped beside the program: <program folder>/template/graph.ghf.
QString ShippedGraphTemplatePath();
// The template a new graph reads: the user's when it exists, else the
// shipped one when that exists, else empty.
QString GraphTemplateToRead();

} // namespace kv
