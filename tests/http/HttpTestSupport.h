#pragma once

// The shared helpers under their old include path, for folders not yet switched.
#include "support/EventLoop.h"
#include "support/Loopback.h"
#include "support/Ports.h"
#include "support/WebRoot.h"
