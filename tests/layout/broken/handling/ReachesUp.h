#pragma once

// handling may not include routing: the include-rule test must fail on this folder.
#include "routing/AcceptanceStore.h"
