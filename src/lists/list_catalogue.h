#pragma once

// The list catalogue: the 51 list kinds and their look-ups. The table itself lives with the form
// catalogue in survey/, below the section loading that counts the lists' rows.
#include "survey/list_kinds.h"
