#pragma once

// The shared helper under its old include path, for folders not yet switched.
#include "support/Mouse.h"
