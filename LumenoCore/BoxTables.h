// Tables drawn with box-drawing characters become Markdown pipe tables.
#pragma once

#include "Lines.h"

namespace lumeno::BoxTables {

LineList convertBoxTables(LineList lines);

} // namespace lumeno::BoxTables
