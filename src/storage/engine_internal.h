#pragma once

#include <QString>

// What the engine's own files share; nothing outside storage/ includes this header.
namespace vestrum::db {

// A table or field name in a statement: in double quotes, its own quotes doubled, since the names come from
// the database files themselves.
QString quoted(const QString& identifier);

} // namespace vestrum::db
