#pragma once
// The display's facts (kScreenDpi) live with the engine's units.
#include "engine/Units.h"
