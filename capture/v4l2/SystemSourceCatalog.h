#pragma once

#include "capture/source/SourceCatalog.h"

#include <memory>

// The machine's V4L2 devices that can capture, and the test pattern.
std::unique_ptr<SourceCatalog> createSystemSourceCatalog();
