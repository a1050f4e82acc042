#pragma once

#include <cstdio>

#include "cli/CliOptions.h"
#include "cli/UnitRecord.h"

class FirmwareImage;
struct ProductIdentity;

// The built-in product, or the image file the command line names with the
// identity Load File would give it, and what the record says of the image.
// The log line "New File Loaded...RM<n>" goes to log unless quiet. Throws
// std::runtime_error with the message when the file is refused; the unit
// is not touched then.
ImageOnRecord LoadProduct(const CliOptions& options, ProductIdentity& identity,
                          FirmwareImage& image, std::FILE* log);
